#!/bin/bash
# How good a video of the show is: its size and bit rate, and per scene the
# luma SSIM of its frames against the program's own raw frames (-r, the
# music on, converted to YUV by ffmpeg with the BT.709 matrix in limited
# range, as a player shows them): the mean and the worst frame. The program
# renders the frames again as the video plays, so nothing large is stored.
#
# usage: scripts/video-quality.sh [-p PROGRAM] [-s FIRST:END] VIDEO
#   -p   the built program that made VIDEO (default build/vy01)
#   -s   only frames FIRST <= n < END of the show (END left out: to the
#        end of the video)
#   VIDEO  a whole show from make-video.sh, or a part of one (-s): a part
#        says which frames it holds. A 16:9 frame is measured on the
#        picture inside its bars.
set -eu

me=video-quality
. "$(dirname "$0")/lib.sh"

root=$(cd "$(dirname "$0")/.." && pwd)
program=$root/build/vy01
range=

if [ "${1:-}" = "--help" ]; then usage; fi
while getopts "p:s:" opt; do
  case $opt in
    p) program=$(abspath "$OPTARG") ;;
    s) range=$OPTARG ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ $# -eq 1 ] || usage
video=$(abspath "$1")
[ -f "$video" ] || refuse "no video at $video"
[ -x "$program" ] || die "no program at $program (build it first, or pass -p)"
command -v ffmpeg >/dev/null || die "ffmpeg is not installed"

timeline=$(cd "$root" && "$program" -T 2>/dev/null) || die "$program -T failed"
mapfile -t starts < <(scene_starts /dev/stdin <<<"$timeline" | awk '{ print $2 - 1 }')
[ "${#starts[@]}" = 12 ] || die "$program -T gave no timeline"

read -r vw vh frames < <(ffprobe -v error -select_streams v:0 -show_entries stream=width,height,nb_frames \
  -of csv=p=0 "$video" | tr , ' ') || true
[ -n "${frames:-}" ] || refuse "$video holds no video stream"
# A part of a show holds the frames its tag names.
vfirst=0
tag=$(ffprobe -v error -show_entries format_tags=comment -of default=nw=1:nk=1 "$video" 2>/dev/null || true)
if [[ $tag =~ ^make-video\ part:\ frames\ ([0-9]+): ]]; then vfirst=${BASH_REMATCH[1]}; fi
vend=$((vfirst + frames))

first=$vfirst end=$vend
if [ -n "$range" ]; then
  a=${range%%:*} b=
  case $range in *:*) b=${range#*:} ;; esac
  read_number first "-s FIRST" "$a" "$vfirst" $((vend - 1))
  [ -z "$b" ] || read_number end "-s END" "$b" $((first + 1)) "$vend"
fi

# The picture: inside a video site's 16:9 frame, the show's 1.25 at full height.
pw=$vw ph=$vh
if [ $((vw * 9)) = $((vh * 16)) ]; then pw=$((vh * 5 / 4)); fi

make_work
start_xvfb "$pw" "$ph"
fifo=$work/frames
mkfifo "$fifo"
(cd "$root" && tied "$program" -r "$fifo" -s "$first:$end" -w "$pw" -h "$ph") >"$work/program.log" 2>&1 &
pid=$!
ffmpeg -hide_banner -loglevel error -nostdin -i "$video" \
  -f rawvideo -pix_fmt rgb24 -video_size "${pw}x${ph}" -framerate 40 -i "$fifo" -lavfi "
    [0:v]trim=start_frame=$((first - vfirst)):end_frame=$((end - vfirst)),setpts=PTS-STARTPTS,
      crop=$pw:$ph:$(((vw - pw) / 2)):$(((vh - ph) / 2)),format=yuv420p[video];
    [1:v]scale=out_color_matrix=bt709:out_range=tv,format=yuv420p[drawn];
    [video][drawn]ssim=stats_file=$work/ssim.txt" -f null - 2>"$work/ffmpeg.log" ||
  die "ffmpeg failed: $(tail -n 1 "$work/ffmpeg.log")"
status=0
wait "$pid" || status=$?
pid=
[ "$status" = 0 ] || die "$(basename "$program") failed with status $status: $(grep -m 1 '^\[!' "$work/program.log" || tail -n 1 "$work/program.log")"
got=$(wc -l <"$work/ssim.txt")
[ "$got" = $((end - first)) ] || die "compared $got frames of $((end - first))"

bytes=$(stat -c %s "$video")
awk -v bytes="$bytes" -v frames="$frames" -v name="$1" -v size="${vw}x${vh}" -v first="$first" \
  -v starts="${starts[*]}" 'BEGIN {
    printf "%s: %.1f MB, %.2f Mbit/s, %d frames of %s at 40 fps\n", name, bytes / 1e6, bytes * 8 / (frames / 40) / 1e6, frames, size
    printf "%-8s %6s %12s %9s %7s\n", "stage", "frames", "SSIM Y mean", "worst", "frame"
    k = split(starts, f, " ")
  }
  {
    n = first + substr($1, 3) - 1; y = substr($2, 3) + 0
    s = 0
    for (j = 1; j <= k; j++) if (n >= f[j]) s = j
    sum[s] += y; count[s]++; all += y
    if (!(s in low) || y < low[s]) { low[s] = y; at[s] = n }
    if (NR == 1 || y < worst) { worst = y; worstAt = n }
  }
  END {
    for (s = 0; s <= k; s++) {
      if (!(s in count)) continue
      printf "%-8s %6d %12.5f %9.5f %7d\n", s ? "scene " s : "start", count[s], sum[s] / count[s], low[s], at[s]
    }
    printf "%-8s %6d %12.5f %9.5f %7d\n", "all", NR, all / NR, worst, worstAt
  }' "$work/ssim.txt"
