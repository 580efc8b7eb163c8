#!/bin/sh
# Installs the Debian packages that bench/run.sh needs besides those of install-deps.sh: the plain
# tools the transfers are compared with (netcat, tar, rsync), GNU time for their CPU and memory,
# bc, e2fsprogs for the fresh ext4 made per run, perl for the timestamps of the console's lines.
# Does nothing when they are all present.
set -eu
packages="rsync time bc e2fsprogs netcat-openbsd tar perl procps iproute2 util-linux"
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
