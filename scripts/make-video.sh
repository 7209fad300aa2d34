#!/bin/bash
# Renders the production to a video: runs the program on its capture clock
# (a fixed 25 ms step per frame, the music on the same clock) without
# waiting for the frame timer, and hands every frame as raw RGB straight to
# ffmpeg through a pipe; no PNG files. The show is cut into ranges of frames
# rendered by separate processes at once, each into an H.264 part; the parts
# are then joined in order with the music and one chapter per scene into an
# MP4 at 40 fps.
#
# usage: scripts/make-video.sh [-w WIDTH] [-h HEIGHT] [-p PROGRAM] [-j N] [OUTPUT]
#        scripts/make-video.sh [-w WIDTH] [-h HEIGHT] [-p PROGRAM] -s FIRST:END PART
#        scripts/make-video.sh -J OUTPUT PART...
#        scripts/make-video.sh -l N
#   -w, -h   size of the window (default 1024 x 768)
#   -p       the built program (default build/vy01); this script builds nothing
#   -j N     render N ranges at once (default: one per core)
#   -s       render frames FIRST <= n < END only (END may be left out: to the
#            end) into the video file PART, with the program's lines in
#            PART.log, for joining later
#   -J       join PARTs (in any order: their logs say which frames they
#            hold) with the music and the chapters into OUTPUT
#   -l N     print N ranges covering the show, one FIRST:END a line
#   OUTPUT   the video file (default video/vy-01.mp4)
# Always renders under a private Xvfb, also where DISPLAY is set: a window
# covered on a desktop gets no display callbacks, and the run would stall.
# The output appears only when it is whole; on any failure an earlier file
# of that name is left as it was.
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
output=
fps=40
audio_delay_ms=2350  # the music starts in frame 95: 94 frames of 25 ms before it
expected_frames=7535 # a whole run (the frame in which the show ends is not saved)
music=data/tune/vy-03.mp3
jobs=
range=
join=
list=

if [ "${1:-}" = "--help" ]; then usage; fi
while getopts "w:h:p:j:s:Jl:" opt; do
  case $opt in
    w) width=$OPTARG ;;
    h) height=$OPTARG ;;
    p) program=$(abspath "$OPTARG") ;;
    j) jobs=$OPTARG ;;
    s) range=$OPTARG ;;
    J) join=1 ;;
    l) list=$OPTARG ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))

# N ranges of about equal length covering the show.
ranges() { # n
  local n=$1 i
  for ((i = 0; i < n; i++)); do
    local first=$((expected_frames * i / n)) end=$((expected_frames * (i + 1) / n))
    if [ "$i" = $((n - 1)) ]; then echo "$first:"; else echo "$first:$end"; fi
  done
}

count() { # what value: a whole number from 1 to 64
  case $2 in
    '' | *[!0-9]*) echo "$me: $1 must be a number from 1 to 64 (got '$2')" >&2; exit 2 ;;
  esac
  if [ "$2" -lt 1 ] || [ "$2" -gt 64 ]; then
    echo "$me: $1 must be a number from 1 to 64 (got $2)" >&2
    exit 2
  fi
}

if [ -n "$list" ]; then
  [ $# -eq 0 ] || usage
  count "-l" "$list"
  ranges "$list"
  exit 0
fi

# Stops a process of ours and waits for it: politely, then for good. An
# ffmpeg blocked opening the frame pipe ignores the polite signal; opening
# the pipe ourselves, and closing it, lets it go.
stop() { # pid [fifo]
  [ -n "$1" ] || return 0
  kill -TERM "$1" 2>/dev/null || true
  if [ -n "${2:-}" ] && [ -p "$2" ]; then exec 9<>"$2" 9>&-; fi
  for _ in $(seq 30); do
    kill -0 "$1" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# The half-written output and everything still running go with us.
partial=
pending_log=
children=
video_finish() {
  status=$?
  # Clean-up goes on past a failing step.
  set +e
  trap '' INT TERM
  for c in $children; do kill -TERM "$c" 2>/dev/null || true; done
  for c in $children; do wait "$c" 2>/dev/null || true; done
  stop "$pid" "${fifo:-}"
  stop "$ffmpeg_pid" "${fifo:-}"
  stop "$xvfb_pid"
  pid= ffmpeg_pid= xvfb_pid=
  [ -z "$partial" ] || rm -f "$partial"
  [ -z "$pending_log" ] || rm -f "$pending_log"
  finish_status=$status
  (exit "$finish_status")
  finish
}

begin_work() {
  make_work
  trap video_finish EXIT
  # A reader of our messages that went away must not cut the clean-up short.
  trap '' PIPE
}

# A temporary file beside the final one, renamed only once it is whole.
begin_output() { # final
  mkdir -p "$(dirname "$1")" || die "cannot make the directory of $1"
  partial=$(mktemp "$(dirname "$1")/.$(basename "$1").XXXXXX") || die "cannot write beside $1"
}

end_output() { # final
  mv -f "$partial" "$1" || die "cannot rename the finished video to $1"
  partial=
}

last_line() { # file
  grep -v '^\s*$' "$1" 2>/dev/null | tail -n 1 || true
}

# Frames a log reports as captured: the first and the one after the last.
log_range() { # log
  local a b
  a=$(grep -m 1 -o 'captured frame #[0-9]*' "$1" | grep -o '[0-9]*$' || true)
  b=$(tail -n 40 "$1" | grep -o 'captured frame #[0-9]*' | tail -n 1 | grep -o '[0-9]*$' || true)
  echo "$((${a:-1} - 1)) ${b:-0}"
}

check_program() {
  check_size "$width" "$height"
  [ -x "$program" ] || die "no program at $program (build it first, or pass -p)"
  command -v ffmpeg >/dev/null || die "ffmpeg is not installed"
  [ -f "$root/$music" ] || die "missing $root/$music"
}

# One range into one H.264 part, the program's lines beside it.
render_part() { # range part
  local part=$2 log=$2.log
  fifo=$work/frames
  mkfifo "$fifo"
  begin_output "$part"
  : >"$log"
  pending_log=$log
  ffmpeg -hide_banner -loglevel error -nostdin -y \
    -f rawvideo -pix_fmt rgb24 -video_size "${width}x${height}" -framerate "$fps" \
    -i "$fifo" -an \
    -vf "pad=ceil(iw/2)*2:ceil(ih/2)*2" \
    -c:v libx264 -preset ultrafast -crf 20 -pix_fmt yuv420p \
    -f mp4 "$partial" 2>"$work/ffmpeg.log" &
  ffmpeg_pid=$!
  (cd "$root" && exec "$program" -r "$fifo" -s "$1" -t -w "$width" -h "$height") \
    >"$log" 2>"$work/err.log" &
  pid=$!

  local failed= status=0 fstatus=0
  while kill -0 "$pid" 2>/dev/null; do
    # A failed encoder: the program would only stall or fail on the pipe.
    # (One that is done, the stream closed, waits for the program's exit.)
    if [ -n "$ffmpeg_pid" ] && ! kill -0 "$ffmpeg_pid" 2>/dev/null; then
      wait "$ffmpeg_pid" || fstatus=$?
      ffmpeg_pid=
      if [ "$fstatus" != 0 ]; then
        stop "$pid"
        pid=
        failed="ffmpeg failed (status $fstatus): $(last_line "$work/ffmpeg.log")"
        break
      fi
    fi
    sleep 0.5
  done
  if [ -z "$failed" ]; then
    wait "$pid" || status=$?
    pid=
    if [ "$status" != 0 ]; then
      # Let a dying encoder speak first: a program that lost its pipe is not to blame.
      for _ in $(seq 20); do kill -0 "$ffmpeg_pid" 2>/dev/null || break; sleep 0.1; done
      if [ -n "$ffmpeg_pid" ] && ! kill -0 "$ffmpeg_pid" 2>/dev/null; then
        wait "$ffmpeg_pid" || fstatus=$?
        ffmpeg_pid=
      fi
      if [ "$fstatus" != 0 ] && grep -q "Broken pipe" "$work/err.log"; then
        failed="ffmpeg failed (status $fstatus): $(last_line "$work/ffmpeg.log")"
      else
        why=$( (grep -h '^\[!' "$log" "$work/err.log"; last_line "$work/err.log") | head -n 1)
        failed="$(basename "$program") failed with status $status: ${why:-no message}"
      fi
    else
      [ -z "$ffmpeg_pid" ] || wait "$ffmpeg_pid" || fstatus=$?
      ffmpeg_pid=
      [ "$fstatus" = 0 ] || failed="ffmpeg failed (status $fstatus): $(last_line "$work/ffmpeg.log")"
    fi
  fi
  if [ -z "$failed" ]; then
    read -r first end <<<"$(log_range "$log")"
    got=$(ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames -of csv=p=0 "$partial" || true)
    if [ "$end" -le "$first" ]; then
      failed="$(basename "$program") wrote no frames"
    elif [ "${got:-0}" != $((end - first)) ]; then
      failed="the part holds ${got:-no} frames, the program wrote $((end - first))"
    fi
  fi
  [ -z "$failed" ] || die "frames $1: $failed"
  end_output "$part"
  pending_log=
}

# Chapters from the program's own hand-over lines.
chapters() { # total-frames logs...
  local total=$1
  shift
  echo ";FFMETADATA1"
  grep -h -o 'scene [0-9]* starts in frame [0-9]*' "$@" | sort -u | sort -n -k2 |
    awk -v total="$total" '
      { n = $2; f[n] = $6; if (n in seen) bad = 1; seen[n] = 1; last = n > last ? n : last }
      END {
        if (bad) exit 3
        start = 0; title = "Start"
        for (n = 1; n <= last; n++) {
          if (!(n in f)) exit 4
          at = (f[n] - 1) * 25
          if (at > start && f[n] <= total) printf "[CHAPTER]\nTIMEBASE=1/1000\nSTART=%d\nEND=%d\ntitle=%s\n", start, at, title
          start = at; title = "Scene " n
        }
        printf "[CHAPTER]\nTIMEBASE=1/1000\nSTART=%d\nEND=%d\ntitle=%s\n", start, total * 25, title
      }'
}

# Joins parts given in any order: each one's log says which frames it holds.
join_parts() { # output parts...
  local out=$1 list=$work/parts.txt next=0 first end p
  shift
  local logs=()
  : >"$work/parts.unsorted"
  for p in "$@"; do
    [ -s "$p" ] || die "no part at $p"
    [ -s "$p.log" ] || die "no program lines at $p.log"
    logs+=("$p.log")
    read -r first end <<<"$(log_range "$p.log")"
    echo "$first $end $(abspath "$p")" >>"$work/parts.unsorted"
  done
  sort -n -k1,1 "$work/parts.unsorted" >"$work/order.txt"
  : >"$list"
  while read -r first end p; do
    [ "$first" = "$next" ] || die "$p starts at frame $first, the frames before it end at $next"
    next=$end
    printf "file '%s'\n" "$(printf %s "$p" | sed "s/'/'\\\\''/g")" >>"$list"
  done <"$work/order.txt"
  chapters "$next" "${logs[@]}" >"$work/chapters.txt" ||
    die "the parts disagree on where the scenes start"
  [ "$(grep -c '^\[CHAPTER\]' "$work/chapters.txt")" = 13 ] ||
    echo "$me: note: $(grep -c '^\[CHAPTER\]' "$work/chapters.txt") chapters, a whole show has 13" >&2
  [ "$next" = "$expected_frames" ] ||
    echo "$me: note: $next frames, a whole run has $expected_frames" >&2

  begin_output "$out"
  # The video decides the length: the audio is cut where the frames end.
  if ! ffmpeg -hide_banner -loglevel error -nostdin -y \
    -f concat -safe 0 -i "$list" -i "$root/$music" -f ffmetadata -i "$work/chapters.txt" \
    -map 0:v:0 -map 1:a:0 -map_chapters 2 -c:v copy \
    -af "adelay=${audio_delay_ms}|${audio_delay_ms}" -c:a aac -b:a 192k \
    -shortest -movflags +faststart -f mp4 "$partial" 2>"$work/join.log"; then
    die "ffmpeg failed joining the parts: $(last_line "$work/join.log")"
  fi
  got=$(ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames -of csv=p=0 "$partial" || true)
  [ "${got:-0}" = "$next" ] || die "the joined video holds ${got:-no} frames of $next"
  end_output "$out"
}

since() { awk -v t0="$1" -v now="$(date +%s.%N)" 'BEGIN { printf "%.0f", now - t0 }'; }

if [ -n "$join" ]; then
  [ $# -ge 2 ] || usage
  command -v ffmpeg >/dev/null || die "ffmpeg is not installed"
  out=$(abspath "$1")
  shift
  begin_work
  join_parts "$out" "$@"
  echo "$me: joined $# parts into $out"
  exit 0
fi

if [ -n "$range" ]; then
  [ $# -eq 1 ] || usage
  check_program
  part=$(abspath "$1")
  begin_work
  start_xvfb "$width" "$height"
  render_part "$range" "$part"
  exit 0
fi

[ $# -le 1 ] || usage
output=$(abspath "${1:-$root/video/vy-01.mp4}")
cores=$(nproc 2>/dev/null || echo 1)
jobs=${jobs:-$cores}
count "-j" "$jobs"
check_program
begin_work

# llvmpipe rasterises on as many threads as there are cores; several
# renderers at once share them out.
threads=${LP_NUM_THREADS:-$((cores / jobs))}
mkdir "$work/parts"
echo "$me: rendering ${width}x${height} with $program to $output, $jobs at once, LP_NUM_THREADS=$threads"
start=$(date +%s.%N)
parts=()
pids=()
for r in $(ranges "$jobs"); do
  part=$work/parts/$(printf %04d "${#parts[@]}").mp4
  LP_NUM_THREADS=$threads "$0" -w "$width" -h "$height" -p "$program" -s "$r" "$part" \
    2>"$part.err" &
  parts+=("$part")
  pids+=("$!")
  children="$children $!"
done

progress() {
  local n=0 p first end
  for p in "${parts[@]}"; do
    [ -f "$p.log" ] || continue
    read -r first end <<<"$(log_range "$p.log")"
    [ "$end" -gt "$first" ] && n=$((n + end - first))
  done
  awk -v n="$n" -v total="$expected_frames" -v t0="$start" -v now="$(date +%s.%N)" 'BEGIN {
    t = now - t0; rate = t > 0 ? n / t : 0
    left = rate > 0 && total > n ? (total - n) / rate : 0
    printf "\r%s: frame %d / %d (%d%%), %.1f frames/s, %d s, about %d s left  ",
      "make-video", n, total, n * 100 / total, rate, t, left
  }'
}

# The first range to fail ends them all.
done_parts=()
while [ "${#done_parts[@]}" -lt "${#parts[@]}" ]; do
  for i in "${!pids[@]}"; do
    [ -z "${done_parts[$i]:-}" ] || continue
    kill -0 "${pids[$i]}" 2>/dev/null && continue
    done_parts[$i]=1
    if ! wait "${pids[$i]}"; then
      err=$(grep -h "^$me:" "${parts[$i]}.err" 2>/dev/null | head -n 1 || true)
      [ -n "$err" ] || err="rendering ${parts[$i]} failed: $(last_line "${parts[$i]}.err")"
      die "${err#$me: }"
    fi
  done
  [ -t 2 ] && progress >&2
  sleep 1
done
[ -t 2 ] && { progress >&2; echo >&2; }
children=
echo "$me: ${#parts[@]} ranges rendered in $(since "$start") s; joining"
join_parts "$output" "${parts[@]}"
echo "$me: done in $(since "$start") s (the show lasts 188 s): $output"
