#!/bin/bash
# The whole production under AddressSanitizer and UndefinedBehaviorSanitizer:
# builds build-asan/vy01 with gcc's sanitizers, then, each under its own
# Xvfb and in a scratch directory that links data/:
#   capture  a full capture run (-c), every frame written and counted;
#   music    a full real-time run with the music, so the sound layer's
#            decoding and output threads run too;
#   ranges   the video's path: raw frames (-r) of frame ranges (-s), the
#            music on the capture clock, each range's bytes counted.
# Any sanitizer report, an exit status other than 0 or a missing frame fails
# the script; the failed run's files are kept and named.
#
# usage: bash scripts/sanitize-run.sh [capture|music|both|ranges] [WIDTH HEIGHT [FIRST:END...]]
# Defaults: both, 320 x 240; ranges 0:3767 and 3767: (the whole show in two).
# Each capture or music run lasts the whole timeline (over 188 s), a range
# the frames up to its end.
# Leaks are not checked here: the production keeps what it loads until the
# process ends and leaves through _exit, so the leak checker never runs; the
# readers' leaks are checked per input by scripts/fuzz.sh.
[ -n "${BASH_VERSION:-}" ] || exec bash "$0" "$@"
set -eu


me=sanitize
. "$(dirname "$0")/lib.sh"
cd "$(dirname "$0")/.."
root=$(pwd)
which=${1:-both}
width=${2-320}
height=${3-240}
case $which in capture | music | both | ranges) ;; *) usage ;; esac
check_size width height
spans=("${@:4}")
[ "${#spans[@]}" -gt 0 ] || spans=(0:3767 3767:)
for r in "${spans[@]}"; do
  case $r in [0-9]*:* | [0-9]*) ;; *) refuse "a range is FIRST:END (got '$r')" ;; esac
done
build=${ASAN_BUILD:-build-asan}
san="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"

[ -f data/models/toyplane.obj ] || refuse "data/ is not built; run the normal build first"
echo "sanitize: building $build/vy01"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
  -DCMAKE_CXX_FLAGS="$san" -DCMAKE_C_FLAGS="$san" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
nice cmake --build "$build" --target vy01 -j2 >/dev/null

make_work

run() { # name, then options for vy01
  local name=$1 dir=$work/$1 status=0 start failed=0
  shift
  mkdir -p "$dir/capture"
  ln -s "$root/data" "$dir/data"
  start_xvfb "$width" "$height"
  echo "sanitize: $name run: vy01 $* (DISPLAY $DISPLAY, in $dir)"
  start=$(date +%s)
  (cd "$dir" && ASAN_OPTIONS="detect_leaks=0:halt_on_error=1:log_path=$dir/asan" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$dir/ubsan" \
    ALSOFT_LOGLEVEL=0 tied nice "$root/$build/vy01" "$@" >out.txt 2>err.txt) &
  pid=$!
  wait "$pid" || status=$?
  pid=
  stop "$xvfb_pid"
  xvfb_pid=
  echo "sanitize: $name run ended with status $status after $(($(date +%s) - start)) s"
  if ls "$dir"/asan.* "$dir"/ubsan.* >/dev/null 2>&1; then
    echo "sanitize: $name run: SANITIZER REPORT"
    cat "$dir"/asan.* "$dir"/ubsan.* 2>/dev/null | head -60
    failed=1
  fi
  if grep -q -e "runtime error" -e "AddressSanitizer" "$dir/err.txt"; then
    grep -m 20 -e "runtime error" -e "AddressSanitizer" "$dir/err.txt"
    failed=1
  fi
  [ "$status" -eq 0 ] || failed=1
  local frames last
  frames=$(grep -c '^\[->\] captured frame #' "$dir/out.txt" || true)
  if [ "$name" = capture ]; then
    # Every frame up to the last captured one, none missing.
    frames=$(find "$dir/capture" -name '*.png' | wc -l)
    last=$(ls "$dir/capture" | tail -n 1 | sed 's/\.png$//; s/^0*//')
    echo "sanitize: capture run wrote $frames frames, the last numbered ${last:-none}"
    [ "$frames" -gt 0 ] && [ "$frames" -eq $((${last:-0} + 1)) ] || failed=1
  elif [ -f "$dir/frames.raw" ]; then
    # Whole frames, as many as the run reported.
    local bytes
    bytes=$(stat -c %s "$dir/frames.raw")
    echo "sanitize: $name run wrote $frames frames, $bytes bytes"
    [ "$frames" -gt 0 ] && [ "$bytes" -eq $((frames * width * height * 3)) ] || failed=1
  fi
  grep "\[dev\] scene 12" "$dir/out.txt" || true
  if [ $failed -ne 0 ]; then
    local kept
    kept=$(mktemp -d "${TMPDIR:-/tmp}/sanitize-$name.XXXXXX")
    cp -a "$dir/." "$kept/"
    echo "sanitize: $name run FAILED; output kept in $kept"
    exit 1
  fi
  rm -rf "$dir"
}

case $which in
  capture | both) run capture -c -t -w "$width" -h "$height" ;;&
  music | both) run music -t -w "$width" -h "$height" ;;
  ranges)
    for r in "${spans[@]}"; do
      run "range-${r/:/-}" -r frames.raw -s "$r" -t -w "$width" -h "$height"
    done
    ;;
esac
echo "sanitize: no sanitizer report"
