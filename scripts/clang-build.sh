#!/bin/sh
# clang-build.sh [BUILD_DIR [CMAKE_ARGS...]]: builds the programs (dialogs included, no tests, no
# benchmarks) with clang, warnings as errors, in BUILD_DIR (default build-clang). CI runs it so
# that the code stays warning-clean with both compilers; the tests run in the GCC build.
set -eu
cd "$(dirname "$0")/.."
dir=${1:-build-clang}
[ $# -gt 0 ] && shift
scripts/install-deps.sh clang
CXX=clang++ scripts/build.sh "$dir" -DVELTRA_WERROR=ON -DBUILD_TESTING=OFF -DVELTRA_BENCH=OFF "$@"
