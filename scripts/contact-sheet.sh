#!/bin/bash
# Renders the production once in capture mode and tiles chosen frames into
# one PNG: the start screen and two or three stills of every scene, each
# labelled with its scene number, its time in the scene and in the show.
#
# usage: scripts/contact-sheet.sh [-w WIDTH] [-h HEIGHT] [-p PROGRAM] [-k DIR] [-S N] [OUTPUT]
#   -w, -h   size of the window (default 1024 x 768)
#   -S       scene N's stills only: the run goes ahead to it and captures it alone
#   -p       the built program (default build/vy01); this script builds nothing
#   -k       keep every captured frame and the program's output in DIR, which
#            must be new or empty (frames go into a new directory inside it
#            if something else lands in it meanwhile)
#   OUTPUT   the sheet (default video/contact-sheet.png), written under
#            exactly that name once it is whole
# Always runs under a private Xvfb.
set -eu


me=contact-sheet
. "$(dirname "$0")/lib.sh"

root=$(cd "$(dirname "$0")/.." && pwd)
width=1024
height=768
program=$root/build/vy01
keep=
scene_only=
output=$root/video/contact-sheet.png
tile_w=320     # each still is scaled to this width, its height kept in ratio
columns=6
font=/usr/share/fonts/truetype/comfortaa/Comfortaa-Bold.ttf

# Stills per scene, in seconds of the scene (from its first frame). Chosen
# where each scene shows what it is about.
stills=(
  "1 8 18" "2 5 12" "3 6 14" "4 1.5 3.5" "5 2 4.5" "6 0.7 1.6"
  "7 0.5 1.2" "8 12 28" "9 5 10 15" "10 7 22.5" "11 1 4.8" "12 1 6 15"
)

if [ "${1:-}" = "--help" ]; then usage; fi
while getopts "w:h:p:k:S:" opt; do
  case $opt in
    S) scene_only=$OPTARG ;;
    w) width=$OPTARG ;;
    h) height=$OPTARG ;;
    p) program=$(abspath "$OPTARG") ;;
    k) keep=$(abspath "$OPTARG") ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
if [ $# -gt 1 ]; then usage; fi
if [ $# -eq 1 ]; then output=$(abspath "$1"); fi

check_size width height
# Nothing the script did not make is ever deleted or written over, except an
# earlier sheet under the output's own name.
if [ -n "$keep" ] && { [ "$keep" = "$output" ] || { [ -e "$keep" ] && ! [ -d "$keep" ]; } ||
  { [ -d "$keep" ] && [ -n "$(ls -A "$keep")" ]; }; }; then
  refuse "-k $keep: not a new or empty directory, and nothing in it may be lost"
fi
check_target "$output"
[ -x "$program" ] || die "no program at $program (build it first, or pass -p)"
[ -d "$root/data" ] || die "no $root/data (build the program first)"
command -v ffmpeg >/dev/null || die "ffmpeg is not installed"
[ -f "$font" ] || font=$root/data/fonts/crounded.ttf

# The run happens in a scratch directory of its own, so that it neither
# needs nor disturbs a capture/ in the worktree.
make_work
# The sheet is written beside its name and renamed when whole, so a failed or
# interrupted run leaves no partial sheet; and no process of the run outlives it.

ln -s "$root/data" "$work/data"
mkdir "$work/capture" "$work/tiles"

start_xvfb "$width" "$height"

echo "contact-sheet: rendering ${width}x${height} with $program"
start=$(date +%s)
(cd "$work" && tied "$program" -c -t -w "$width" -h "$height" ${scene_only:+-S "$scene_only:$scene_only"}) \
  >"$work/out.log" 2>"$work/err.log" &
pid=$!
status=0
wait "$pid" || status=$?
pid=
if [ "$status" != 0 ]; then
  tail -n 5 "$work/out.log" "$work/err.log" >&2 || true
  die "$program failed with exit status $status"
fi
echo "contact-sheet: run took $(($(date +%s) - start)) s"

# Frame n (counted from 1) is the file n-1. A scene's first frame reads its
# clock as one 25 ms step, so t seconds into the scene is frame first-1+40t.
first_frame() {
  scene_starts "$work/out.log" | awk -v scene="$1" '$1 == scene { print $2 }'
}

n=0
add_tile() { # frame label
  local file
  file=$(printf '%s/capture/%010d.png' "$work" $(($1 - 1)))
  [ -f "$file" ] || die "frame $1 was not captured"
  ffmpeg -hide_banner -loglevel error -y -i "$file" -vf \
    "scale=${tile_w}:-2,pad=iw:ih+28:0:0:0x202020,drawtext=fontfile=${font}:text='$2':fontcolor=white:fontsize=17:x=8:y=h-23" \
    "$work/tiles/$(printf '%03d' $n).png"
  n=$((n + 1))
}
show_time() { awk -v f="$1" 'BEGIN { printf "%.1f", f * 0.025 }'; }

if [ -z "$scene_only" ]; then
  add_tile 20 "start screen - $(show_time 20) s"
  add_tile 60 "start screen fading - $(show_time 60) s"
fi
for row in "${stills[@]}"; do
  read -r -a times <<<"$row"
  scene=${times[0]}
  [ -z "$scene_only" ] || [ "$scene" = "$scene_only" ] || continue
  first=$(first_frame "$scene")
  [ -n "$first" ] || die "scene $scene never started"
  for t in "${times[@]:1}"; do
    frame=$(awk -v f="$first" -v t="$t" 'BEGIN { printf "%d", f - 1 + t * 40 + 0.5 }')
    add_tile "$frame" "scene $scene - ${t} s - show $(show_time "$frame") s"
  done
done

[ "$n" -ge "$columns" ] || columns=$n
rows=$(((n + columns - 1) / columns))
mkdir -p "$(dirname "$output")"
sheet_tmp=$(mktemp --suffix=.png "$(dirname "$output")/.contact-sheet.XXXXXX")
scrap "$sheet_tmp"
# -update 1: the name is a name, not a pattern, whatever "%" it holds.
ffmpeg -hide_banner -loglevel error -y -framerate 1 -i "$work/tiles/%03d.png" \
  -vf "tile=${columns}x${rows}:padding=4:margin=4:color=0x202020" -frames:v 1 -update 1 "$sheet_tmp" ||
  die "ffmpeg could not tile the stills into $output"
public_mode "$sheet_tmp"
mv -f "$sheet_tmp" "$output"
if [ -n "$keep" ]; then
  cp "$work/out.log" "$work/capture/"
  if ! [ -e "$keep" ]; then
    mkdir -p "$(dirname "$keep")"
    mv "$work/capture" "$keep"
  else
    # Empty at the start; if the sheet or anything else has landed in it
    # since, the frames go into a directory of their own inside it.
    [ -z "$(ls -A "$keep")" ] || keep=$(mktemp -d "$keep/frames.XXXXXX")
    find "$work/capture" -mindepth 1 -maxdepth 1 -exec mv -t "$keep" {} +
  fi
  echo "contact-sheet: frames kept in $keep"
fi
echo "contact-sheet: $n stills in $output"
