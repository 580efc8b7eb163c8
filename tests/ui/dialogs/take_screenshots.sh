#!/bin/sh
# take_screenshots.sh BUILD_DIR [OUTPUT_DIR]
# Writes the pictures of the dialogs (docs/main-*.png, docs/compose.png, docs/compose-files.png,
# docs/settings.png, docs/history.png and docs/tray-menu.png),
# in a network namespace of their own (with the host name the pictures show for the user's own
# row) and on a private X server.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
build=${1:?usage: take_screenshots.sh BUILD_DIR [OUTPUT_DIR]}
out=${2:-$root/docs}
mkdir -p "$out"
# shellcheck disable=SC2016 # expanded by the inner shell
exec "$root/tests/isolated.sh" unshare --uts sh -c 'hostname wangwei-pc && exec "$@"' pictures \
    "$here/with_display.sh" "$build/bin/dialogs_screenshots" "$out"
