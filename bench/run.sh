#!/bin/sh
# bench/run.sh [BUILD_DIR [WORK_DIR]]: builds the benchmarks in Release and runs them all, each
# socket benchmark in a network namespace of its own (tests/isolated.sh). Needs root (namespaces,
# loop mounts) and about 7 GiB free below WORK_DIR; scripts/install-bench-deps.sh installs the
# tools it uses (netcat, GNU time, bc, rsync, ...).
#   packet_bench      packet building and parsing
#   transfer_compare  a 1 GiB file, and 10,000 files of 4 KiB in 100 folders, against nc / tar
#   stream_receive_bench  the receiving side alone: the same 10,000 files from a stream in memory
#   console_compare   two veltra-console processes on a private bridge against tar | nc and an
#                     rsync daemon: 10,000 x 4 KiB, 100,000 x 100 B, 1 GiB, 3 x 100 MiB with
#                     5,000 small files, 100 separate files of 4 KiB offered as 100 entries
#   presence_bench    2,000 peers announcing within a second
#   offer_flood_bench 2,000 offers while one batch is held up
#   log_bench         appending 10,000 to 100,000 progress entries
#   wx_log_bench      (WX=1 only) the same entries in the dialogs' log control, under Xvfb
# ROUNDS (default 3) sets the rounds per transfer comparison. CONSOLES=quick runs console_compare
# with small sizes, CONSOLES=off leaves it out.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build-bench}
work=${2:-/tmp/veltra-bench}
rounds=${ROUNDS:-3}
isolated=tests/isolated.sh
consoles=${CONSOLES:-full}
case $consoles in
  full | quick | off) ;;
  *) echo "CONSOLES must be full, quick or off" >&2; exit 2 ;;
esac
scripts/install-bench-deps.sh || echo "could not install the benchmarks' tools; going on without" >&2

wx=${WX:-}
targets="packet_bench transfer_bench stream_receive_bench presence_bench offer_flood_bench log_bench veltra-console"
if [ -n "$wx" ]; then ui=ON; targets="$targets wx_log_bench"; else ui=OFF; fi
nice cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DVELTRA_UI=$ui >/dev/null
# shellcheck disable=SC2086
nice cmake --build "$build" -j2 --target $targets
bin=$build/bin

echo "== packet_bench"
nice "$bin/packet_bench" --benchmark_min_time=0.2

echo "== one 1 GiB file (received into $work on its own disk)"
nice "$isolated" bench/transfer_compare.sh "$bin/transfer_bench" "$work" file "$rounds"

echo "== 10,000 files of 4 KiB in 100 folders (each run receives into a fresh ext4)"
VELTRA_BENCH_FS=ext4 nice "$isolated" bench/transfer_compare.sh "$bin/transfer_bench" "$work" tree "$rounds"

echo "== the same tree, each run receiving into a fresh tmpfs"
VELTRA_BENCH_FS=tmpfs nice "$isolated" bench/transfer_compare.sh "$bin/transfer_bench" "$work" tree "$rounds"

echo "== the receiving side alone: 10,000 files of 4 KiB in 100 folders from a stream in memory (fresh tmpfs)"
# shellcheck disable=SC2016 # expanded by the inner shell
nice "$isolated" unshare --mount sh -c 'mkdir -p "$1" && mount -t tmpfs tmpfs "$1" && "$2" 100 100 4096 "$1"' \
  - "$work/alone" "$bin/stream_receive_bench"

if [ "$consoles" != off ]; then
  echo "== two consoles on a private bridge against tar | nc and an rsync daemon (fresh tmpfs and ext4 per run)"
  quick=""
  [ "$consoles" = full ] || quick=--quick
  nice "$isolated" bench/console_compare.sh --rounds "$rounds" $quick "$bin" "$work/consoles"
fi

echo "== presence: peers announcing within one second"
nice "$isolated" "$bin/presence_bench" 500 1000 2000

echo "== 2,000 offers while one batch is held up, from one address and from 2,000"
nice "$isolated" "$bin/offer_flood_bench" 2000 1
nice "$isolated" "$bin/offer_flood_bench" 2000 2000

echo "== log growth"
nice "$bin/log_bench"

if [ -n "$wx" ]; then
  echo "== log growth in the dialogs' log control"
  nice "$isolated" tests/ui/dialogs/with_display.sh "$bin/wx_log_bench" 120
fi

rm -rf "$work"
