#!/bin/bash
# Renders the production to a video: runs the program on its capture clock
# (a fixed 25 ms step per frame) without waiting for the frame timer, and
# hands every frame as raw RGB straight to ffmpeg through a pipe, which
# joins them at 40 fps with the music into an H.264 MP4. No PNG files.
#
# usage: scripts/make-video.sh [-w WIDTH] [-h HEIGHT] [-p PROGRAM] [OUTPUT]
#   -w, -h   size of the window (default 1024 x 768)
#   -p       the built program (default build/vy01); this script builds nothing
#   OUTPUT   the video file (default video/vy-01.mp4)
# Always renders under a private Xvfb, also where DISPLAY is set: a window
# covered on a desktop gets no display callbacks, and the run would stall.
set -eu

usage() {
  sed -n '/^# usage:/,/^# Always renders/s/^# \{0,1\}//p' "$0" | sed '$d' >&2
  exit 2
}

me=make-video
. "$(dirname "$0")/lib.sh"

root=$(cd "$(dirname "$0")/.." && pwd)
width=1024
height=768
program=$root/build/vy01
output=$root/video/vy-01.mp4
fps=40
audio_delay_ms=2350  # the music starts in frame 95: 94 frames of 25 ms before it
expected_frames=7535 # a whole run (the frame in which the show ends is not saved)
music=data/tune/vy-03.mp3

if [ "${1:-}" = "--help" ]; then usage; fi
while getopts "w:h:p:" opt; do
  case $opt in
    w) width=$OPTARG ;;
    h) height=$OPTARG ;;
    p) program=$(abspath "$OPTARG") ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
if [ $# -gt 1 ]; then usage; fi
if [ $# -eq 1 ]; then output=$(abspath "$1"); fi

check_size "$width" "$height"
[ -x "$program" ] || die "no program at $program (build it first, or pass -p)"
command -v ffmpeg >/dev/null || die "ffmpeg is not installed"

cd "$root"
[ -f "$music" ] || die "missing $root/$music"
mkdir -p "$(dirname "$output")"

make_work
start_xvfb "$width" "$height"

# The frames go through a pipe: the program writes each one as it is
# drawn, ffmpeg encodes while the next is drawn.
mkfifo "$work/frames"
# The video decides the length: the audio is cut where the frames end.
# x264's fastest preset: on two cores the encoder shares the CPU with the
# renderer, and its slower presets cost more time than the file size saves.
# Odd sizes are padded by a pixel, as yuv420p needs even ones.
ffmpeg -hide_banner -loglevel error -nostdin -y \
  -f rawvideo -pix_fmt rgb24 -video_size "${width}x${height}" -framerate "$fps" \
  -i "$work/frames" \
  -i "$music" \
  -map 0:v:0 -map 1:a:0 \
  -vf "pad=ceil(iw/2)*2:ceil(ih/2)*2" \
  -c:v libx264 -preset ultrafast -crf 20 -pix_fmt yuv420p \
  -af "adelay=${audio_delay_ms}|${audio_delay_ms}" -c:a aac -b:a 192k \
  -shortest -movflags +faststart \
  "$output" 2>"$work/ffmpeg.log" &
ffmpeg_pid=$!

echo "make-video: rendering ${width}x${height} with $program to $output"
start=$(date +%s.%N)
"$program" -r "$work/frames" -w "$width" -h "$height" >"$work/out.log" 2>"$work/err.log" &
pid=$!

frames=0
progress() {
  last=$(tail -n 20 "$work/out.log" | grep -o 'captured frame #[0-9]*' | tail -n 1 || true)
  frames=${last##*#}
  frames=${frames:-0}
  awk -v n="$frames" -v total="$expected_frames" -v t0="$start" -v now="$(date +%s.%N)" 'BEGIN {
    t = now - t0; rate = t > 0 ? n / t : 0
    left = rate > 0 && total > n ? (total - n) / rate : 0
    printf "\rmake-video: frame %d / %d (%d%%), %.1f frames/s, %d s, about %d s left  ",
      n, total, n * 100 / total, rate, t, left
  }'
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

if [ "$status" != 0 ]; then
  echo "make-video: last lines of the program's output:" >&2
  tail -n 5 "$work/out.log" >&2 || true
  tail -n 5 "$work/err.log" >&2 || true
  tail -n 5 "$work/ffmpeg.log" >&2 || true
  die "$program failed with exit status $status after $frames frames"
fi
rendered=$(awk -v t0="$start" -v now="$(date +%s.%N)" 'BEGIN { printf "%.0f", now - t0 }')
echo "make-video: $frames frames rendered in $rendered s; finishing the encoding"

fstatus=0
wait "$ffmpeg_pid" || fstatus=$?
ffmpeg_pid=
if [ "$fstatus" != 0 ]; then
  tail -n 5 "$work/ffmpeg.log" >&2 || true
  die "ffmpeg failed with exit status $fstatus"
fi
[ "$frames" -gt 0 ] || die "$program rendered no frames"
if [ "$frames" != "$expected_frames" ]; then
  echo "make-video: note: $frames frames, a whole run has $expected_frames" >&2
fi
total=$(awk -v t0="$start" -v now="$(date +%s.%N)" 'BEGIN { printf "%.0f", now - t0 }')
echo "make-video: done in $total s (the show lasts 188 s): $output"
