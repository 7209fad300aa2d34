#!/bin/sh
# Installs the Debian 12 packages the build, the assets, the tests and the
# video need; skips the apt run when everything is already there.
set -e
PACKAGES="build-essential cmake pkg-config git
  freeglut3-dev libglew-dev libgl-dev libglu1-mesa-dev libftgl-dev libfreetype-dev
  libx11-dev libxext-dev
  libpng-dev libsdl1.2-dev libcairo2-dev
  libmpg123-dev libopenal-dev libkissfft-dev
  lame sox ffmpeg parallel fonts-comfortaa
  xvfb xauth libgl1-mesa-dri mesa-utils
  libgtest-dev libbenchmark-dev clang libclang-rt-14-dev"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends $missing
fi
