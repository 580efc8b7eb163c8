#!/bin/sh
# take_screenshots.sh BUILD_DIR [OUTPUT_DIR]
# Writes the pictures of the dialogs (docs/main-*.png, docs/compose.png and docs/tray-menu.png),
# in a network namespace of their own and on a private X server.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
build=${1:?usage: take_screenshots.sh BUILD_DIR [OUTPUT_DIR]}
out=${2:-$root/docs}
mkdir -p "$out"
exec "$root/tests/isolated.sh" "$here/with_display.sh" "$build/bin/dialogs_screenshots" "$out"
