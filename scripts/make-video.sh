#!/bin/bash
# Renders the production to a video: runs the program on its capture clock
# (a fixed 25 ms step per frame, the music on the same clock) without
# waiting for the frame timer, and hands every frame as raw RGB straight to
# ffmpeg through a pipe; no PNG files. The show is cut into ranges of frames
# rendered by separate processes at once, each into an H.264 part; the parts
# are then joined in order with the music and one chapter per scene into an
# MP4 at 40 fps.
#
# usage: scripts/make-video.sh [-w WIDTH -h HEIGHT | -P SITE] [-q QUALITY] [-p PROGRAM] [-j N] [OUTPUT]
#        scripts/make-video.sh [-w WIDTH -h HEIGHT | -P SITE] [-q QUALITY] [-p PROGRAM] -s FIRST:END PART
#        scripts/make-video.sh -J [-i] OUTPUT PART...
#        scripts/make-video.sh -l N
#   -w, -h   size of the window (default 1024 x 768)
#   -P SITE  for a video site: 1080p, 1440p or 2160p; the picture at the
#            show's own aspect (1350x1080, 1800x1440, 2700x2160) centred
#            with black bars on a 16:9 frame (1920x1080, 2560x1440, 3840x2160)
#   -q       share (the default: small, the picture as drawn to the eye),
#            draft (fast, twice the size) or master (near-lossless, for a
#            site that encodes again; about three times the size)
#   -p       the built program (default build/vy01); this script builds nothing
#   -j N     render N ranges at once (default: one per core)
#   -s       render frames FIRST <= n < END only (END may be left out: to the
#            end) into the video file PART, with the program's lines in
#            PART.log, for joining later
#   -J       join PARTs (in any order: their logs say which frames they
#            hold) with the music and the chapters into OUTPUT; the parts
#            must come from one program at one size and hold the whole show
#   -i       with -J: the parts may end before the show does
#   -l N     print N ranges covering the show, one FIRST:END a line
#   OUTPUT   the video file (default video/vy-01.mp4)
# Always renders under a private Xvfb, also where DISPLAY is set: a window
# covered on a desktop gets no display callbacks, and the run would stall.
# The output appears only when it is whole; on any failure an earlier file
# of that name (and a PART's log) is left as it was.
set -eu


me=make-video
. "$(dirname "$0")/lib.sh"

root=$(cd "$(dirname "$0")/.." && pwd)
width=1024
height=768
quality=share
site=
program=$root/build/vy01
output=
fps=40
# The show's numbers come from the program (read_timeline).
audio_delay_ms=
expected_frames=
music=
jobs=
range=
join=
partial_join=
list=
# Which options were given: an empty value is a value, to be checked.
size_given=
jobs_given=
range_given=
list_given=

if [ "${1:-}" = "--help" ]; then usage; fi
while getopts "w:h:P:q:p:j:s:Jil:" opt; do
  case $opt in
    w) width=$OPTARG size_given=1 ;;
    h) height=$OPTARG size_given=1 ;;
    P) site=$OPTARG ;;
    q) quality=$OPTARG ;;
    p) program=$(abspath "$OPTARG") ;;
    j) jobs=$OPTARG jobs_given=1 ;;
    s) range=$OPTARG range_given=1 ;;
    J) join=1 ;;
    i) partial_join=1 ;;
    l) list=$OPTARG list_given=1 ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))

# The frame the video holds: the window's size made even (4:2:0 keeps one
# colour per 2x2 pixels), or a video site's 16:9 frame around it.
frame_width= frame_height=
case $site in
  '') ;;
  1080p) width=1350 height=1080 frame_width=1920 frame_height=1080 ;;
  1440p) width=1800 height=1440 frame_width=2560 frame_height=1440 ;;
  2160p) width=2700 height=2160 frame_width=3840 frame_height=2160 ;;
  *) refuse "-P $site: a video site's size is 1080p, 1440p or 2160p" ;;
esac
[ -z "$site" ] || [ -z "$size_given" ] || refuse "give -P or -w and -h, not both"
case $quality in
  draft | share | master) ;;
  *) refuse "-q $quality: the quality is draft, share or master" ;;
esac

# What a frame of each stage (the start screen, scenes 1 to 12) costs to
# render and encode, in ms at 1024x768 (the program's -t lines of a video's
# parts): the ranges are cut by cost, not by count, for all of them to end
# together.
stage_costs="9 46 31 18 20 39 24 28 42 56 32 21 19"

# N ranges of about equal cost covering the show. A range that starts
# where the blur carries history (scene 8 on) also pays for the frames it
# draws first for the blur to settle (200, fewer just after scene 8 starts).
ranges() { # n
  awk -v n="$1" -v total="$expected_frames" -v costs="$stage_costs" -v starts="${scene_first[*]}" 'BEGIN {
    split(costs, c, " "); k = split(starts, f, " ")
    for (i = 0; i < total; i++) {
      s = 0
      for (j = 1; j <= k; j++) if (i >= f[j]) s = j
      cost[i] = c[s + 1]; sum += cost[i]
    }
    first = 0
    for (r = 1; r < n; r++) {
      # What is left, shared by the ranges still to come.
      target = (sum - done) / (n - r + 1); acc = settle(first); e = first
      while (e < total - (n - r) && acc + cost[e] / 2 < target) { acc += cost[e]; done += cost[e]; e++ }
      printf "%d:%d\n", first, e
      first = e
    }
    printf "%d:\n", first
  }
  function settle(at,   from, a, i) {
    if (at <= f[8]) return 0
    from = at - 200; if (from < f[8] - 1) from = f[8] - 1
    for (i = from; i < at; i++) a += cost[i]
    return a
  }'
}

# "-s FIRST:END" (END may be left out) into range_first and range_end, and
# as the program is to be given it into range_arg.
read_range() { # text
  local a=$1 b=
  case $1 in *:*) a=${1%%:*} b=${1#*:} ;; esac
  read_number range_first "-s FIRST" "$a" 0 $((expected_frames - 1))
  range_end=$expected_frames
  range_arg=$range_first:
  if [ -n "$b" ]; then
    read_number range_end "-s END" "$b" 1 "$expected_frames"
    range_arg=$range_first:$range_end
  fi
  [ "$range_end" -gt "$range_first" ] || refuse "-s $1: END must come after FIRST"
}

# Everything still running goes with us (the half-written output too: `scrap`).
partial=
children=
fifo=
audio_pid=
on_finish() {
  local c
  # Each range stops its own processes first.
  for c in $children; do kill -TERM "$c" 2>/dev/null; done
  for c in $children; do await "$c" 100 || stop "$c"; done
  stop "$pid" "$fifo"
  stop "$ffmpeg_pid" "$fifo"
  stop "$audio_pid"
  pid= ffmpeg_pid= audio_pid=
}

begin_work() {
  make_work
  # A reader of our messages that went away must not cut the clean-up short.
  trap '' PIPE
}

# A temporary file beside the final one, renamed only once it is whole.
begin_output() { # final
  mkdir -p "$(dirname "$1")" || die "cannot make the directory of $1"
  room_dir=$(dirname "$1")
  partial=$(mktemp "$(dirname "$1")/.$(basename "$1").XXXXXX") || die "cannot write beside $1"
  scrap "$partial"
}

end_output() { # final
  public_mode "$partial"
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
  check_size width height
  if [ -z "$site" ]; then
    frame_width=$(((width + 1) / 2 * 2)) frame_height=$(((height + 1) / 2 * 2))
  fi
  [ -x "$program" ] || die "no program at $program (build it first, or pass -p)"
  command -v ffmpeg >/dev/null || die "ffmpeg is not installed"
  [ -f "$root/$music" ] || die "missing $root/$music"
}

# What a part says of itself, so that -J joins only parts of one video in
# their places: its frames, its picture and frame, rate and quality, the
# program that drew it.
part_kind() {
  local sum
  sum=$(sha256sum <"$program") || die "cannot read $program"
  local size=${width}x${height}
  [ "${frame_width}x${frame_height}" = "$size" ] || size="$size in ${frame_width}x${frame_height}"
  echo "$size at $fps fps, $quality, program ${sum:0:16}"
}

# x264 at each quality. All: BT.709 in limited range and tagged so (the
# program converts its frames so), and one thread: the ranges keep the
# cores busy, and x264's frame threads cost a fifth more CPU for the same
# bytes. share and master start from
# superfast, with the macroblock tree over 20 frames ahead and tuned for
# SSIM; chroma takes two steps of quantiser more (SSIM and the eye see
# luma first). Dense stretches (the lattice, the ribbon, the blurred
# sphere) get p8x8 and b8x8 partitions and a finer motion search.
dense_analysis="me=hex:subme=2:partitions=i4x4+i8x8+p8x8+b8x8"

# share's rate factor by stretch of the show, "SCENE OFFSET CRF [dense]"
# (scene 0 the start screen, OFFSET frames into it), chosen with
# scripts/video-quality.sh at 1024x768: every scene's luma SSIM at least
# 0.98 on average and 0.95 in every frame, 120 MB in all. The bits go
# where the thin lines are, none to the still titles.
share_stretches="0 0 21
1 0 23 dense
1 346 20 dense
1 526 17 dense
1 586 16.5 dense
1 706 17 dense
1 786 20 dense
2 0 23
3 0 23.5
3 670 21
4 0 19.3
5 0 23
6 0 23
8 0 22.5
9 0 16.2 dense
9 615 18.5 dense
10 0 20.5 dense
10 815 17 dense
10 915 22
11 0 23"

# x264's zones for frames range_first <= n < range_end of share's
# stretches, counted from the part's first frame.
share_zones() {
  local first
  while read -r scene offset crf dense; do
    first=$offset
    [ "$scene" = 0 ] || first=$((scene_first[scene - 1] + offset))
    echo "$first $crf ${dense:+,${dense_analysis//:/,}}"
  done <<<"$share_stretches" | awk -v first="$range_first" -v end="$range_end" '
    { f[NR] = $1; z[NR] = "crf=" $2 $3 } END {
      f[NR + 1] = end; out = ""
      for (i = 1; i <= NR; i++) {
        a = f[i] > first ? f[i] : first; b = (f[i + 1] < end ? f[i + 1] : end) - 1
        if (a <= b) out = out (out == "" ? "" : "/") (a - first) "," (b - first) "," z[i]
      }
      print out
    }'
}

encoder_args() {
  local common="-c:v libx264 -threads 1 -pix_fmt yuv420p -color_primaries bt709 -color_trc bt709 -colorspace bt709 -color_range tv"
  local tree="mbtree=1:rc-lookahead=20:chroma-qp-offset=2"
  case $quality in
    draft) echo "$common -preset ultrafast -crf 20" ;;
    share) echo "$common -profile:v high -preset superfast -tune ssim -crf 22 -x264-params $tree:zones=$(share_zones)" ;;
    master) echo "$common -profile:v high -preset superfast -tune ssim -crf 8 -x264-params $tree:$dense_analysis" ;;
  esac
}

# One range (range_first, range_end) into one H.264 part, the program's
# lines beside it. Both are made under temporary names: an earlier PART and
# its log stay as they were until the new ones are whole.
render_part() { # part
  local part=$1 log=$1.log arg=$range_arg part_started
  part_started=$(date +%s.%N)
  fifo=$work/frames
  mkfifo "$fifo"
  begin_output "$part"
  local partial_log=$partial.log
  scrap "$partial_log"
  : >"$partial_log"
  reserve "$work/ffmpeg.log"
  reserve "$work/err.log"
  local tag
  tag="make-video part: frames $range_first:$range_end, $(part_kind)"
  # The program hands over YUV 4:2:0 as the encoder takes it; a frame
  # larger than the picture gets black bars.
  local pad=()
  [ "${frame_width}x${frame_height}" = "${width}x${height}" ] ||
    pad=(-vf "pad=$frame_width:$frame_height:$(((frame_width - width) / 2)):$(((frame_height - height) / 2)):black")
  # shellcheck disable=SC2046 # the encoder's arguments are words
  tied ffmpeg -hide_banner -loglevel error -nostdin -y \
    -f rawvideo -pix_fmt yuv420p -video_size "${width}x${height}" -framerate "$fps" \
    -i "$fifo" -an "${pad[@]}" $(encoder_args) \
    -metadata comment="$tag" -f mp4 "$partial" 2>>"$work/ffmpeg.log" &
  ffmpeg_pid=$!
  (cd "$root" && tied "$program" -r "$fifo" -y -s "$arg" -t -w "$width" -h "$height") \
    >"$partial_log" 2>>"$work/err.log" &
  pid=$!

  local failed= status=0 fstatus=0 why
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
        why=$( (grep -h '^\[!' "$partial_log" "$work/err.log"; last_line "$work/err.log") | head -n 1)
        failed="$(basename "$program") failed with status $status: ${why:-no message}"
      fi
    else
      [ -z "$ffmpeg_pid" ] || wait "$ffmpeg_pid" || fstatus=$?
      ffmpeg_pid=
      [ "$fstatus" = 0 ] || failed="ffmpeg failed (status $fstatus): $(last_line "$work/ffmpeg.log")"
    fi
  fi
  if [ -z "$failed" ]; then
    local first end got
    read -r first end <<<"$(log_range "$partial_log")"
    got=$(ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames -of csv=p=0 "$partial" || true)
    if [ "$end" -le "$first" ]; then
      failed="$(basename "$program") wrote no frames"
    elif [ "$first:$end" != "$range_first:$range_end" ]; then
      failed="$(basename "$program") wrote frames $first:$end"
    elif [ "${got:-0}" != $((end - first)) ]; then
      failed="the part holds ${got:-no} frames, the program wrote $((end - first))"
    fi
  fi
  [ -z "$failed" ] || die "frames $range_first:$range_end: $failed"
  echo "$me: frames $range_first:$range_end in $(since "$part_started") s"
  public_mode "$partial_log"
  mv -f "$partial_log" "$log" || die "cannot rename the program's lines to $log"
  end_output "$part"
}

# Chapters from the program's own hand-over lines.
chapters() { # total-frames logs...
  local total=$1
  shift
  echo ";FFMETADATA1"
  scene_starts "$@" | sort -u | sort -n -k1 |
    awk -v total="$total" '
      { n = $1; f[n] = $2; if (n in seen) bad = 1; seen[n] = 1; last = n > last ? n : last }
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

# Joins parts given in any order: each one's log says which frames it holds,
# and the part itself which frames, size, rate and program it was made with.
# Parts that do not make one show from its start (to its end, unless -i)
# are refused before anything is written.
join_parts() { # output parts...
  local out=$1 list=$work/parts.txt next=0 first end i p tag with= with_size= with_level= with_sum=
  shift
  local logs=() names=("$@")
  : >"$work/parts.unsorted"
  for i in "${!names[@]}"; do
    p=${names[$i]}
    [ -f "$p" ] || refuse "no part at $p"
    [ -f "$p.log" ] || refuse "no program lines at $p.log"
    tag=$(ffprobe -v error -show_entries format_tags=comment -of default=nw=1:nk=1 "$p" 2>/dev/null || true)
    [[ $tag =~ ^make-video\ part:\ frames\ ([0-9]+):([0-9]+),\ ([0-9]+x[0-9]+(\ in\ [0-9]+x[0-9]+)?)\ at\ ([0-9]+)\ fps,\ ([a-z]+),\ program\ ([0-9a-f]+)$ ]] ||
      refuse "$p is not a part made by this script: it does not say which frames it holds"
    local tf=${BASH_REMATCH[1]} te=${BASH_REMATCH[2]} size=${BASH_REMATCH[3]} rate=${BASH_REMATCH[5]}
    local level=${BASH_REMATCH[6]} sum=${BASH_REMATCH[7]}
    [ "$rate" = "$fps" ] || refuse "$p is at $rate frames a second, a video here at $fps"
    if [ -z "$with" ]; then
      with=$p with_size=$size with_level=$level with_sum=$sum
    elif [ "$size" != "$with_size" ]; then
      refuse "$p is $size, $with $with_size: the parts of one video have one size"
    elif [ "$level" != "$with_level" ]; then
      refuse "$p is of quality $level, $with $with_level: the parts of one video have one quality"
    elif [ "$sum" != "$with_sum" ]; then
      refuse "$p and $with come from different programs (${sum} and ${with_sum}): the parts of one video come from one"
    fi
    read -r first end <<<"$(log_range "$p.log")"
    [ "$first:$end" = "$tf:$te" ] ||
      refuse "$p.log is not the log of $p: it reports frames $first:$end, the part holds $tf:$te"
    logs+=("$p.log")
    echo "$first $end $i" >>"$work/parts.unsorted"
  done
  sort -n -k1,1 "$work/parts.unsorted" >"$work/order.txt"
  : >"$list"
  while read -r first end i; do
    p=${names[$i]}
    [ "$first" = "$next" ] || refuse "$p starts at frame $first, the frames before it end at $next"
    next=$end
    printf "file '%s'\n" "$(abspath "$p" | sed "s/'/'\\\\''/g")" >>"$list"
  done <"$work/order.txt"
  if [ "$next" != "$expected_frames" ]; then
    [ -n "$partial_join" ] ||
      refuse "the parts end at frame $next, a whole show has $expected_frames (-i joins them all the same)"
    echo "$me: note: $next frames of the show's $expected_frames" >&2
  fi
  chapters "$next" "${logs[@]}" >"$work/chapters.txt" ||
    die "the parts disagree on where the scenes start"
  [ "$(grep -c '^\[CHAPTER\]' "$work/chapters.txt")" = 13 ] || [ -n "$partial_join" ] ||
    echo "$me: note: $(grep -c '^\[CHAPTER\]' "$work/chapters.txt") chapters, a whole show has 13" >&2

  [ -n "$partial" ] || begin_output "$out"
  reserve "$work/join.log"
  # The soundtrack, encoded while the ranges rendered where it was.
  local audio_in=(-i "$root/$music") audio_codec=(-af "adelay=${audio_delay_ms}|${audio_delay_ms}" -c:a aac -b:a 192k)
  if [ -n "$audio_pid" ]; then
    if wait "$audio_pid"; then audio_in=(-i "$work/audio.m4a") audio_codec=(-c:a copy); fi
    audio_pid=
  fi
  # The video decides the length: the audio is cut where the frames end.
  if ! ffmpeg -hide_banner -loglevel error -nostdin -y \
    -f concat -safe 0 -i "$list" "${audio_in[@]}" -f ffmetadata -i "$work/chapters.txt" \
    -map 0:v:0 -map 1:a:0 -map_chapters 2 -metadata comment= -c:v copy "${audio_codec[@]}" \
    -shortest -movflags +faststart -f mp4 "$partial" 2>>"$work/join.log"; then
    die "ffmpeg failed joining the parts: $(last_line "$work/join.log")"
  fi
  local got
  got=$(ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames -of csv=p=0 "$partial" || true)
  [ "${got:-0}" = "$next" ] || die "the joined video holds ${got:-no} frames of $next"
  end_output "$out"
}

size_mb() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.1f", b / 1e6 }'; }

since() { awk -v t0="$1" -v now="$(date +%s.%N)" 'BEGIN { printf "%.0f", now - t0 }'; }

list_mode() {
  [ $# -eq 0 ] || usage
  read_number list "-l" "$list" 1 64
  ranges "$list"
}

join_mode() {
  [ $# -ge 2 ] || usage
  command -v ffmpeg >/dev/null || die "ffmpeg is not installed"
  local out
  out=$(abspath "$1")
  shift
  check_target "$out"
  begin_work
  join_parts "$out" "$@"
  echo "$me: joined $# parts into $out"
}

range_mode() {
  [ $# -eq 1 ] || usage
  read_range "$range"
  check_program
  local part
  part=$(abspath "$1")
  check_target "$part"
  check_target "$part.log"
  begin_work
  start_xvfb "$width" "$height"
  render_part "$part"
}

# Where each range's program lines are while it renders, and once it is done.
part_logs() { # part
  local l
  for l in "$1.log" "$(dirname "$1")/.$(basename "$1")".*.log; do
    [ ! -f "$l" ] || echo "$l"
  done
}

progress() {
  local n=0 p l first end
  for p in "${parts[@]}"; do
    while read -r l; do
      read -r first end <<<"$(log_range "$l")"
      [ "$end" -le "$first" ] || n=$((n + end - first))
    done < <(part_logs "$p")
  done
  awk -v n="$n" -v total="$expected_frames" -v t0="$start" -v now="$(date +%s.%N)" 'BEGIN {
    t = now - t0; rate = t > 0 ? n / t : 0
    left = rate > 0 && total > n ? (total - n) / rate : 0
    printf "\r%s: frame %d / %d (%d%%), %.1f frames/s, %d s, about %d s left  ",
      "make-video", n, total, n * 100 / total, rate, t, left
  }'
}

show_mode() {
  [ $# -le 1 ] || usage
  output=$(abspath "${1:-$root/video/vy-01.mp4}")
  check_target "$output"
  local cores
  cores=$(nproc 2>/dev/null || echo 1)
  [ -n "$jobs_given" ] || jobs=$cores
  read_number jobs "-j" "$jobs" 1 64
  check_program
  begin_work
  # A place that cannot take the video is found before the render, not after.
  begin_output "$output"

  # llvmpipe rasterises on as many threads as there are cores; several
  # renderers at once share them out.
  local threads=${LP_NUM_THREADS:-$((cores / jobs))} r part
  mkdir "$work/parts"
  local framing=
  [ -z "$site" ] || framing=" in ${frame_width}x${frame_height}"
  echo "$me: rendering ${width}x${height}$framing ($quality) with $program to $output, $jobs at once, LP_NUM_THREADS=$threads"
  start=$(date +%s.%N)
  local size_args=(-w "$width" -h "$height")
  [ -z "$site" ] || size_args=(-P "$site")
  parts=()
  local pids=() spans=()
  for r in $(ranges "$jobs"); do
    part=$work/parts/$(printf %04d "${#parts[@]}").mp4
    reserve "$part.err"
    LP_NUM_THREADS=$threads tied bash "$0" "${size_args[@]}" -q "$quality" -p "$program" -s "$r" "$part" \
      2>>"$part.err" &
    parts+=("$part")
    pids+=("$!")
    spans+=("$r")
    children="$children $!"
  done

  # The soundtrack meanwhile, as the join would encode it (on failure the
  # join encodes it itself).
  tied ffmpeg -hide_banner -loglevel error -nostdin -y -i "$root/$music" \
    -af "adelay=${audio_delay_ms}|${audio_delay_ms}" -c:a aac -b:a 192k -f mp4 "$work/audio.m4a" \
    2>/dev/null &
  audio_pid=$!

  # The first range to fail ends them all (where several have, the first
  # to say so: what it met, a full disk say, may be gone by the next).
  local done_parts=() statuses=() i s err failed
  while [ "${#done_parts[@]}" -lt "${#parts[@]}" ]; do
    failed=
    for i in "${!pids[@]}"; do
      [ -z "${done_parts[$i]:-}" ] || continue
      kill -0 "${pids[$i]}" 2>/dev/null && continue
      done_parts[$i]=1
      s=0
      wait "${pids[$i]}" || s=$?
      [ "$s" != 0 ] || continue
      statuses[$i]=$s
      if [ -z "$failed" ] || [ "${parts[$i]}.err" -ot "${parts[$failed]}.err" ]; then failed=$i; fi
    done
    if [ -n "$failed" ]; then
      err=$(grep -h "^$me:" "${parts[$failed]}.err" 2>/dev/null | head -n 1 || true)
      [ -n "$err" ] || err="frames ${spans[$failed]}: rendering failed with status ${statuses[$failed]}: $(last_line "${parts[$failed]}.err")"
      err=${err%: }
      die "${err#$me: }"
    fi
    [ -t 2 ] && progress >&2
    sleep 1
  done
  [ -t 2 ] && { progress >&2; echo >&2; }
  children=
  echo "$me: ${#parts[@]} ranges rendered in $(since "$start") s; joining"
  join_parts "$output" "${parts[@]}"
  echo "$me: done in $(since "$start") s (the show lasts $((expected_frames / fps)) s): $output, $(size_mb "$output") MB"
}

# The show's numbers from the program itself (-T): the frames of a whole
# run (the frame in which the show ends is not saved), where the music
# starts in the video, and its file.
read_timeline() {
  [ -x "$program" ] || die "no program at $program (build it first, or pass -p)"
  local lines
  lines=$(cd "$root" && "$program" -T 2>/dev/null) || die "$program -T failed"
  expected_frames=$(sed -n 's/^\[dev\] timeline: \([0-9]*\) frames$/\1/p' <<<"$lines")
  audio_delay_ms=$(sed -n 's/^\[dev\] the music starts in frame [0-9]*, \([0-9]*\) ms into the video: .*/\1/p' <<<"$lines")
  music=$(sed -n 's/^\[dev\] the music starts in frame [0-9]*, [0-9]* ms into the video: \(.*\)$/\1/p' <<<"$lines")
  mapfile -t scene_first < <(sed -n 's/^\[dev\] scene [0-9]* starts in frame \([0-9]*\)$/\1/p' <<<"$lines")
  [ -n "$expected_frames" ] && [ -n "$audio_delay_ms" ] && [ -n "$music" ] && [ "${#scene_first[@]}" = 12 ] ||
    die "$program -T gave no timeline"
  # Numbered from 0 here, as -s counts.
  local i
  for i in "${!scene_first[@]}"; do scene_first[$i]=$((scene_first[i] - 1)); done
}
read_timeline

# One mode each run. (A failed expansion abandons only the command it is
# in: this one, so the script ends there.)
if [ -n "$list_given" ]; then
  list_mode "$@"
elif [ -n "$join" ]; then
  join_mode "$@"
elif [ -n "$range_given" ]; then
  range_mode "$@"
else
  show_mode "$@"
fi
