#!/bin/sh
# sanitize.sh [asan|tsan|all]: builds and runs the test suite under AddressSanitizer with
# UndefinedBehaviorSanitizer and under ThreadSanitizer, in build-asan and build-tsan: every suite
# but the dialogs (no dialogs, no benchmarks; warnings are errors) and but the package test, which
# checks packaging rather than code and runs in the plain build. A suite fails when a test fails
# or when any test's output holds a sanitizer report (from a process whose exit status went
# unchecked); the report is printed with the name of its test.
set -eu
cd "$(dirname "$0")/.."
which=${1:-all}
scripts/install-deps.sh
status=0

# reports BUILD_DIR: prints "TEST: report line" for every sanitizer report in the last run's log.
reports() {
  awk '/^[0-9]+\/[0-9]+ Test: / { test = $3 }
       /ERROR: (Address|Leak|Thread|Memory)Sanitizer|WARNING: ThreadSanitizer|runtime error:/ {
         print test ": " $0 }' "$1/Testing/Temporary/LastTest.log"
}

# suite NAME BUILD_DIR: runs the tests of BUILD_DIR; fails on a failed test or a report.
suite() {
  name=$1 dir=$2
  if ! ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" -LE package; then
    echo "$name: tests failed (named above)" >&2
    status=1
  fi
  found=$(reports "$dir")
  if [ -n "$found" ]; then
    echo "$name: sanitizer reports:" >&2
    echo "$found" | head -n 40 >&2
    status=1
  fi
}

if [ "$which" = asan ] || [ "$which" = all ]; then
  scripts/build.sh build-asan -DVELTRA_ASAN=ON -DVELTRA_BENCH=OFF -DVELTRA_UI=OFF -DVELTRA_WERROR=ON
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  suite "ASan+UBSan" build-asan
fi
if [ "$which" = tsan ] || [ "$which" = all ]; then
  scripts/build.sh build-tsan -DVELTRA_TSAN=ON -DVELTRA_BENCH=OFF -DVELTRA_UI=OFF -DVELTRA_WERROR=ON
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
  suite "TSan" build-tsan
fi
exit $status
