#!/bin/bash
# Packs the built program into an archive that runs where it is unpacked:
# vy01-VERSION-linux-x86_64.tar.gz, one folder holding the program, its
# data/, a README for viewers, the licences and the play and video scripts.
# The version is the build's, from CMake's project(VERSION).
#
# usage: scripts/release.sh [-o DIR] [BUILD]
#   BUILD    the build directory (default build), with the program and the
#            assets made; this script builds nothing
#   -o DIR   write the archive into DIR (default BUILD)
# The archive appears only when it is whole.
set -eu -o pipefail


me=release
. "$(dirname "$0")/lib.sh"

root=$(cd "$(dirname "$0")/.." && pwd)
outdir=
if [ "${1:-}" = "--help" ]; then usage; fi
while getopts "o:" opt; do
  case $opt in
    o) outdir=$(abspath "$OPTARG") ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ $# -le 1 ] || usage
build=$(abspath "${1:-$root/build}")
outdir=${outdir:-$build}

# What the program reads (besides the font's licence, which goes with it).
assets="data/textures/loader.tga data/textures/antenna.tga data/textures/commodore.tga
  data/textures/scroller.tga data/textures/greet.tga
  data/models/toyplane.obj data/models/toyplane.mtl
  data/fonts/crounded.ttf data/fonts/OFL.txt
  data/shader/glsl/bloom.glsl data/shader/glsl/gibson_frag.glsl
  data/tune/vy-03.mp3"

[ -f "$build/CMakeCache.txt" ] || die "no build in $build (cmake -S . -B build && cmake --build build)"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
case $version in
  [0-9]*) ;;
  *) die "no project version in $build/CMakeCache.txt" ;;
esac
[ -x "$build/vy01" ] || die "no program at $build/vy01 (build it first)"
for f in $assets; do
  [ -s "$root/$f" ] || die "missing $root/$f (build the assets first)"
done

name=vy01-$version-linux-x86_64
# A scratch tree and a half-written archive go with us, however we end.
work=$(mktemp -d "${TMPDIR:-/tmp}/$me.XXXXXX") || die "cannot make a scratch directory"
partial=
trap 'rm -rf "$work"; [ -z "$partial" ] || rm -f "$partial"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
dir=$work/$name
mkdir -p "$dir/scripts" "$dir/licenses"
strip -o "$dir/vy01" "$build/vy01" 2>/dev/null || cp "$build/vy01" "$dir/vy01"
for f in $assets; do
  mkdir -p "$dir/$(dirname "$f")"
  cp "$root/$f" "$dir/$f"
done
sed "s/@VERSION@/$version/g" "$root/docs/release-readme.md" >"$dir/README.md"
cp "$root/LICENSE" "$dir/"
cp "$root/licenses/"* "$dir/licenses/"

# The scripts look for the program where a build puts it; in the archive it
# is at the top of the folder.
cp "$root/scripts/lib.sh" "$dir/scripts/"
for s in play.sh make-video.sh; do
  grep -q 'build/vy01' "$root/scripts/$s" || die "scripts/$s does not name build/vy01: cannot point it at ./vy01"
  sed 's|build/vy01|vy01|g' "$root/scripts/$s" >"$dir/scripts/$s"
done
chmod 755 "$dir/vy01" "$dir/scripts/"*.sh

# The same tree gives the same archive: names sorted, no owners, the
# commit's time on every file.
stamp=$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)
mkdir -p "$outdir" || die "cannot make $outdir"
archive=$outdir/$name.tar.gz
partial=$(mktemp "$outdir/.$name.tar.gz.XXXXXX") || die "cannot write into $outdir"
tar -C "$work" --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$stamp" \
  --mode=u+rwX,go+rX,go-w -cf - "$name" | gzip -n >"$partial" || die "cannot write $archive"
chmod 644 "$partial"
mv -f "$partial" "$archive" || die "cannot rename the finished archive to $archive"
partial=
echo "$me: $archive ($(du -k "$archive" | cut -f1) kB)"
