#!/bin/sh
# isolated.sh COMMAND [ARG...]
# Runs COMMAND in a fresh network namespace with only the loopback interface up. Tests bind and
# broadcast on port 2425; inside the namespace nothing can leave the machine.
set -eu
[ $# -ge 1 ] || { echo "usage: isolated.sh COMMAND [ARG...]" >&2; exit 2; }
if [ "$(id -u)" = 0 ]; then
  exec unshare --net sh -c 'ip link set lo up && exec "$@"' isolated "$@"
else
  exec unshare --net --map-root-user sh -c 'ip link set lo up && exec "$@"' isolated "$@"
fi
