#!/bin/bash
# Renders the production to a video: runs the program in capture mode
# (every frame saved as capture/NNNNNNNNNN.png at a fixed 25 ms step), then
# joins the frames at 40 fps with the music into an H.264 MP4.
#
# usage: scripts/make-video.sh [-w WIDTH] [-h HEIGHT] [-p PROGRAM] [-k] [OUTPUT]
#   -w, -h   size of the window (default 1024 x 768)
#   -p       the built program (default build/vy01); this script builds nothing
#   -k       keep the captured PNGs in capture/ (they are large)
#   OUTPUT   the video file (default video/vy-01.mp4)
# Runs under a private Xvfb when there is no DISPLAY.
set -eu

usage() {
  sed -n '/^# usage:/,/^# Runs under/s/^# \{0,1\}//p' "$0" >&2
  exit 2
}

die() {
  echo "make-video: $*" >&2
  exit 1
}

abspath() {
  case $1 in
    /*) printf '%s\n' "$1" ;;
    *) printf '%s/%s\n' "$PWD" "$1" ;;
  esac
}

root=$(cd "$(dirname "$0")/.." && pwd)
width=1024
height=768
program=$root/build/vy01
keep=0
output=$root/video/vy-01.mp4
fps=40
audio_delay_ms=2350  # the music starts in frame 95: 94 frames of 25 ms before it
expected_frames=7535 # a whole run (the frame in which the show ends is not saved)
music=data/tune/vy-03.mp3

if [ "${1:-}" = "--help" ]; then usage; fi
while getopts "w:h:p:k" opt; do
  case $opt in
    w) width=$OPTARG ;;
    h) height=$OPTARG ;;
    p) program=$(abspath "$OPTARG") ;;
    k) keep=1 ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
if [ $# -gt 1 ]; then usage; fi
if [ $# -eq 1 ]; then output=$(abspath "$1"); fi

case $width$height in
  *[!0-9]*) die "width and height must be numbers (got $width x $height)" ;;
esac
if [ "$width" -le 0 ] || [ "$height" -le 0 ]; then
  die "width and height must be above 0"
fi
[ -x "$program" ] || die "no program at $program (build it first, or pass -p)"
command -v ffmpeg >/dev/null || die "ffmpeg is not installed"

cd "$root"
[ -f "$music" ] || die "missing $root/$music"

work=$(mktemp -d /tmp/make-video.XXXXXX)
pid=
xvfb_pid=
finish() {
  status=$?
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  if [ "$keep" = 0 ]; then rm -rf "$root/capture"; fi
  rm -rf "$work"
  exit "$status"
}
trap finish EXIT
trap 'exit 130' INT TERM

# The program does not make the directory; old frames must not mix in.
rm -rf capture
mkdir capture

if [ -z "${DISPLAY:-}" ]; then
  command -v Xvfb >/dev/null || die "no DISPLAY and Xvfb is not installed"
  # The screen must hold the window.
  sw=$((width > 1280 ? width : 1280))
  sh=$((height > 1024 ? height : 1024))
  Xvfb -displayfd 3 -screen 0 "${sw}x${sh}x24" -nolisten tcp 3>"$work/display" \
    >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 200); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || die "Xvfb did not start"
    sleep 0.1
  done
  [ -s "$work/display" ] || die "Xvfb did not start within 20 s"
  DISPLAY=:$(head -n 1 "$work/display")
  export DISPLAY
fi

echo "make-video: rendering ${width}x${height} with $program"
start=$(date +%s)
"$program" -c -w "$width" -h "$height" >"$work/out.log" 2>"$work/err.log" &
pid=$!

progress() {
  last=$(tail -n 20 "$work/out.log" | grep -o 'captured frame #[0-9]*' | tail -n 1 || true)
  frames=${last##*#}
  frames=${frames:-0}
  printf '\rmake-video: frame %d / ~%d (%d%%), %d s' \
    "$frames" "$expected_frames" $((frames * 100 / expected_frames)) \
    $(($(date +%s) - start))
}
while kill -0 "$pid" 2>/dev/null; do
  progress
  sleep 1
done
status=0
wait "$pid" || status=$?
pid=
progress
echo

frames=$(find capture -maxdepth 1 -name '[0-9]*.png' | wc -l)
if [ "$status" != 0 ]; then
  echo "make-video: last lines of the program's output:" >&2
  tail -n 5 "$work/out.log" >&2 || true
  tail -n 5 "$work/err.log" >&2 || true
  die "$program failed with exit status $status after $frames frames"
fi
[ "$frames" -gt 0 ] || die "$program wrote no frames"
[ -f capture/0000000000.png ] || die "capture/0000000000.png is missing"
echo "make-video: $frames frames in $(($(date +%s) - start)) s"

mkdir -p "$(dirname "$output")"
duration=$(awk -v n="$frames" -v f="$fps" 'BEGIN { printf "%.3f", n / f }')
echo "make-video: encoding ${duration} s of video to $output"
# The video decides the length: the audio is cut where the frames end.
# Odd sizes are padded by a pixel, as yuv420p needs even ones.
ffmpeg -hide_banner -loglevel error -stats -y \
  -framerate "$fps" -start_number 0 -i capture/%010d.png \
  -i "$music" \
  -map 0:v:0 -map 1:a:0 \
  -vf "pad=ceil(iw/2)*2:ceil(ih/2)*2" \
  -c:v libx264 -preset veryfast -crf 20 -pix_fmt yuv420p \
  -af "adelay=${audio_delay_ms}|${audio_delay_ms}" -c:a aac -b:a 192k \
  -t "$duration" -movflags +faststart \
  "$output" || die "ffmpeg failed"

if [ "$keep" = 1 ]; then echo "make-video: frames kept in $root/capture"; fi
echo "make-video: done: $output"
