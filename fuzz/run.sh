#!/bin/sh
# fuzz/run.sh [SECONDS]: builds every fuzzer with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 60) on its seed corpus, in a
# network namespace of its own. Prints executions and crashes per fuzzer.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/install-deps.sh
dpkg-query -W -f='${Status}' clang libclang-rt-14-dev 2>/dev/null | grep -c "install ok installed" |
  grep -q 2 || { apt-get update -qq && apt-get install -y -qq clang libclang-rt-14-dev; }
dir=build-fuzz
if [ ! -f "$dir/CMakeCache.txt" ]; then
  CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRA_FUZZ=ON \
    -DVELTRA_ASAN=ON -DVELTRA_UI=OFF -DVELTRA_BENCH=OFF -DBUILD_TESTING=OFF >/dev/null
fi
cmake --build "$dir" -j"$(nproc)"
status=0
for fuzzer in "$dir"/bin/fuzz_*; do
  name=$(basename "$fuzzer" | sed 's/^fuzz_//')
  corpus=fuzz/corpus/$name
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  log=$(mktemp)
  if tests/isolated.sh "$fuzzer" -max_total_time="$seconds" -max_len=20000 -print_final_stats=1 \
      -artifact_prefix="$dir/crash-$name-" "$work" >"$log" 2>&1; then crashes=0; else crashes=1; status=1; fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  echo "$name: $runs executions, $crashes crashes"
  [ "$crashes" = 0 ] || tail -n 30 "$log"
  rm -rf "$work" "$log"
done
exit $status
