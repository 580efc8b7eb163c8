#!/bin/sh
# sanitize.sh [asan|tsan|all]: builds and runs the test suite under AddressSanitizer with
# UndefinedBehaviorSanitizer (every test) and under ThreadSanitizer (every suite but the dialogs).
set -eu
cd "$(dirname "$0")/.."
which=${1:-all}
scripts/install-deps.sh
status=0
if [ "$which" = asan ] || [ "$which" = all ]; then
  scripts/build.sh build-asan -DVELTRA_ASAN=ON -DVELTRA_BENCH=OFF -DVELTRA_UI=OFF -DVELTRA_WERROR=ON
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j"$(nproc)" || status=1
fi
if [ "$which" = tsan ] || [ "$which" = all ]; then
  scripts/build.sh build-tsan -DVELTRA_TSAN=ON -DVELTRA_BENCH=OFF -DVELTRA_UI=OFF -DVELTRA_WERROR=ON
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir build-tsan --output-on-failure -j"$(nproc)" || status=1
fi
exit $status
