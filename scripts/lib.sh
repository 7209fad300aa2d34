# Shared by the shell commands (bash): messages, paths, numbers and sizes,
# the files a command makes, a scratch directory that goes with the
# processes started in it, stopping them, a private Xvfb.
# Source it with `me` set to the command's name; the command keeps the pids
# of what it starts in `pid`, `ffmpeg_pid` and `xvfb_pid`, and may define
# `on_finish` for its own clean-up, run first on the way out.

# A failure: one line and status 1. Where the scratch directory or the
# output's (room_dir) can take no more, the line says so: on a full disk
# every step fails with a message of its own, or with none.
die() {
  local why=$* d full
  for d in ${work:+"$work"} ${room_dir:+"$room_dir"}; do
    case $why in *"nothing more can be written in "*) break ;; esac
    if [ -d "$d" ] && full=$(no_room "$d"); then why="$why ($full)"; fi
  done
  echo "$me: $why" >&2
  exit 1
}

# Input the command cannot use: one line and status 2, before anything runs.
refuse() {
  echo "$me: $*" >&2
  exit 2
}

# The command's usage: its header from the "# usage:" line to the header's
# end, on standard error, and status 2.
usage() {
  sed -n '/^# usage:/,/^[^#]/{/^[^#]/d;s/^# \{0,1\}//;p}' "$0" >&2
  exit 2
}

# The program's hand-over lines ("[dev] scene N starts in frame F") in its
# output files, as "N F" lines, in the files' order.
scene_starts() { # file...
  sed -n 's/^\[dev\] scene \([0-9]*\) starts in frame \([0-9]*\)$/\1 \2/p' "$@"
}

abspath() {
  case $1 in
    /*) printf '%s\n' "$1" ;;
    *) printf '%s/%s\n' "$PWD" "$1" ;;
  esac
}

# A whole number from min to max, read as decimal (a leading 0 makes no
# octal), into the variable var. Anything else is refused: bash arithmetic
# on it would fail, and a failed expansion only abandons the command it is
# in, not the script.
read_number() { # var what value min max
  case $3 in
    '' | *[!0-9]*) refuse "$2 must be a whole number from $4 to $5 (got '$3')" ;;
  esac
  local v=${3#"${3%%[!0]*}"}
  v=${v:-0}
  if [ "${#v}" -gt 9 ] || [ "$v" -lt "$4" ] || [ "$v" -gt "$5" ]; then
    refuse "$2 must be a whole number from $4 to $5 (got $3)"
  fi
  printf -v "$1" %d "$v"
}

# A window size X can make (at most 32767) and the program can draw (at
# least 2), in the variables named.
check_size() { # width-var height-var
  read_number "$1" "the width" "${!1}" 2 32767
  read_number "$2" "the height" "${!2}" 2 32767
}

# WIDTHxHEIGHT into the variables named.
read_size() { # width-var height-var text
  case $3 in
    *x*) ;;
    *) refuse "a size is WIDTHxHEIGHT (got '$3')" ;;
  esac
  printf -v "$1" %s "${3%%x*}"
  printf -v "$2" %s "${3#*x}"
  check_size "$1" "$2"
}

# What the command writes under a name of the user's is a file: a
# directory or a device there is refused before anything runs.
check_target() { # file
  if [ -e "$1" ] && ! [ -f "$1" ]; then refuse "$1 exists and is not a regular file"; fi
}

# Files made with mktemp are private (0600); a finished one gets the mode
# the umask gives any new file.
public_mode() { # file...
  chmod "$(printf '%o' $((0666 & ~$(umask))))" "$@"
}

# Room kept for the first lines of a message file, so that a message
# still lands where a full disk would swallow it. Write to it with >>.
reserve() { # file
  : >>"$1"
  fallocate -n -l 65536 "$1" 2>/dev/null || true
}

# Says, where it is so, that nothing more can be written in a directory.
no_room() { # dir
  local e
  if e=$( { head -c 65536 /dev/zero >"$1/.room"; } 2>&1); then
    rm -f "$1/.room"
    return 1
  fi
  rm -f "$1/.room"
  echo "nothing more can be written in $1: ${e##*: }"
}

# Runs a command (exec) that gets SIGTERM should this shell end without
# stopping it, killed outright say: nothing of a run outlives it.
tied() {
  if command -v setpriv >/dev/null; then exec setpriv --pdeathsig TERM -- "$@"; fi
  exec "$@"
}

# Whether a process still runs: a zombie has ended.
running() { # pid
  local s
  { read -r s <"/proc/$1/stat"; } 2>/dev/null || return 1
  s=${s##*) }
  [ "${s%% *}" != Z ]
}

# Waits up to tenths/10 seconds for a process to end. Not by `wait`: in a
# trap that interrupted a `wait` for the same process, bash may have lost
# its end and wait for good.
await() { # pid tenths
  local i
  for ((i = 0; i < $2; i++)); do
    running "$1" || return 0
    sleep 0.1
  done
  ! running "$1"
}

# Stops a process of ours: politely, then for good. An ffmpeg blocked
# opening a frame pipe ignores the polite signal; opening the pipe
# ourselves, and closing it, lets it go.
stop() { # pid [fifo...]
  [ -n "$1" ] || return 0
  local p=$1 f
  shift
  kill -TERM "$p" 2>/dev/null || true
  for f in "$@"; do
    if [ -p "$f" ]; then exec 9<>"$f" 9>&-; fi
  done
  await "$p" 30 && return 0
  # Still running, so not ended unseen: wait takes it.
  kill -KILL "$p" 2>/dev/null || true
  wait "$p" 2>/dev/null || true
}

# Removes a scratch directory and the files listed in it (`scrap`).
remove_work() { # dir
  [ ! -f "$1/.scrap" ] || while read -r f; do rm -f "$f"; done <"$1/.scrap"
  rm -rf "$1"
}

# Makes $work; on exit whatever is still running is stopped and $work goes.
# Killed outright, the shell runs no trap: its processes go by `tied`, and
# a watcher tied to it removes $work.
make_work() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/$me.XXXXXX") || die "cannot make a scratch directory in ${TMPDIR:-/tmp}"
  work=$(abspath "$work")
  pid=
  ffmpeg_pid=
  xvfb_pid=
  watcher=
  trap finish EXIT
  trap 'exit 130' INT TERM
  mkfifo "$work/.watch"
  (tied bash -c "$(declare -f remove_work)"'
    trap "remove_work \"\$0\"; exit 0" TERM
    trap "" INT
    exec 3<>"$0/.watch"
    while :; do read -r -t 3600 -u 3 || :; done' "$work") &
  watcher=$!
  # Not a job of this shell's: its end by SIGKILL must print no notice.
  disown "$watcher"
}

# A file outside $work that goes with it: a half-written output, say (once
# renamed into place, its temporary name is gone).
scrap() { # file
  printf '%s\n' "$1" >>"$work/.scrap"
}

finish() {
  local status=$?
  # Clean-up goes on past a failing step, and is not cut short.
  set +e
  trap '' INT TERM
  if declare -F on_finish >/dev/null; then on_finish; fi
  stop "$pid"
  stop "$ffmpeg_pid"
  stop "$xvfb_pid"
  # The watcher removes $work as it goes.
  if [ -n "$watcher" ]; then
    kill -TERM "$watcher" 2>/dev/null
    await "$watcher" 30
  fi
  remove_work "$work"
  exit "$status"
}

# An X server of our own, large enough for a width x height window, even
# where DISPLAY is set: freeglut skips the display callback of a window
# that is fully covered on a desktop, and a run would stall there.
start_xvfb() { # width height
  command -v Xvfb >/dev/null || die "Xvfb is not installed"
  local sw=$(($1 > 1280 ? $1 : 1280)) sh=$(($2 > 1024 ? $2 : 1024))
  rm -f "$work/display"
  (tied Xvfb -displayfd 3 -screen 0 "${sw}x${sh}x24" -nolisten tcp 3>"$work/display" >/dev/null 2>&1) &
  xvfb_pid=$!
  for _ in $(seq 200); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || die "Xvfb did not start"
    sleep 0.1
  done
  [ -s "$work/display" ] || die "Xvfb did not start within 20 s"
  DISPLAY=:$(head -n 1 "$work/display")
  export DISPLAY
}
