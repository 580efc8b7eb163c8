#!/bin/sh
# with_display.sh COMMAND [ARG...]
# Runs COMMAND with an X server of its own (Xvfb), so that dialog tests run without a desktop and
# never touch the user's. Meant to run inside the test's network namespace (tests/isolated.sh).
set -eu
[ $# -ge 1 ] || { echo "usage: with_display.sh COMMAND [ARG...]" >&2; exit 2; }
# The namespace has no session bus: keep GTK from looking for the accessibility bus on it, and
# the dialogs from putting an icon in the tray of a desktop whose bus the environment names, or
# whose bus socket waits in the runtime folder.
export NO_AT_BRIDGE=1
unset DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR
export GDK_BACKEND=x11
unset WAYLAND_DISPLAY
exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$@"
