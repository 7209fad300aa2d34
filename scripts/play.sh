#!/bin/sh
# Plays the production: in a window when there is a display, otherwise
# renders it to a video file (see make-video.sh).
set -eu
cd "$(dirname "$0")/.."
if [ -n "${DISPLAY:-}" ]; then
  exec ./build/vy01 "$@"
fi
echo "no display: rendering the production to a video instead"
exec bash scripts/make-video.sh "$@"
