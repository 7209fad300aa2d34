#!/bin/bash
# Runs a command as root in a fresh minimal Debian root, in a clean clone of
# this repository's HEAD, as a new user on that release would, and removes
# the root afterwards.
#
# usage: scripts/fresh-root.sh [-k DIR] RELEASE 'COMMAND'
#   RELEASE  a Debian suite or code name: bookworm, trixie, stable, ...
#   COMMAND  run by sh in the clone, /root/vy01 inside the root
#   -k DIR   make the root in DIR and keep it (DIR must not exist yet)
# The packages debootstrap fetches are kept in /var/cache/fresh-root, so a
# second root of the same release downloads only what changed. The
# command's status is the script's; its time is printed at the end.
set -eu -o pipefail
me=fresh-root.sh
. "$(dirname "$0")/lib.sh"

keep=
while getopts k: opt; do
  case $opt in
    k) keep=$OPTARG ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ $# -eq 2 ] || usage
release=$1 command=$2
case $release in
  '' | *[!a-z0-9-]*) refuse "$release is not a release name" ;;
esac
[ "$(id -u)" -eq 0 ] || refuse "must run as root (debootstrap, mount, chroot)"
command -v debootstrap >/dev/null || refuse "debootstrap is not installed (apt-get install debootstrap)"
repo=$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel)

# The mirror the host's apt uses, so the root reaches what the host reaches.
mirror=$(sed -n 's/^URIs: *\([^ ]*\).*/\1/p; s/^deb \(\[[^]]*\] \)\{0,1\}\([^ ]*\) .*/\2/p' \
  /etc/apt/sources.list.d/*.sources /etc/apt/sources.list 2>/dev/null | grep -v security | head -n 1 || true)

if [ -n "$keep" ]; then
  [ ! -e "$keep" ] || refuse "$keep exists already"
  mkdir -p "$keep"
  root=$(cd "$keep" && pwd)
else
  root=$(mktemp -d "${TMPDIR:-/var/tmp}/fresh-root.XXXXXX")
fi
mounted=()

# Whatever still runs inside goes first (an Xvfb left by a failed test, say),
# then the mounts, innermost first; only then the files, never across a
# mount that is still there.
cleanup() {
  local status=$?
  trap - EXIT INT TERM
  local p
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && kill -9 "${p#/proc/}" 2>/dev/null
  done
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" 2>/dev/null || true
  done
  if [ -z "$keep" ]; then
    if grep -q " $root/" /proc/mounts; then
      echo "$me: $root still has mounts; left in place" >&2
    else
      rm -rf --one-file-system "$root"
    fi
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

bind() { # what where [fstype]
  mkdir -p "$root$2"
  if [ $# -eq 3 ]; then mount -t "$3" "$1" "$root$2"; else mount --bind "$1" "$root$2"; fi
  mounted+=("$root$2")
}

cache=/var/cache/fresh-root/$release
mkdir -p "$cache"
echo "$me: debootstrap $release into $root"
debootstrap --variant=minbase --cache-dir="$cache" "$release" "$root" ${mirror:+"$mirror"} \
  >"$root.debootstrap.log" 2>&1 || {
  tail -n 20 "$root.debootstrap.log" >&2
  rm -f "$root.debootstrap.log"
  echo "$me: debootstrap $release failed" >&2
  exit 1
}
rm -f "$root.debootstrap.log"

# The host's apt access settings (proxies, snapshot mirrors whose Release
# files have expired) apply inside too.
for f in /etc/apt/apt.conf.d/*; do
  grep -q '^Acquire::' "$f" 2>/dev/null && cp "$f" "$root/etc/apt/apt.conf.d/"
done
cp /etc/resolv.conf "$root/etc/resolv.conf"

bind proc /proc proc
bind sysfs /sys sysfs
bind /dev /dev
bind /dev/pts /dev/pts
git clone --quiet "$repo" "$root/root/vy01"

echo "$me: $release: $command"
start=$(date +%s)
status=0
# In the background and waited for, so Ctrl-C or kill reaches the clean-up
# at once, not only when the command is done.
chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  sh -c 'cd /root/vy01 && eval "$1"' sh "$command" </dev/null &
wait $! || status=$?
echo "$me: $release: status $status after $(($(date +%s) - start)) s"
[ -z "$keep" ] || echo "$me: the root is kept in $root"
exit "$status"
