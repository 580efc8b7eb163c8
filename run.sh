#!/bin/sh
# Installs what is missing, builds, and starts the messenger: the dialogs when a display is
# present, the console front end otherwise.
set -eu
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh build
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/bin/veltra ]; then
  exec build/bin/veltra "$@"
fi
echo "No display found: starting the console front end (type 'quit' to leave)." >&2
exec build/bin/veltra-console "$@"
