# Shared by the shell commands: messages, paths, the size check, a scratch
# directory that goes with the processes started in it, a private Xvfb.
# Source it with `me` set to the command's name; the command keeps the pids
# of what it starts in `pid`, `ffmpeg_pid` and `xvfb_pid`.

die() {
  echo "$me: $*" >&2
  exit 1
}

abspath() {
  case $1 in
    /*) printf '%s\n' "$1" ;;
    *) printf '%s/%s\n' "$PWD" "$1" ;;
  esac
}

check_size() { # width height
  case $1$2 in
    *[!0-9]*) die "width and height must be numbers (got $1 x $2)" ;;
  esac
  if [ "$1" -le 0 ] || [ "$2" -le 0 ]; then
    die "width and height must be above 0"
  fi
}

# Makes $work; on exit whatever is still running is stopped and $work goes.
make_work() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/$me.XXXXXX")
  pid=
  ffmpeg_pid=
  xvfb_pid=
  trap finish EXIT
  trap 'exit 130' INT TERM
}

finish() {
  status=$?
  for p in $pid $ffmpeg_pid $xvfb_pid; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
  exit "$status"
}

# An X server of our own, large enough for a width x height window, even
# where DISPLAY is set: freeglut skips the display callback of a window
# that is fully covered on a desktop, and a run would stall there.
start_xvfb() { # width height
  command -v Xvfb >/dev/null || die "Xvfb is not installed"
  local sw=$(($1 > 1280 ? $1 : 1280)) sh=$(($2 > 1024 ? $2 : 1024))
  Xvfb -displayfd 3 -screen 0 "${sw}x${sh}x24" -nolisten tcp 3>"$work/display" \
    >/dev/null 2>&1 &
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
