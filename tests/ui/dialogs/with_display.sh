#!/bin/sh
# with_display.sh COMMAND [ARG...]
# Runs COMMAND with an X server of its own (Xvfb), so that dialog tests run without a desktop and
# never touch the user's. Meant to run inside the test's network namespace (tests/isolated.sh).
set -eu
[ $# -ge 1 ] || { echo "usage: with_display.sh COMMAND [ARG...]" >&2; exit 2; }
# The namespace has no session bus: keep GTK from looking for the accessibility bus on it, and
# the dialogs from putting an icon in the tray of a desktop whose bus the environment names, or
# whose bus socket waits in the runtime folder (an empty one of the test's own: the running
# instance's control socket goes there).
export NO_AT_BRIDGE=1
unset DBUS_SESSION_BUS_ADDRESS
XDG_RUNTIME_DIR=$(mktemp -d "${TMPDIR:-/tmp}/veltra-display.XXXXXX")
export XDG_RUNTIME_DIR
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
trap 'exit 143' TERM INT HUP
export GDK_BACKEND=x11
unset WAYLAND_DISPLAY
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$@"
