#!/bin/sh
# The whole production under AddressSanitizer and UndefinedBehaviorSanitizer:
# builds build-asan/vy01 with gcc's sanitizers, then, each under its own
# Xvfb and in a scratch directory that links data/:
#   capture  a full capture run (-c), every frame written and counted;
#   music    a full real-time run with the music, so the sound layer's
#            decoding and output threads run too.
# Any sanitizer report, an exit status other than 0 or a missing frame fails
# the script.
#
#   sh scripts/sanitize-run.sh [capture|music|both] [WIDTH HEIGHT]
#
# Defaults: both, 320 x 240. Each run lasts the whole timeline (over 188 s).
# Leaks are not checked here: the production keeps what it loads until the
# process ends and leaves through _exit, so the leak checker never runs; the
# readers' leaks are checked per input by scripts/fuzz.sh.
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
WHICH=${1:-both}
W=${2:-320}
H=${3:-240}
BUILD=${ASAN_BUILD:-build-asan}
SAN="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"

[ -f data/models/toyplane.obj ] || { echo "sanitize: data/ is not built; run the normal build first"; exit 2; }
echo "sanitize: building $BUILD/vy01"
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
  -DCMAKE_CXX_FLAGS="$SAN" -DCMAKE_C_FLAGS="$SAN" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
nice cmake --build "$BUILD" --target vy01 -j2 >/dev/null

WORK=$(mktemp -d /tmp/vy-sanitize.XXXXXX)
XPID=""
cleanup() {
  [ -n "$XPID" ] && kill "$XPID" 2>/dev/null && wait "$XPID" 2>/dev/null
  XPID=""
}
trap cleanup EXIT INT TERM

# A display of our own: a covered desktop window would stall the frames.
startX() {
  : > "$WORK/display"
  Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp > "$WORK/display" 2>/dev/null &
  XPID=$!
  i=0
  while [ ! -s "$WORK/display" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
  [ -s "$WORK/display" ] || { echo "sanitize: Xvfb did not start"; exit 2; }
  DISPLAY=:$(head -n 1 "$WORK/display")
  export DISPLAY
}

run() {  # name, then options for vy01
  name=$1
  shift
  dir="$WORK/$name"
  mkdir -p "$dir/capture"
  ln -s "$ROOT/data" "$dir/data"
  startX
  echo "sanitize: $name run: vy01 $* (DISPLAY $DISPLAY, in $dir)"
  start=$(date +%s)
  status=0
  (cd "$dir" && ASAN_OPTIONS="detect_leaks=0:halt_on_error=1:log_path=$dir/asan" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$dir/ubsan" \
    ALSOFT_LOGLEVEL=0 nice "$ROOT/$BUILD/vy01" "$@" > out.txt 2> err.txt) || status=$?
  cleanup
  echo "sanitize: $name run ended with status $status after $(($(date +%s) - start)) s"
  failed=0
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
  if [ "$name" = capture ]; then
    # Every frame up to the last captured one, none missing.
    frames=$(ls "$dir/capture" | wc -l)
    last=$(ls "$dir/capture" | tail -n 1 | sed 's/\.png$//; s/^0*//')
    echo "sanitize: capture run wrote $frames frames, the last numbered ${last:-none}"
    [ "$frames" -gt 0 ] && [ "$frames" -eq $((${last:-0} + 1)) ] || failed=1
  fi
  grep "\[dev\] scene 12" "$dir/out.txt" || true
  if [ $failed -ne 0 ]; then
    echo "sanitize: $name run FAILED; output kept in $dir"
    exit 1
  fi
  rm -rf "$dir"
}

case $WHICH in
  capture) run capture -c -t -w "$W" -h "$H" ;;
  music) run music -t -w "$W" -h "$H" ;;
  both) run capture -c -t -w "$W" -h "$H"; run music -t -w "$W" -h "$H" ;;
  *) echo "usage: sh scripts/sanitize-run.sh [capture|music|both] [WIDTH HEIGHT]"; exit 2 ;;
esac
rm -rf "$WORK"
echo "sanitize: no sanitizer report"
