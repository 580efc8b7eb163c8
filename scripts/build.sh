#!/bin/sh
# build.sh [BUILD_DIR [CMAKE_ARGS...]]: configures once, then builds incrementally. The folder is
# configured again only when a -DNAME=VALUE given is not yet in its cache (or another kind of
# argument is given).
set -eu
cd "$(dirname "$0")/.."
dir=${1:-build}
[ $# -gt 0 ] && shift

needs_configure() {
  [ -f "$dir/CMakeCache.txt" ] || return 0
  for arg in "$@"; do
    case $arg in
      -D*=*)
        setting=${arg#-D}
        value=${setting#*=}
        name=${setting%%=*}
        name=${name%%:*}
        grep -qxF -e "$name:BOOL=$value" -e "$name:STRING=$value" -e "$name:PATH=$value" \
          -e "$name:FILEPATH=$value" -e "$name:UNINITIALIZED=$value" "$dir/CMakeCache.txt" ||
          return 0
        ;;
      *) return 0 ;;
    esac
  done
  return 1
}

if needs_configure "$@"; then
  cmake -S . -B "$dir" "$@" >/dev/null
fi
cmake --build "$dir" -j"$(nproc)"
