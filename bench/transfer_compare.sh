#!/bin/sh
# transfer_compare.sh BENCH WORK file|tree [ROUNDS]
# Run inside a network namespace of its own (bench/run.sh wraps it in tests/isolated.sh).
# VELTRA_BENCH_FS=ext4|tmpfs gives every run (either contender, every round) a freshly made file
# system to receive into, in a mount namespace of the script's own; unset, runs receive into
# folders below WORK.
# Fetches the same data ROUNDS times (default 3) through the messenger (BENCH = transfer_bench)
# and through netcat, alternating, and prints every round and the medians with the ratio.
#   file: one 1 GiB file, against  nc -l > out  /  nc -N < file
#   tree: 100 folders of 100 files of 4 KiB, against  nc -l | tar xf -  /  tar cf - | nc -N
# Each side of each run starts from a clean disk cache state (sync) with the source warm; the
# timed span starts when the offer arrives (ours) or when the sender starts (netcat) and ends
# when the last byte is in the receiving file system and the receiver has finished.
set -eu
fs=${VELTRA_BENCH_FS:-}
if [ -n "$fs" ] && [ -z "${VELTRA_BENCH_MOUNTNS:-}" ]; then
  VELTRA_BENCH_MOUNTNS=1 exec unshare --mount "$0" "$@"
fi
bench=$1
work=$2
kind=$3
rounds=${4:-3}
port=5001
mkdir -p "$work"
case $kind in
  file)
    source=$work/source.bin
    [ -f "$source" ] || "$bench" make-file "$source" "${VELTRA_BENCH_MIB:-1024}"
    ;;
  tree)
    source=$work/tree
    [ -d "$source" ] || "$bench" make-tree "$source" 100 100 4096
    ;;
  *) echo "usage: transfer_compare.sh BENCH WORK file|tree [ROUNDS]" >&2; exit 2 ;;
esac
# Outputs of every run are kept apart and removed only at the end: on ext4, creating files right
# after many were deleted is several times slower (the allocator avoids recently freed inodes),
# which would charge one contender for the other's clean-up.
rm -rf "$work/out"
# Warm the source in the page cache for both contenders.
if [ "$kind" = file ]; then cat "$source" >/dev/null; else tar cf - -C "$work" tree >/dev/null; fi

now() { date +%s.%N; }
# shellcheck source=bench/fresh_fs.sh
. "$(dirname "$0")/fresh_fs.sh"
wait_listening() {
  i=0
  while ! ss -ltn 2>/dev/null | grep -q ":$port "; do
    i=$((i + 1)); [ $i -lt 500 ] || { echo "netcat did not listen" >&2; exit 1; }
    sleep 0.01
  done
}
field() { echo "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"; }

# $1: "" (messages handled by a front-end thread) or "inline" (handled where they are posted).
run_ours() {
  home=$work/out/ours$1-$round
  fresh_target "$home"; sync
  line=$("$bench" fetch "$source" "$home" $1)
  if [ "$kind" = file ]; then
    cmp -s "$source" "$home/Received/source.bin" || { echo "received file differs" >&2; exit 1; }
    rm -f "$home/Received/source.bin"
  else
    [ "$(find "$home/Received/tree" -type f | wc -l)" = 10000 ] ||
      { echo "received tree incomplete" >&2; exit 1; }
  fi
  [ -z "$fs" ] || drop_target "$home"
  echo "$line"
}

# CPU seconds (user + system) and peak KiB of each plain-tool process, from GNU time.
timed() { out_file=$1; shift; /usr/bin/time -f "%U %S %M" -o "$out_file" "$@"; }
cpu_of() { cat "$@" | awk '{ s += $1 + $2 } END { printf "%.3f", s }'; }
peak_of() { awk '{ print $3 }' "$1"; }

run_netcat() {
  out=$work/out/netcat-$round
  fresh_target "$out"; sync
  rm -f "$work"/t-*.txt
  if [ "$kind" = file ]; then
    timed "$work/t-recv.txt" nc -l 127.0.0.1 $port >"$out/source.bin" &
    listener=$!
    wait_listening
    start=$(now)
    timed "$work/t-send.txt" nc -N 127.0.0.1 $port <"$source"
    wait $listener
    end=$(now)
    cmp -s "$source" "$out/source.bin" || { echo "netcat copy differs" >&2; exit 1; }
    rm -f "$out/source.bin"
  else
    sh -c "/usr/bin/time -f '%U %S %M' -o '$work/t-recv.txt' nc -l 127.0.0.1 $port |
           /usr/bin/time -f '%U %S %M' -o '$work/t-untar.txt' tar xf - -C '$out'" &
    listener=$!
    wait_listening
    start=$(now)
    timed "$work/t-tar.txt" tar cf - -C "$work" tree | timed "$work/t-send.txt" nc -N 127.0.0.1 $port
    wait $listener
    end=$(now)
    [ "$(find "$out/tree" -type f | wc -l)" = 10000 ] || { echo "tar copy incomplete" >&2; exit 1; }
  fi
  [ -z "$fs" ] || drop_target "$out"
  echo "seconds=$(echo "$end - $start" | bc -l | sed 's/^\./0./') send_kb=$(peak_of "$work/t-send.txt")" \
       "recv_kb=$(peak_of "$work/t-recv.txt") cpu_s=$(cpu_of "$work"/t-*.txt)"
}

ours_times=""
ours_cpu=""
inline_cpu=""
nc_cpu=""
inline_times=""
nc_times=""
round=1
while [ $round -le "$rounds" ]; do
  ours=$(run_ours "")
  inline=$(run_ours inline)
  plain=$(run_netcat)
  echo "round $round ours:        $ours"
  echo "round $round ours inline: $inline"
  echo "round $round netcat:      $plain"
  ours_times="$ours_times $(field "$ours" seconds)"
  ours_cpu="$ours_cpu $(echo "$(field "$ours" serving_cpu_s) + $(field "$ours" receiving_cpu_s)" | bc -l)"
  inline_cpu="$inline_cpu $(echo "$(field "$inline" serving_cpu_s) + $(field "$inline" receiving_cpu_s)" | bc -l)"
  nc_cpu="$nc_cpu $(field "$plain" cpu_s)"
  inline_times="$inline_times $(field "$inline" seconds)"
  nc_times="$nc_times $(field "$plain" seconds)"
  round=$((round + 1))
done
rm -rf "$work/out"

median() { echo "$@" | tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
bytes=$(field "$ours" bytes)
awk -v kind="$kind${fs:+ on $fs}" -v o="$(median $ours_times)" -v i="$(median $inline_times)" \
    -v n="$(median $nc_times)" -v b="$bytes" -v oc="$(median $ours_cpu)" \
    -v ic="$(median $inline_cpu)" -v nc="$(median $nc_cpu)" -v rounds="$rounds" 'BEGIN {
  printf "%s (medians of %d rounds)      wall       rate      CPU   wall ratio  CPU ratio\n", kind, rounds
  printf "  ours, front-end thread  %7.3f s %6.1f MB/s %6.3f s   %6.2f     %6.2f\n", o, b / o / 1e6, oc, o / n, oc / nc
  printf "  ours, inline messages   %7.3f s %6.1f MB/s %6.3f s   %6.2f     %6.2f\n", i, b / i / 1e6, ic, i / n, ic / nc
  printf "  %-22s  %7.3f s %6.1f MB/s %6.3f s\n", kind ~ /tree/ ? "tar | nc -N, nc -l | tar" : "nc -N, nc -l", n, b / n / 1e6, nc }'
