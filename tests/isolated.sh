#!/bin/sh
# isolated.sh COMMAND [ARG...]
# Runs COMMAND in a fresh network namespace with only the loopback interface up. Tests bind and
# broadcast on port 2425; inside the namespace nothing can leave the machine.
set -eu
[ $# -ge 1 ] || { echo "usage: isolated.sh COMMAND [ARG...]" >&2; exit 2; }
# A runtime folder of its own as well: the running instance's control socket lives there, and
# tests running side by side must not find each other's.
runtime=$(mktemp -d "${TMPDIR:-/tmp}/veltra-runtime.XXXXXX")
trap 'rm -rf "$runtime"' EXIT
trap 'exit 143' TERM INT HUP
export XDG_RUNTIME_DIR="$runtime"
if [ "$(id -u)" = 0 ]; then
  unshare --net sh -c 'ip link set lo up && exec "$@"' isolated "$@"
else
  unshare --net --map-root-user sh -c 'ip link set lo up && exec "$@"' isolated "$@"
fi
