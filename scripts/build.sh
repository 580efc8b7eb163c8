#!/bin/sh
# build.sh [BUILD_DIR [CMAKE_ARGS...]]: configures once, then builds incrementally.
set -eu
cd "$(dirname "$0")/.."
dir=${1:-build}
[ $# -gt 0 ] && shift
if [ ! -f "$dir/CMakeCache.txt" ] || [ $# -gt 0 ]; then
  cmake -S . -B "$dir" "$@" >/dev/null
fi
cmake --build "$dir" -j"$(nproc)"
