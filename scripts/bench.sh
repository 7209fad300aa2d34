#!/bin/bash
# Benchmark: runs the real program headless (a private Xvfb, Mesa's
# llvmpipe) through the whole show at each size and prints, per scene, the
# median, 95th percentile and worst frame time against the 25 ms the frame
# timer allows, and the median CPU time of a frame over all the process's
# threads (the renderer uses every core): the cost of a frame, whatever else the machine
# is doing, where the wall times follow the machine's load.
#
# usage: scripts/bench.sh [-p PROGRAM] [-f] [-S N[:M]] [SIZE...]
#   -p      the built program (default build/vy01)
#   -S      scene N only (to scene M): the run goes ahead to it on the
#           capture clock, then times it as the whole show is timed
#   -f      fast, the video's path: the capture clock without the timer,
#           raw frames to /dev/null (the same frames every run; read-back
#           included, the blur worked out beside the renderer, no swap)
#   SIZE    WIDTHxHEIGHT, default 1024x768 640x480
# Live runs last the show's 188 s per size. Figures depend on the machine
# and on whatever else runs on it.
set -eu

me=bench
. "$(dirname "$0")/lib.sh"

root=$(cd "$(dirname "$0")/.." && pwd)
program=$root/build/vy01
fast=0
scenes=()
if [ "${1:-}" = "--help" ]; then usage; fi
while getopts "p:fS:" opt; do
  case $opt in
    p) program=$(cd "$(dirname "$OPTARG")" && pwd)/$(basename "$OPTARG") ;;
    f) fast=1 ;;
    S) scenes=(-S "$OPTARG") ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
sizes=${*:-1024x768 640x480}
# Every size is checked before the first run; the screen holds the largest.
screen_w=2 screen_h=2
for size in $sizes; do
  read_size w h "$size"
  [ "$w" -le "$screen_w" ] || screen_w=$w
  [ "$h" -le "$screen_h" ] || screen_h=$h
done
[ -x "$program" ] || die "no program at $program (build it first, or pass -p)"
cd "$root"

make_work
start_xvfb "$screen_w" "$screen_h"

renderer=$(glxinfo -B 2>/dev/null | sed -n 's/^OpenGL renderer string: //p' || true)
echo "bench: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
echo "bench: ${renderer:-unknown renderer}, load average $(cut -d' ' -f1-3 /proc/loadavg)"
[ "$fast" = 1 ] && echo "bench: fast mode, the video's path (capture clock, no timer, raw frames, blur beside the renderer)"

for size in $sizes; do
  read_size w h "$size"
  if [ "$fast" = 1 ]; then
    set -- -r /dev/null -t -w "$w" -h "$h" ${scenes[@]+"${scenes[@]}"}
  else
    set -- -m -t -w "$w" -h "$h" ${scenes[@]+"${scenes[@]}"}
  fi
  start=$(date +%s)
  status=0
  tied "$program" "$@" >"$work/out.log" 2>"$work/err.log" &
  pid=$!
  wait "$pid" || status=$?
  pid=
  [ "$status" = 0 ] || { tail -n 5 "$work/err.log" >&2; die "$program failed at $size with status $status"; }
  echo
  echo "$size ($(($(date +%s) - start)) s):"
  printf '  %-7s %7s %9s %10s %8s %9s %12s  %s\n' scene frames "mean ms" "median ms" "p95 ms" "worst ms" "cpu med. ms" "median < 25 ms"
  sed -n 's/^\[dev\] \(loader\|scene\) \([0-9]*\): \([0-9]*\) frames, mean \([0-9.]*\) ms, median \([0-9.]*\) ms, p95 \([0-9.]*\) ms, max \([0-9.]*\) ms, median cpu \([0-9.]*\) ms$/\1 \2 \3 \4 \5 \6 \7 \8/p' \
    "$work/out.log" | while read -r kind n frames mean median p95 worst cpu; do
      [ "$kind" = loader ] && n=loader
      ok=yes
      awk -v m="$median" 'BEGIN { exit !(m >= 25) }' && ok=NO
      printf '  %-7s %7d %9.2f %10.2f %8.2f %9.2f %12.2f  %s\n' "$n" "$frames" "$mean" "$median" "$p95" "$worst" "$cpu" "$ok"
    done
done
