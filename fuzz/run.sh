#!/bin/sh
# fuzz/run.sh [SECONDS [NAME...]]: builds every fuzzer with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each (or the NAMEs given, e.g. attachment_list) for
# SECONDS (default 60) on a copy of its seed corpus fuzz/corpus/NAME. Prints executions and
# crashes per fuzzer; exits non-zero when one crashed. The input that crashed is kept as
# build-fuzz/crash-NAME-*, and its path, a hex dump and base64 are printed, so that a log alone
# is enough to replay it (add it to fuzz/corpus/NAME with the fix).
#
# Each fuzzer runs in a network namespace of its own and in a mount namespace in which the whole
# file system is read-only except a fresh tmpfs (its corpus and the scratch root of the fuzzers
# that write files, VELTRA_FUZZ_ROOT) and build-fuzz (for crash inputs): a fuzzer that receives
# files cannot write anywhere else, whatever an input makes it do.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
[ $# -gt 0 ] && shift
scripts/install-deps.sh clang
dir=$(pwd)/build-fuzz
if [ ! -f "$dir/CMakeCache.txt" ]; then
  CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRA_FUZZ=ON \
    -DVELTRA_ASAN=ON -DVELTRA_UI=OFF -DVELTRA_BENCH=OFF -DBUILD_TESTING=OFF >/dev/null
fi
cmake -S . -B "$dir" >/dev/null
nice cmake --build "$dir" -j2

if [ $# -gt 0 ]; then
  fuzzers=""
  for name in "$@"; do fuzzers="$fuzzers $dir/bin/fuzz_$name"; done
else
  fuzzers=$(ls "$dir"/bin/fuzz_*)
fi

status=0
for fuzzer in $fuzzers; do
  name=$(basename "$fuzzer" | sed 's/^fuzz_//')
  corpus=$(pwd)/fuzz/corpus/$name
  scratch=$(mktemp -d)
  log=$(mktemp)
  earlier=$(ls "$dir"/crash-"$name"-* 2>/dev/null || true)
  # shellcheck disable=SC2016
  if nice unshare --mount sh -c '
      set -e
      fuzzer=$1 corpus=$2 scratch=$3 dir=$4 seconds=$5 name=$6
      mount --make-rprivate /
      mount -t tmpfs -o size=1g tmpfs "$scratch"
      mkdir "$scratch/corpus" "$scratch/root"
      [ -d "$corpus" ] && cp -r "$corpus"/. "$scratch/corpus"/
      mount --bind "$dir" "$dir"
      mount -o remount,bind,ro /
      export VELTRA_FUZZ_ROOT="$scratch/root"
      export TMPDIR="$scratch"  # the only place left writable, for the runtime folder of isolated.sh
      exec tests/isolated.sh "$fuzzer" -max_total_time="$seconds" -max_len=20000 \
        -print_final_stats=1 -artifact_prefix="$dir/crash-$name-" "$scratch/corpus"' \
      run "$fuzzer" "$corpus" "$scratch" "$dir" "$seconds" "$name" >"$log" 2>&1; then
    crashes=0
  else
    crashes=1
    status=1
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  echo "$name: $runs executions ($rate/s) in ${seconds}s, $crashes crashes"
  [ "$crashes" = 0 ] || tail -n 40 "$log"
  for artifact in "$dir"/crash-"$name"-*; do
    [ -f "$artifact" ] || continue
    echo "$earlier" | grep -qxF "$artifact" && continue
    echo "$name: input kept as $artifact ($(wc -c <"$artifact") bytes):"
    od -A x -t x1z -v "$artifact" | head -n 64
    echo "$name: base64 of the input:"
    base64 -w 0 "$artifact"
    echo
  done
  rm -rf "$scratch" "$log"
done
exit $status
