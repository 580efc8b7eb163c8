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

# bench_start HOST HOME: starts a console in HOST as bed_start does, but with standard output
# read through console_marks.pl, timed by GNU time, and waits for its "ready".
bench_start() {
    local name=$1 home=$2
    HOST_RUN[$name]=$((HOST_RUN[$name] + 1))
    local dir
    dir=$(bed_run_dir "$name")
    mkdir -p "$dir"
    mkfifo "$dir/in"
    (
        bed_close_inherited
        nsenter --net="/proc/${HOST_NS_PID[$name]}/ns/net" \
            --uts="/proc/${HOST_NS_PID[$name]}/ns/uts" \
            env HOME="$home" /usr/bin/time -f '%e %U %S %M' -o "$dir/usage" \
            "$CONSOLE" <"$dir/in" 2>"$dir/err" | perl "$here/console_marks.pl" "$dir/out"
    ) &
    HOST_CONSOLE_PID[$name]=$!
    local fd
    exec {fd}>"$dir/in"
    HOST_INPUT_FD[$name]=$fd
    bed_until "$name prints ready" grep -qs ' line ready$' "$dir/out"
}

# usage_of FILE: "CPU_SECONDS PEAK_KIB" from a GNU time line (the last; a killed process has one
# more line before it).
usage_of() {
    tail -n 1 "$1" | awk '{ printf "%.3f %d", $2 + $3, $4 }'
}
# usage_sum FILE...: CPU summed, peak the largest.
usage_sum() {
    local file
    for file in "$@"; do tail -n 1 "$file"; done |
        awk '{ c += $2 + $3; if ($4 > p) p = $4 } END { printf "%.3f %d", c, p }'
}

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

port_open() {
    bed_in "$1" ss -ltn | grep -q ":$2 "
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
    local name=$1 spec
    case $name in
        tree) spec="$tree_files $tree_bytes" ;;
        tiny) spec="$tiny_files $tiny_bytes" ;;
        big) spec="$big_mib" ;;
        mixed) spec="$mixed_mib $mixed_files" ;;
        separate) spec="$separate_files" ;;
        *) echo "unknown case $name" >&2; exit 2 ;;
    esac
    case_base=$work/source/$name
    if [[ "$(cat "$case_base.spec" 2>/dev/null)" != "$spec" ]]; then
        rm -rf "$case_base" "$case_base.spec"
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
        echo "$spec" >"$case_base.spec"
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

# Each run sets: wall (seconds), recv (CPU and peak of the receiving side), send (the same of the
# sending side), note.
run_veltra() {
    local target=$outdir/$run_name home_a=$work/home-a
    fresh_target "$target" "$case_mib"
    mkdir -p "$home_a"
    sync
    bench_start "$receiver" "$target"
    bench_start "$sender" "$home_a"
    local offer="offer ${HOST_ADDRESS[$receiver]}" entry
    for entry in "${case_entries[@]}"; do offer+=" \"$case_base/$entry\""; done
    bed_say "$sender" "$offer"
    local marks
    marks="$(bed_run_dir "$receiver")/out"
    local saved=$BED_WAIT_SECONDS
    BED_WAIT_SECONDS=$limit
    bed_until "$run_name: the batch line" grep -q ' line ==收到' "$marks"
    BED_WAIT_SECONDS=$saved
    bed_stop "$sender"
    bed_stop "$receiver"
    local start end count
    start=$(awk '$2 == "start" { print $1; exit }' "$marks")
    end=$(awk '$2 == "line" && $3 ~ /^==收到/ { print $1; exit }' "$marks")
    count=$(awk '$2 == "line" && $3 ~ /^==收到/ { gsub(/[^0-9]/, "", $3); print $3; exit }' "$marks")
    [[ -n $start ]] || bed_fail "$run_name: no start line"
    [[ $count == "$case_files" ]] || bed_fail "$run_name: batch of $count files, not $case_files"
    wall=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')
    recv=$(usage_of "$(bed_run_dir "$receiver")/usage")
    send=$(usage_of "$(bed_run_dir "$sender")/usage")
    note=
    if grep -q ' line 输出跟不上' "$marks"; then note="output dropped"; fi
    grep -q " end starts=$case_files done=$case_files failed=0 " "$marks" ||
        note="${note:+$note, }$(awk '$2 == "end" { print $3, $4, $5 }' "$marks")"
    check_received "$target/Received"
    drop_target "$target"
}

# gate_open: once the gated command waits at the gate, sets start and lets it go.
gate_open() {
    local fd
    exec {fd}>"$gate"  # returns once the reader has the fifo open
    start=$EPOCHREALTIME
    echo go >&"$fd"
    exec {fd}>&-
}
connected() {  # HOST PORT: a connection to PORT is established in HOST
    [[ -n "$(bed_in "$1" ss -tnH state established "( sport = :$2 )")" ]]
}

run_tar() {
    local target=$outdir/$run_name
    fresh_target "$target" "$case_mib"
    mkdir -p "$target/Received"
    sync
    rm -f "$usage_dir"/*
    local time_to="/usr/bin/time -f '%e %U %S %M' -o '$usage_dir"
    local listen="nc -l ${HOST_ADDRESS[$receiver]} $port"
    local connect="nc -N ${HOST_ADDRESS[$receiver]} $port"
    if [[ -n $case_single ]]; then
        bed_in "$receiver" sh -c "exec $time_to/recv' $listen >'$target/Received/$case_single'" &
    else
        bed_in "$receiver" sh -c \
            "$time_to/recv' $listen | $time_to/untar' tar xf - -C '$target/Received'" &
    fi
    local listener=$!
    bed_until "$run_name: nc listens" port_open "$receiver" "$port"
    # One file: nc starts and connects at the gate. A tree: nc connects first, tar starts at the
    # gate.
    if [[ -n $case_single ]]; then
        bed_in "$sender" sh -c \
            "exec $time_to/send' '$self' --gated '$gate' $connect <'$case_base/$case_single'" &
    else
        local entries
        entries=$(printf " '%s'" "${case_entries[@]}")
        bed_in "$sender" sh -c "$time_to/tar' '$self' --gated '$gate' tar cf - -C '$case_base'$entries |
                                $time_to/send' $connect" &
    fi
    local sending=$!
    [[ -n $case_single ]] || bed_until "$run_name: nc connects" connected "$receiver" "$port"
    gate_open
    wait "$listener" || bed_fail "$run_name: the receiving nc or tar failed"
    local end=$EPOCHREALTIME
    wait "$sending" || bed_fail "$run_name: the sending tar or nc failed"
    wall=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')
    local receivers=("$usage_dir/recv") senders=("$usage_dir/send")
    [[ -n $case_single ]] || { receivers+=("$usage_dir/untar"); senders+=("$usage_dir/tar"); }
    recv=$(usage_sum "${receivers[@]}")
    send=$(usage_sum "${senders[@]}")
    note=
    check_received "$target/Received"
    drop_target "$target"
}

run_rsync() {
    local target=$outdir/$run_name
    fresh_target "$target" "$case_mib"
    sync
    rm -f "$usage_dir"/* "$rsync_pid_file"
    cat >"$BED_DIR/rsyncd.conf" <<CONF
pid file = $rsync_pid_file
use chroot = no
reverse lookup = no
uid = root
gid = root
[source]
path = $work/source
read only = yes
CONF
    bed_in "$sender" /usr/bin/time -f '%e %U %S %M' -o "$usage_dir/daemon" \
        rsync --daemon --no-detach --config="$BED_DIR/rsyncd.conf" \
        --address="${HOST_ADDRESS[$sender]}" --port=873 &
    rsync_listener=$!
    bed_until "$run_name: rsync listens" port_open "$sender" 873
    bed_in "$receiver" /usr/bin/time -f '%e %U %S %M' -o "$usage_dir/recv" \
        "$self" --gated "$gate" \
        rsync -a "rsync://${HOST_ADDRESS[$sender]}/source/${case_base##*/}/" "$target/Received/" &
    local client=$!
    gate_open
    wait "$client" || bed_fail "$run_name: rsync failed"
    local end=$EPOCHREALTIME
    # The daemon's child for this transfer ends with it; once reaped, its time is the daemon's.
    local daemon
    daemon=$(cat "$rsync_pid_file")
    local deadline=$((SECONDS + 10))
    while pgrep -P "$daemon" >/dev/null && ((SECONDS < deadline)); do sleep 0.02; done
    kill "$daemon"
    wait "$rsync_listener" || true
    rsync_listener=
    wall=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')
    recv=$(usage_of "$usage_dir/recv")
    send=$(usage_of "$usage_dir/daemon")
    note=
    check_received "$target/Received"
    drop_target "$target"
}

declare -A results
# record KEY VALUE: appends VALUE to the list under KEY.
record() {
    results[$1]="${results[$1]:-} $2"
}
median() {
    echo "$@" | tr ' ' '\n' | grep . | sort -g |
        awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else print v[int((NR + 1) / 2)] }'
}
mib() {
    awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'
}

# figure CASE FS CONTENDER FIELD: the median of a field over the rounds (the largest, for a peak),
# or "nan" when that contender did not run.
# shellcheck disable=SC2086 # the lists are meant to be split
figure() {
    local values=${results[$1|$2|$3|$4]:-}
    case $4 in
        *peak) echo $values | tr ' ' '\n' | grep . | sort -g | tail -n 1 | grep . || echo nan ;;
        *) median $values ;;
    esac
}

table_rows=()
print_summary() {  # CASE FS
    local contender
    printf '%s on %s: medians of %d rounds, %d files, %s\n' "$1" "$2" "$rounds" "$case_files" \
        "$(du -sh --apparent-size "$case_base" | cut -f1)"
    printf '  %-8s %9s %10s %10s %10s %10s %8s %8s\n' "" wall "recv CPU" "recv peak" "send CPU" \
        "send peak" "÷ tar" "÷ rsync"
    local tar_wall rsync_wall
    tar_wall=$(figure "$1" "$2" tar wall)
    rsync_wall=$(figure "$1" "$2" rsync wall)
    for contender in "${contender_list[@]}"; do
        awk -v c="$contender" -v w="$(figure "$1" "$2" "$contender" wall)" \
            -v rc="$(figure "$1" "$2" "$contender" rcpu)" \
            -v rp="$(figure "$1" "$2" "$contender" rpeak)" \
            -v sc="$(figure "$1" "$2" "$contender" scpu)" \
            -v sp="$(figure "$1" "$2" "$contender" speak)" -v t="$tar_wall" -v r="$rsync_wall" '
            function ratio(x) { return x == "nan" || x == 0 ? "-" : sprintf("%.2f", w / x) }
            BEGIN { printf "  %-8s %7.3f s %8.3f s %7.1f MiB %8.3f s %6.1f MiB %8s %8s\n",
                           c, w, rc, rp / 1024, sc, sp / 1024, ratio(t), ratio(r) }'
    done
    # One row of the closing table: Veltra, tar | nc, rsync.
    local walls="" cpus="" peaks="" name
    for name in veltra tar rsync; do
        walls+=" $(figure "$1" "$2" $name wall)"
        cpus+=" $(figure "$1" "$2" $name rcpu)"
        peaks+=" $(figure "$1" "$2" $name rpeak)"
    done
    table_rows+=("$(awk -v c="$1" -v f="$2" -v w="$walls" -v cpu="$cpus" -v p="$peaks" '
        function shown(x, unit, scale) { return x == "nan" ? "–" : sprintf("%.2f%s", x / scale, unit) }
        function ratio(a, b) { return a == "nan" || b == "nan" || b == 0 ? "–" : sprintf("%.2f", a / b) }
        BEGIN {
            split(w, W, " "); split(cpu, C, " "); split(p, P, " ")
            printf "| %s | %s | %s | %s | %s | **%s** | **%s** | %s / %s / %s | %s / %s / %s |",
                   c, f, shown(W[1], " s", 1), shown(W[2], " s", 1), shown(W[3], " s", 1),
                   ratio(W[1], W[2]), ratio(W[1], W[3]), shown(C[1], "", 1), shown(C[2], "", 1),
                   shown(C[3], " s", 1), shown(P[1], "", 1024), shown(P[2], "", 1024),
                   shown(P[3], " MiB", 1024)
        }')")
}

print_table() {
    echo
    echo "| case | fs | Veltra | tar \\| nc | rsync | Veltra ÷ tar \\| nc | Veltra ÷ rsync |" \
         "receiving CPU: Veltra / tar \\| nc / rsync | receiving peak: Veltra / tar \\| nc / rsync |"
    echo "|---|---|---|---|---|---|---|---|---|"
    printf '%s\n' "${table_rows[@]}"
}

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
                printf '%-8s %-5s round %d  %-7s %7.3f s  recv %7.3f s %6s MiB  send %7.3f s %6s MiB%s\n' \
                    "$case_name" "$fs" "$round" "$contender" "$wall" "$rcpu" "$(mib "$rpeak")" \
                    "$scpu" "$(mib "$speak")" "${note:+  ($note)}"
            done
        done
        print_summary "$case_name" "$fs"
    done
done
print_table
echo "load: $(uptime)"
