#!/bin/sh
# Fuzzes the readers of our data files (the TGA decoder, the OBJ reader with
# the libraries it names, the MTL reader) with libFuzzer under
# AddressSanitizer and UndefinedBehaviorSanitizer, built with clang.
#
#   sh scripts/fuzz.sh short [SECONDS]   each reader for SECONDS (default 3)
#   sh scripts/fuzz.sh long [RUNS]       each reader in turn for RUNS inputs
#                                        (default 10000000), under nice -n 19
#   sh scripts/fuzz.sh build             only build the three fuzzers
#
# Reader names after the count pick some of them: tga obj mtl. The corpus
# grows in build/fuzz/corpus/<reader>, logs go to build/fuzz/logs, and a
# finding is saved as build/fuzz/artifacts/<reader>-crash-... (or -leak-,
# -timeout-, -oom-) and ends the script with status 1. Exits with 77 when
# clang's libFuzzer is not installed.
set -eu
cd "$(dirname "$0")/.."
OUT=${FUZZ_OUT:-build/fuzz}
MODE=${1:-short}
[ $# -gt 0 ] && shift
COUNT=""
case "$1" in [0-9]*) COUNT=$1; shift ;; esac
READERS=${*:-tga mtl obj}
CXX=${FUZZ_CXX:-clang++}
FLAGS="-std=c++17 -g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -Isrc"

mkdir -p "$OUT/bin" "$OUT/seeds" "$OUT/logs" "$OUT/artifacts"

# libFuzzer comes with clang's runtime; without it there is nothing to run.
probe="$OUT/probe.cpp"
printf '#include <cstdint>\n#include <cstddef>\nextern "C" int LLVMFuzzerTestOneInput(const uint8_t *, size_t) { return 0; }\n' > "$probe"
if ! command -v "$CXX" >/dev/null 2>&1 || ! "$CXX" $FLAGS "$probe" -o "$OUT/probe" >/dev/null 2>&1; then
  echo "fuzz: $CXX with libFuzzer is not available; install clang (scripts/install-deps.sh)"
  exit 77
fi

sources() {
  case $1 in
    tga) echo "fuzz/tga.cpp src/textures.cpp src/regularfile.cpp" ;;
    obj) echo "fuzz/obj.cpp src/glm/glm.cpp src/regularfile.cpp" ;;
    mtl) echo "fuzz/mtl.cpp src/glm/glm.cpp src/regularfile.cpp" ;;
    *) echo "fuzz: no reader $1" >&2; exit 2 ;;
  esac
}

build() {
  bin="$OUT/bin/$1"
  src=$(sources "$1")
  # Rebuilt only when a source or a header it may include is newer.
  if [ -x "$bin" ] && [ -z "$(find $src src/textures.h src/glm/glm.h src/regularfile.h -newer "$bin")" ]; then
    return
  fi
  echo "fuzz: building $bin"
  libs=""
  [ "$1" = tga ] && libs="-lGLEW -lGL"
  "$CXX" $FLAGS $src -o "$bin" $libs
}

# Seeds besides the hand-written ones in fuzz/seeds: our own data files
# (when the build has made them) and one TGA of every type and depth.
tgaSeed() {  # name type bits width height [id-length] [x-origin]
  f="$OUT/seeds/tga/$1"
  printf "\\$(printf %03o "${6:-0}")\\000\\$(printf %03o "$2")\\000\\000\\000\\000\\000\\$(printf %03o "${7:-0}")\\000\\000\\000" > "$f"
  printf "\\$(printf %03o "$4")\\000\\$(printf %03o "$5")\\000\\$(printf %03o "$3")\\000" >> "$f"
  [ "${6:-0}" -gt 0 ] && printf 'identity' | head -c "$6" >> "$f"
  head -c $(($4 * $5 * ($3 + 7) / 8)) /dev/zero | tr '\000' '\201' >> "$f"
}

seeds() {
  mkdir -p "$OUT/seeds/tga" "$OUT/seeds/obj" "$OUT/seeds/mtl"
  for type in 0 1 2 3 9 10 11; do
    for bits in 8 15 16 24 32; do tgaSeed "t$type-$bits.tga" $type $bits 3 2; done
  done
  tgaSeed one-pixel.tga 2 32 1 1
  tgaSeed with-id.tga 2 24 2 2 5
  tgaSeed x-origin.tga 2 24 2 2 0 4
  tgaSeed zero-width.tga 2 24 0 2
  tgaSeed truncated.tga 2 32 40 40
  head -c 100 "$OUT/seeds/tga/truncated.tga" > "$OUT/seeds/tga/truncated.tga.tmp"
  mv "$OUT/seeds/tga/truncated.tga.tmp" "$OUT/seeds/tga/truncated.tga"
  { cat "$OUT/seeds/tga/t2-24.tga"; printf '\000\000\000\000\000\000\000\000TRUEVISION-XFILE.\000'; } > "$OUT/seeds/tga/footer.tga"
  for f in data/textures/*.tga; do
    [ -f "$f" ] && head -c 4096 "$f" > "$OUT/seeds/tga/own-$(basename "$f")"
  done
  if [ -f data/models/toyplane.obj ]; then
    head -c 8000 data/models/toyplane.obj > "$OUT/seeds/obj/own-head.obj"
    # The model's groups, materials and face forms with few vertices.
    { grep -m 40 '^v ' data/models/toyplane.obj; grep -m 40 '^vn ' data/models/toyplane.obj
      grep -E '^(mtllib|g|usemtl) ' data/models/toyplane.obj | head -6; echo 'f 1//1 2//2 3//3 4//4'; } \
      > "$OUT/seeds/obj/own-sample.obj"
  fi
  [ -f data/models/toyplane.mtl ] && cp data/models/toyplane.mtl "$OUT/seeds/mtl/own.mtl"
  return 0
}

maxlen() {
  case $1 in tga) echo 4096 ;; obj) echo 8192 ;; mtl) echo 4096 ;; esac
}

seeds
status=0
for r in $READERS; do
  build "$r"
  corpus="$OUT/corpus/$r"
  mkdir -p "$corpus"
  if [ "$MODE" = build ]; then continue; fi
  if [ "$MODE" = long ]; then
    limit="-runs=${COUNT:-10000000}"
    nice="nice -n 19"
  else
    limit="-max_total_time=${COUNT:-3}"
    nice=""
  fi
  dirs="$corpus $OUT/seeds/$r"
  [ -d "fuzz/seeds/$r" ] && dirs="$dirs fuzz/seeds/$r"
  log="$OUT/logs/$r-$MODE.log"
  echo "fuzz: $r $MODE ($limit), log $log"
  if VY_FUZZ_MTL=data/models/toyplane.mtl $nice "$OUT/bin/$r" $dirs \
      -dict="fuzz/$r.dict" -max_len=$(maxlen "$r") -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 \
      -artifact_prefix="$OUT/artifacts/$r-" -print_final_stats=1 $limit > "$log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^stat::average_exec_per_sec|^stat::peak_rss_mb' "$log" | sed "s/^/fuzz: $r /"
  elif grep -q "run interrupted" "$log"; then
    status=130
    grep -E '^stat::number_of_executed_units' "$log" | sed "s/^/fuzz: $r interrupted, /"
  else
    status=1
    echo "fuzz: $r FOUND A PROBLEM, see $log and $OUT/artifacts/"
    tail -40 "$log"
  fi
done
exit $status
