#!/bin/sh
# install-deps.sh [GROUP...]: installs the Debian packages that building, running and testing
# need, and those of the GROUPs named:
#   clang    clang and its sanitizer and libFuzzer runtimes (scripts/clang-build.sh, fuzz/run.sh)
#   lintian  lintian, which the package test then runs on the package (CI turns it on)
# Does nothing when they are all present, so it is cheap to call before every build.
set -eu
packages="cmake g++ make pkg-config iproute2 util-linux libgtest-dev libgmock-dev libbenchmark-dev
  libwxgtk3.2-dev wx-common xvfb xauth fonts-wqy-zenhei netcat-openbsd nlohmann-json3-dev
  libcli11-dev libinih-dev libayatana-appindicator3-dev libsqlite3-dev dpkg-dev man-db desktop-file-utils appstream"
for group in "$@"; do
  case $group in
    clang) packages="$packages clang libclang-rt-14-dev" ;;
    lintian) packages="$packages lintian" ;;
    *) echo "install-deps.sh: unknown group '$group' (clang, lintian)" >&2; exit 2 ;;
  esac
done
# shellcheck disable=SC2086
installed=$(dpkg-query -W -f='${Package} ${Status}\n' $packages 2>/dev/null |
  awk '$NF == "installed" && $(NF-1) == "ok" { print $1 }' || true)
missing=""
for package in $packages; do
  echo "$installed" | grep -qx "$package" || missing="$missing $package"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
SUDO=""
[ "$(id -u)" = 0 ] || SUDO="sudo"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
