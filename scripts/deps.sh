#!/bin/sh
# Installs the Debian 12 packages Tessel needs to build, test and run.
# Does nothing when they are all present already.
set -eu
PACKAGES="cmake ninja-build g++ clang-14 clang-format libclang-rt-14-dev ccache pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-svg-dev libglib2.0-dev shared-mime-info
  libssl-dev openssl python3 dumpasn1 libxml2-utils expat hyperfine
  xvfb xauth x11-apps x11-utils python3-xlib desktop-file-utils appstream dpkg-dev file gzip"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
