#!/bin/sh
# Installs the Debian packages the build, the assets, the tests and the
# video need, on Debian 12 or 13; skips the apt run when everything is
# already there.
set -eu
PACKAGES="build-essential cmake pkg-config git
  freeglut3-dev libglew-dev libgl-dev libglu1-mesa-dev libftgl-dev libfreetype-dev
  libx11-dev libxext-dev
  libpng-dev libcairo2-dev
  libmpg123-dev libopenal-dev libkissfft-dev
  lame sox ffmpeg parallel fonts-comfortaa
  xvfb xauth libgl1-mesa-dri mesa-utils
  libgtest-dev libbenchmark-dev clang"
# Names that differ between releases, as NAME|NAME: the first one apt
# offers is taken. The clang runtime carries libFuzzer and the sanitizers
# (one name per clang version in Debian 12, one for the default in 13).
CHOICES="libclang-rt-dev|libclang-rt-14-dev
  libsdl1.2-dev|libsdl1.2-compat-dev"

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"
}

# apt offers a package it can install: a real one with a candidate version.
offered() {
  apt-cache policy "$1" 2>/dev/null | grep -q '^  Candidate: [^(]'
}

missing=""
for p in $PACKAGES; do
  installed "$p" || missing="$missing $p"
done
unchosen=""
for names in $CHOICES; do
  have=""
  for p in $(echo "$names" | tr '|' ' '); do
    if installed "$p"; then have=$p; fi
  done
  [ -n "$have" ] || unchosen="$unchosen $names"
done
[ -n "$missing$unchosen" ] || exit 0

release=unknown
os_release=${OS_RELEASE:-/etc/os-release} # another file only for tests
if [ -r "$os_release" ]; then release=$(. "$os_release" && echo "${ID:-}:${VERSION_ID:-}"); fi
case $release in
  debian:12 | debian:13) ;;
  *)
    echo "install-deps.sh: this is not Debian 12 or 13 ($release): install the packages it lists by hand" >&2
    exit 1
    ;;
esac

export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
for names in $unchosen; do
  pick=""
  for p in $(echo "$names" | tr '|' ' '); do
    if [ -z "$pick" ] && offered "$p"; then pick=$p; fi
  done
  if [ -z "$pick" ]; then
    echo "install-deps.sh: apt offers none of $(echo "$names" | tr '|' ' ')" >&2
    exit 1
  fi
  missing="$missing $pick"
done
echo "installing:$missing"
# shellcheck disable=SC2086 # one word a package
apt-get install -y -qq --no-install-recommends $missing
