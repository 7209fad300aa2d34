#!/bin/bash
# Compares the whole show's frames of another revision with this tree's:
# builds REV in a scratch tree (kept in build/compare/ for the next run),
# renders both shows as raw frames (`-r`) at the same size under one private
# Xvfb and streams them side by side through ffmpeg's ssim and psnr
# filters; no frame is stored. Prints per stage (the start screen, scenes 1
# to 12, split where the program's own `-t` hand-over lines say) the mean
# and worst SSIM and PSNR and the five worst frames by SSIM.
#
# usage: scripts/compare-frames.sh [-p PROGRAM] [-k DIR -f N[,N...]] REV [WxH]
#   -p      this tree's built program (default build/vy01)
#   -k DIR  with -f: write the frames N (numbered as printed) side by side,
#           REV left, this tree right, as DIR/frame-N.png; no table then
#   REV     any commit git knows (c703a69, HEAD~2, a branch)
#   WxH     default 1024x768
# The city's particle re-entries follow the clock's second: both runs see
# one pinned time() (a small LD_PRELOAD shim), so two builds that read the
# calendar compare frame by frame; a build whose raw stream reads the
# capture clock instead differs from one that does not in those frames only. Acceptance printed at the end: every frame's SSIM >= 0.98 and
# every stage's mean >= 0.995; the status is 1 where either fails.
set -euo pipefail

me=compare-frames
. "$(dirname "$0")/lib.sh"

root=$(cd "$(dirname "$0")/.." && pwd)
program=$root/build/vy01
keep=
pick=
if [ "${1:-}" = "--help" ]; then usage; fi
while getopts "p:k:f:" opt; do
  case $opt in
    p) program=$(abspath "$OPTARG") ;;
    k) keep=$(abspath "$OPTARG") ;;
    f) pick=$OPTARG ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ $# -ge 1 ] && [ $# -le 2 ] || usage
rev=$1
size=${2:-1024x768}
read_size w h "$size"
size=${w}x$h
if [ -n "$keep" ] || [ -n "$pick" ]; then
  [ -n "$keep" ] && [ -n "$pick" ] || refuse "-k and -f go together"
  case $pick in *[!0-9,]* | '') refuse "-f takes frame numbers separated by commas" ;; esac
  mkdir -p "$keep" || die "cannot make the directory $keep"
fi
[ -x "$program" ] || die "no program at $program (build it first, or pass -p)"
command -v ffmpeg >/dev/null || die "ffmpeg is not installed"
sha=$(git -C "$root" rev-parse --verify "$rev^{commit}" 2>/dev/null) || die "unknown revision $rev"

# REV's tree and build, made once per commit: its own sources, assets and data.
ref=$root/build/compare/$sha
if [ ! -x "$ref/build/vy01" ]; then
  echo "compare-frames: building $rev (${sha:0:10}) in $ref"
  rm -rf "$ref"
  mkdir -p "$ref"
  git -C "$root" archive "$sha" | tar -x -C "$ref" || die "cannot unpack $rev into $ref"
  nice cmake -S "$ref" -B "$ref/build" -DBUILD_TESTING=OFF >"$ref/cmake.log" 2>&1 ||
    { tail -n 20 "$ref/cmake.log" >&2; die "configuring $rev failed"; }
  nice cmake --build "$ref/build" -j2 --target vy01 assets >>"$ref/cmake.log" 2>&1 ||
    { tail -n 20 "$ref/cmake.log" >&2; die "building $rev failed"; }
fi

make_work
ref_pid=
ref_xvfb=
on_finish() {
  stop "$pid" "$work/new.raw"
  stop "$ref_pid" "$work/ref.raw"
  stop "$ffmpeg_pid" "$work/ref.raw" "$work/new.raw"
  stop "$ref_xvfb"
  pid= ref_pid= ffmpeg_pid=
}

# The calendar's second decides the city's re-entries: both runs get one.
shim=
if command -v cc >/dev/null; then
  printf '#include <time.h>\ntime_t time(time_t *t) { if (t) *t = 1700000000; return 1700000000; }\n' \
    >"$work/pin.c"
  cc -shared -fPIC -O1 -o "$work/pin.so" "$work/pin.c" && shim=$work/pin.so
fi
[ -n "$shim" ] || echo "compare-frames: note: no C compiler, the city's re-entries follow the wall clock" >&2

# One X server each: a window fully covered by another gets no frames drawn.
start_xvfb "$w" "$h"
ref_display=$DISPLAY
ref_xvfb=$xvfb_pid
start_xvfb "$w" "$h"
mkfifo "$work/ref.raw" "$work/new.raw"
raw="-f rawvideo -pix_fmt rgb24 -video_size ${w}x${h} -framerate 40"

# Each program reads data/ from its own tree. Without music: a raw stream
# plays it now, and towers that follow it are not a change of picture.
(cd "$ref" && tied env DISPLAY="$ref_display" ${shim:+LD_PRELOAD=$shim} "$ref/build/vy01" -r "$work/ref.raw" -m -t -w "$w" -h "$h") \
  >"$work/ref.log" 2>"$work/ref.err" &
ref_pid=$!
(cd "$root" && tied env ${shim:+LD_PRELOAD=$shim} "$program" -r "$work/new.raw" -m -t -w "$w" -h "$h") \
  >"$work/new.log" 2>"$work/new.err" &
pid=$!

# Runs until ffmpeg has ended, noting how each program ended. A program that
# ends before ffmpeg opens its stream would leave ffmpeg waiting there for
# good: the stream of an ended program is opened and closed here while
# ffmpeg runs, which ends it once ffmpeg comes to it.
await_ffmpeg() {
  new_status= ref_status=
  while kill -0 "$ffmpeg_pid" 2>/dev/null; do
    if [ -z "$new_status" ] && ! kill -0 "$pid" 2>/dev/null; then
      new_status=0
      wait "$pid" || new_status=$?
      pid=
    fi
    if [ -z "$ref_status" ] && ! kill -0 "$ref_pid" 2>/dev/null; then
      ref_status=0
      wait "$ref_pid" || ref_status=$?
      ref_pid=
    fi
    [ -z "$new_status" ] || exec 9<>"$work/new.raw" 9>&-
    [ -z "$ref_status" ] || exec 9<>"$work/ref.raw" 9>&-
    sleep 0.2
  done
  ffmpeg_status=0
  wait "$ffmpeg_pid" || ffmpeg_status=$?
  ffmpeg_pid=
}

# A program that failed is the cause, not the ffmpeg that lost its stream.
check_runs() {
  [ "${new_status:-0}" = 0 ] || { tail -n 5 "$work/new.err" >&2; die "$program failed with status $new_status"; }
  [ "${ref_status:-0}" = 0 ] || { tail -n 5 "$work/ref.err" >&2; die "$rev's program failed with status $ref_status"; }
  [ "$ffmpeg_status" = 0 ] || die "ffmpeg failed (status $ffmpeg_status)"
}

if [ -n "$pick" ]; then
  sel=$(echo "$pick" | tr ',' '\n' | awk '{ printf "%seq(n,%d)", (NR > 1 ? "+" : ""), $1 - 1 }')
  count=$(echo "$pick" | tr ',' '\n' | sort -u | wc -l)
  echo "compare-frames: rendering both shows for frames $pick"
  # shellcheck disable=SC2086
  tied ffmpeg -hide_banner -loglevel error -nostdin $raw -i "$work/ref.raw" $raw -i "$work/new.raw" \
    -lavfi "[0:v][1:v]hstack,select='$sel'" -fps_mode passthrough -frames:v "$count" \
    "$work/pick-%d.png" &
  ffmpeg_pid=$!
  await_ffmpeg
  # Past the last frame asked for the programs are stopped.
  stop "$pid" "$work/new.raw"
  stop "$ref_pid" "$work/ref.raw"
  pid= ref_pid=
  # An ffmpeg that got every frame asked for leaves the programs without a reader.
  if [ "$ffmpeg_status" = 0 ]; then new_status= ref_status=; fi
  check_runs
  i=1
  for n in $(echo "$pick" | tr ',' '\n' | sort -nu); do
    [ -f "$work/pick-$i.png" ] && mv "$work/pick-$i.png" "$keep/frame-$n.png" && echo "$keep/frame-$n.png"
    i=$((i + 1))
  done
  exit 0
fi

echo "compare-frames: ${size}, $rev (${sha:0:10}) against $program; both shows render at once"
started=$(date +%s)
# shellcheck disable=SC2086
tied ffmpeg -hide_banner -loglevel error -nostdin $raw -i "$work/ref.raw" $raw -i "$work/new.raw" \
  -lavfi "[1:v]split[a][b];[0:v]split[c][d];[a][c]ssim=stats_file=$work/ssim.log[s];[b][d]psnr=stats_file=$work/psnr.log[p]" \
  -map "[s]" -f null - -map "[p]" -f null - &
ffmpeg_pid=$!
await_ffmpeg
# Both streams ended: the programs end too, unless ffmpeg gave up on them.
if [ "$ffmpeg_status" = 0 ]; then
  if [ -z "$new_status" ]; then new_status=0; wait "$pid" || new_status=$?; pid=; fi
  if [ -z "$ref_status" ]; then ref_status=0; wait "$ref_pid" || ref_status=$?; ref_pid=; fi
fi
check_runs
echo "compare-frames: $(($(date +%s) - started)) s"

scene_starts "$work/new.log" >"$work/new.starts"
scene_starts "$work/ref.log" >"$work/ref.starts"
cmp -s "$work/new.starts" "$work/ref.starts" ||
  echo "compare-frames: note: the hand-over frames differ (REV: $(tr '\n' ' ' <"$work/ref.starts"); here: $(tr '\n' ' ' <"$work/new.starts")); stages follow this tree's"

# Both ran side by side under the same load: their CPU per frame is a fair
# A/B of the video's path.
cpu() { sed -n 's/^\[dev\] \(loader\|scene\) \([0-9]*\): .*median cpu \([0-9.]*\) ms$/\2 \3/p' "$1"; }
echo "compare-frames: median CPU ms per frame, side by side (stage: REV, this tree):"
cpu "$work/ref.log" >"$work/ref.cpu"
cpu "$work/new.log" | awk -v ref="$work/ref.cpu" '
  BEGIN { while ((getline line < ref) > 0) { split(line, f, " "); r[f[1]] = f[2] } }
  { printf "  %s: %s, %s\n", $1 ? $1 : "start", r[$1], $2 }'

# One line per frame: number, SSIM (all channels), MSE (all channels).
paste -d' ' \
  <(sed -n 's/^n:\([0-9]*\) .*All:\([0-9.]*\) .*/\1 \2/p' "$work/ssim.log") \
  <(sed -n 's/^n:[0-9]* mse_avg:\([0-9.]*\) .*/\1/p' "$work/psnr.log") >"$work/frames"

awk -v starts="$work/new.starts" '
  BEGIN {
    while ((getline line < starts) > 0) { split(line, f, " "); first[f[1]] = f[2]; last = f[1] }
  }
  function stage(n,   s) { for (s = last; s >= 1; s--) if (n >= first[s]) return s; return 0 }
  function psnr(mse) { return mse > 0 ? sprintf("%.2f", 10 * log(255 * 255 / mse) / log(10)) : "inf" }
  {
    s = stage($1); k = ++count[s]
    num[s, k] = $1; ssim[s, k] = $2; sum[s] += $2; mse[s] += $3
    if (!(s in worst) || $2 < worst[s]) worst[s] = $2
    if (!(s in worstMse) || $3 > worstMse[s]) worstMse[s] = $3
    if ($2 < 0.98) low++
    total++
  }
  END {
    printf "%-6s %6s %10s %10s %10s %10s  %s\n", "stage", "frames", "SSIM mean", "SSIM worst", "PSNR mean", "PSNR worst", "five worst frames (SSIM)"
    bad = 0
    for (s = 0; s <= last; s++) {
      if (!count[s]) continue
      # the five lowest, by selection
      list = ""
      for (i = 1; i <= count[s]; i++) used[i] = 0
      for (j = 1; j <= 5 && j <= count[s]; j++) {
        m = 0
        for (i = 1; i <= count[s]; i++) if (!used[i] && (!m || ssim[s, i] < ssim[s, m])) m = i
        used[m] = 1
        list = list sprintf(" %d:%.5f", num[s, m], ssim[s, m])
      }
      mean = sum[s] / count[s]
      if (mean < 0.995) bad++
      printf "%-6s %6d %10.5f %10.5f %10s %10s %s\n", s ? s : "start", count[s], mean, worst[s],
        psnr(mse[s] / count[s]), psnr(worstMse[s]), list
    }
    printf "frames: %d; SSIM below 0.98: %d; stages with a mean below 0.995: %d\n", total, low, bad
    exit (low || bad) ? 1 : 0
  }' "$work/frames"
