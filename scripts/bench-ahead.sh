#!/bin/bash
# Benchmark: how long a run takes to reach a later start, against rendering
# the frames before it. Both runs go on the capture clock without the frame
# timer, raw frames to /dev/null, no music, under a private Xvfb:
#   ahead   the program started at the start (-S or -s), stopped once its
#           first frame is out: the frames before it run ahead undrawn but
#           for the last 200, which settle the motion blur
#   render  the same frames, from the first, each drawn (-s 0:FIRST)
# Prints the wall and CPU time of each (CPU over all the process's threads,
# the steadier figure on a busy machine) and their ratio.
#
# usage: scripts/bench-ahead.sh [-p PROGRAM] [-S N | -s FIRST] [SIZE]
#   -p      the built program (default build/vy01)
#   -S      start at scene N's first frame (default: scene 12)
#   -s      start at frame FIRST (numbered from 0)
#   SIZE    WIDTHxHEIGHT, default 1024x768
# Figures depend on the machine and on whatever else runs on it.
set -eu

me=bench-ahead
. "$(dirname "$0")/lib.sh"

root=$(cd "$(dirname "$0")/.." && pwd)
program=$root/build/vy01
start=(-S 12)
if [ "${1:-}" = "--help" ]; then usage; fi
while getopts "p:S:s:" opt; do
  case $opt in
    p) program=$(cd "$(dirname "$OPTARG")" && pwd)/$(basename "$OPTARG") ;;
    S) start=(-S "$OPTARG") ;;
    s) start=(-s "$OPTARG") ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ $# -le 1 ] || usage
size=${1:-1024x768}
case $size in
  [0-9]*x[0-9]*) ;;
  *) die "size must be WIDTHxHEIGHT (got $size)" ;;
esac
w=${size%x*}
h=${size#*x}
check_size "$w" "$h"
[ -x "$program" ] || die "no program at $program (build it first, or pass -p)"
cd "$root"

make_work
start_xvfb "$w" "$h"
ticks=$(getconf CLK_TCK)
now() { date +%s.%N; }
# CPU seconds the process has used so far, all its threads together.
cpu_of() { awk -v t="$ticks" '{ sub(/^.*\) /, ""); printf "%.2f", ($12 + $13) / t }' "/proc/$1/stat"; }

echo "bench-ahead: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg), ${w}x${h}, start ${start[*]}"

# Ahead: stopped at the first frame it writes, which says where the start is.
mkfifo "$work/lines"
t0=$(now)
"$program" -r /dev/null -m -t -w "$w" -h "$h" "${start[@]}" >"$work/lines" 2>"$work/ahead.err" &
pid=$!
first=
while read -r line; do
  echo "$line" >>"$work/ahead.log"
  case $line in
    "[->] captured frame #"*)
      first=$((${line#"[->] captured frame #"} - 1))
      ahead_cpu=$(cpu_of "$pid")
      ahead_wall=$(awk -v a="$t0" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }')
      break
      ;;
  esac
done <"$work/lines"
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
pid=
[ -n "$first" ] || { tail -n 5 "$work/ahead.log" "$work/ahead.err" >&2; die "the run ahead wrote no frame"; }
[ "$first" -gt 0 ] || die "the start is frame 0: nothing to run ahead"
settle=$(sed -n 's/^\[dev\] .*: [0-9]* frames run ahead, \([0-9]*\) of them drawn for the blur, in \([0-9.]*\) s$/\1 \2/p' \
  "$work/ahead.log" | awk '{ n += $1; if ($1 > 0) s += $2 } END { printf "%d frames, %.2f s", n, s }')

# Render: the same frames, all drawn.
TIMEFORMAT='%R %U %S'
{ time "$program" -r /dev/null -m -w "$w" -h "$h" -s "0:$first" >/dev/null 2>"$work/render.err"; } 2>"$work/render.time" ||
  { tail -n 5 "$work/render.err" >&2; die "the render run failed"; }
read -r render_wall user sys <"$work/render.time"
render_cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')

printf '  %-8s %7s %10s %9s\n' "" frames "wall s" "cpu s"
printf '  %-8s %7d %10.2f %9.2f   (drawn for the blur: %s)\n' ahead "$first" "$ahead_wall" "$ahead_cpu" "$settle"
printf '  %-8s %7d %10.2f %9.2f\n' render "$first" "$render_wall" "$render_cpu"
awk -v a="$ahead_wall" -v b="$render_wall" -v c="$ahead_cpu" -v d="$render_cpu" \
  'BEGIN { printf "  ahead / render: wall %.3f, cpu %.3f\n", a / b, c / d }'
