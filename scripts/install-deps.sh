#!/bin/sh
# Installs the Debian packages that building, running and testing need; does nothing when they
# are all present, so it is cheap to call before every build.
set -eu
packages="cmake g++ make pkg-config iproute2 util-linux libgtest-dev libgmock-dev libbenchmark-dev
  libwxgtk3.2-dev wx-common xvfb xauth fonts-wqy-zenhei netcat-openbsd"
missing=""
for package in $packages; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing="$missing $package"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
SUDO=""
[ "$(id -u)" = 0 ] || SUDO="sudo"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
