#!/bin/bash
# console_compare.sh [OPTIONS] BIN WORK
# Transfers between two real veltra-console processes, each in a network namespace of its own on
# a private bridge (tests/lan/lan_bed.sh), against tar | nc (nc alone for a single file) and an
# rsync daemon. BIN holds veltra-console and transfer_bench (which makes the data); WORK holds the
# data (kept for the next run) and the runs' file systems. Needs root; it makes its own network
# and mount namespaces, so nothing it sends leaves them.
#
# Every run of every contender receives into a fresh file system (tmpfs, or ext4 on a loop device
# made for that run). Per round the contenders take turns, each round starting with the next one,
# and every round is printed, then medians and ratios per case and file system. After each run
# the received tree is checked against the source (names and contents), and the batch's count.
#
# Timing. Veltra: from the receiving console's first "开始接收文件" line (the fetch's start, so
# the offer's half-second pause is left out) to its "==收到N个文件!==" line, both read from its
# standard output through a pipe and stamped as they arrive (console_marks.pl). tar | nc: from
# the start of the sender to the end of the receiver, the receiver listening before. rsync: the
# client's run (daemon on the sending host, client on the receiving one), the daemon listening
# before. Receiving CPU is user + system time of the receiving processes (the console; nc -l and
# tar x; the rsync client with its forked receiver), from GNU time; peak is the largest max RSS of
# one process on each side.
#
# Cases (--cases, comma-separated; default all):
#   tree      --tree-files 10000 files of --tree-bytes 4096, 100 to a folder, one directory
#   tiny      --tiny-files 100000 files of --tiny-bytes 100, 100 to a folder, one directory
#   big       one file of --big-mib 1024 MiB
#   mixed     one directory: 3 files of --mixed-mib 100 MiB and --mixed-files 5000 of 4 KiB
#   separate  --separate-files 100 files of 4 KiB offered as that many entries of one offer
# Other options: --rounds N (3), --fs LIST (tmpfs,ext4), --contenders LIST (veltra,tar,rsync;
# rsync is left out when it is not installed), --quick (sizes for a trial run), --limit SECONDS
# a Veltra run may take (900).
set -euo pipefail

# Internal: "--gated FIFO COMMAND..." waits for a line on FIFO, then becomes COMMAND. A plain
# tool's run starts that way, so that starting the namespace, GNU time and the shell around it
# (several milliseconds each here) is not charged to the tool.
if [[ ${1:-} == --gated ]]; then
    read -r word <"$2"
    [[ $word == go ]] || exit 1
    shift 2
    exec "$@"
fi

here=$(cd "$(dirname "$0")" && pwd)
self=$here/$(basename "$0")
usage() {
    sed -n '2,/^set /p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
    exit 2
}

if [[ -z ${VELTRA_BENCH_NAMESPACES:-} ]]; then
    [[ $(id -u) == 0 ]] || { echo "console_compare.sh needs root" >&2; exit 2; }
    VELTRA_BENCH_NAMESPACES=1 exec unshare --net --mount "$0" "$@"
fi
ip link set lo up

rounds=3
fs_list=tmpfs,ext4
cases=tree,tiny,big,mixed,separate
contenders=veltra,tar,rsync
limit=900
tree_files=10000 tree_bytes=4096
tiny_files=100000 tiny_bytes=100
big_mib=1024
mixed_mib=100 mixed_files=5000
separate_files=100
while [[ $# -gt 0 && $1 == --* ]]; do
    if [[ $1 == --quick ]]; then
        tree_files=1000 tiny_files=10000 big_mib=64 mixed_mib=10 mixed_files=500
        separate_files=20
        shift
        continue
    fi
    [[ $# -ge 2 ]] || usage
    case $1 in
        --rounds) rounds=$2 ;;
        --fs) fs_list=$2 ;;
        --cases) cases=$2 ;;
        --contenders) contenders=$2 ;;
        --limit) limit=$2 ;;
        --tree-files) tree_files=$2 ;;
        --tree-bytes) tree_bytes=$2 ;;
        --tiny-files) tiny_files=$2 ;;
        --tiny-bytes) tiny_bytes=$2 ;;
        --big-mib) big_mib=$2 ;;
        --mixed-mib) mixed_mib=$2 ;;
        --mixed-files) mixed_files=$2 ;;
        --separate-files) separate_files=$2 ;;
        *) usage ;;
    esac
    shift 2
done
[[ $# == 2 ]] || usage
bin=$(cd "$1" && pwd)
work=$(mkdir -p "$2" && cd "$2" && pwd)
CONSOLE=$bin/veltra-console
maker=$bin/transfer_bench
[[ -x $CONSOLE && -x $maker ]] || { echo "$bin lacks veltra-console or transfer_bench" >&2; exit 2; }
if [[ $contenders == *rsync* ]] && ! command -v rsync >/dev/null; then
    echo "rsync is not installed: left out (scripts/install-bench-deps.sh installs it)" >&2
    contenders=$(echo "$contenders" | tr ',' '\n' | grep -vx rsync | paste -sd,)
fi
IFS=, read -r -a contender_list <<<"$contenders"
IFS=, read -r -a fs_names <<<"$fs_list"
IFS=, read -r -a case_names <<<"$cases"

# shellcheck source=tests/lan/lan_bed.sh
source "$here/../tests/lan/lan_bed.sh"
# shellcheck source=bench/fresh_fs.sh
source "$here/fresh_fs.sh"
# A whole run can take hours: the hosts' namespaces must outlive it (they are removed on exit).
# shellcheck disable=SC2034 # read by bed_add_host
BED_HOLD_SECONDS=$((3 * 3600))
BED_WAIT_SECONDS=30

sender=hosta
receiver=hostb
port=5001
outdir=$work/out
usage_dir=$BED_DIR/usage
mkdir -p "$usage_dir"
rsync_pid_file=$BED_DIR/rsyncd.pid
rsync_listener=
gate=$BED_DIR/gate
mkfifo "$gate"

bench_cleanup() {
    set +e
    # A plain tool still waiting at the gate is told to give up (opened for both, so as not to wait).
    [[ -p $gate ]] && printf 'stop\nstop\nstop\n' 1<>"$gate"
    if [[ -n $rsync_listener ]]; then
        [[ -s $rsync_pid_file ]] && kill "$(cat "$rsync_pid_file")" 2>/dev/null
        wait "$rsync_listener" 2>/dev/null
    fi
    bed_cleanup
    local target
    for target in "$outdir"/*; do
        [[ -d $target ]] || continue
        mountpoint -q "$target" && umount "$target"
    done
    rm -rf "$outdir"
}
trap bench_cleanup EXIT

# tree_sum DIR: one checksum of the names of every folder and file below DIR and the contents of
# every file.
tree_sum() {
    (
        cd "$1"
        {
            find . -type d | LC_ALL=C sort
            find . -type f -print0 | LC_ALL=C sort -z | xargs -0 -r md5sum
        } | md5sum | cut -d' ' -f1
    )
}

# One case's data, made once below WORK/source/CASE and kept while its sizes stay the same:
# case_base (the folder whose entries are offered), case_entries, case_files, case_single (the
# one regular file, when the case is one), case_mib (size for the file systems), case_sum.
make_folders() {  # DIR FILES BYTES: FILES files of BYTES, 100 to a folder
    local folders=1 per=$2
    if (($2 >= 100 && $2 % 100 == 0)); then folders=$(($2 / 100)) per=100; fi
    "$maker" make-tree "$1" "$folders" "$per" "$3"
}
prepare_case() {
    local name=$1 shape
    case $name in
        tree) shape="$tree_files $tree_bytes" ;;
        tiny) shape="$tiny_files $tiny_bytes" ;;
        big) shape="$big_mib" ;;
        mixed) shape="$mixed_mib $mixed_files" ;;
        separate) shape="$separate_files" ;;
        *) echo "unknown case $name" >&2; exit 2 ;;
    esac
    case_base=$work/source/$name
    if [[ "$(cat "$case_base.shape" 2>/dev/null)" != "$shape" ]]; then
        rm -rf "$case_base" "$case_base.shape"
        mkdir -p "$case_base"
        case $name in
            tree) make_folders "$case_base/tree" "$tree_files" "$tree_bytes" ;;
            tiny) make_folders "$case_base/tiny" "$tiny_files" "$tiny_bytes" ;;
            big) "$maker" make-file "$case_base/big.bin" "$big_mib" ;;
            mixed)
                make_folders "$case_base/mixed" "$mixed_files" 4096
                for i in 1 2 3; do "$maker" make-file "$case_base/mixed/big$i.bin" "$mixed_mib"; done
                ;;
            separate)
                "$maker" make-tree "$case_base/tmp" 1 "$separate_files" 4096
                mv "$case_base"/tmp/d000/* "$case_base"
                rm -rf "$case_base/tmp"
                ;;
        esac
        echo "$shape" >"$case_base.shape"
    fi
    mapfile -t case_entries < <(find "$case_base" -mindepth 1 -maxdepth 1 -printf '%f\n' | LC_ALL=C sort)
    case_files=$(find "$case_base" -type f | wc -l)
    case_single=
    if [[ ${#case_entries[@]} == 1 && -f $case_base/${case_entries[0]} ]]; then
        case_single=${case_entries[0]}
    fi
    local kib
    kib=$(du -sk "$case_base" | cut -f1)
    case_mib=$((kib * 3 / 1024 + 1024))
    ((case_mib >= 4096)) || case_mib=4096
    # Warm in the page cache, as every contender reads it.
    tar cf - -C "$case_base" . >/dev/null
    case_sum=$(tree_sum "$case_base")
}

# check_received DIR: the received folder matches the source, or the run fails.
check_received() {
    local sum
    sum=$(tree_sum "$1")
    [[ $sum == "$case_sum" ]] || bed_fail "$run_name: what arrived differs from the source"
}

# shellcheck source=bench/console_runs.sh
source "$here/console_runs.sh"
# shellcheck source=bench/console_report.sh
source "$here/console_report.sh"

bed_up
bed_add_host "$sender" 1
bed_add_host "$receiver" 2
echo "cases $cases on $fs_list, $rounds rounds of $contenders; tree $tree_files x $tree_bytes B," \
    "tiny $tiny_files x $tiny_bytes B, big $big_mib MiB, mixed 3 x $mixed_mib MiB + $mixed_files x 4 KiB," \
    "separate $separate_files x 4 KiB"
echo "load: $(uptime)"
for case_name in "${case_names[@]}"; do
    prepare_case "$case_name"
    for fs in "${fs_names[@]}"; do
        for ((round = 1; round <= rounds; ++round)); do
            declare -A round_wall=()
            count=${#contender_list[@]}
            for ((turn = 0; turn < count; ++turn)); do
                contender=${contender_list[$(((round - 1 + turn) % count))]}
                run_name=$case_name-$fs-$round-$contender
                "run_$contender"
                key="$case_name|$fs|$contender"
                read -r rcpu rpeak <<<"$recv"
                read -r scpu speak <<<"$send"
                record "$key|wall" "$wall"
                record "$key|rcpu" "$rcpu"
                record "$key|rpeak" "$rpeak"
                record "$key|scpu" "$scpu"
                record "$key|speak" "$speak"
                round_wall[$contender]=$wall
                printf '%-8s %-5s round %d  %-7s %7.3f s  recv %7.3f s %6s MiB  send %7.3f s %6s MiB%s\n' \
                    "$case_name" "$fs" "$round" "$contender" "$wall" "$rcpu" "$(mib "$rpeak")" \
                    "$scpu" "$(mib "$speak")" "${note:+  ($note)}"
            done
            record_round_ratios "$case_name" "$fs"
        done
        print_summary "$case_name" "$fs"
    done
done
print_table
echo "load: $(uptime)"
