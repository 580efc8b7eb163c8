# shellcheck shell=bash
# shellcheck disable=SC2154,SC2034 # the settings and tables of console_compare.sh and lan_bed.sh
# Sourced by console_compare.sh: one run of one contender on the current case (case_base,
# case_entries, case_single, case_mib) into a fresh file system at $outdir/$run_name. Each run
# sets wall (seconds), recv and send ("CPU_SECONDS PEAK_KIB" of the receiving and the sending
# side) and note, and checks what arrived (check_received) after the timing.

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

port_open() {
    bed_in "$1" ss -ltn | grep -q ":$2 "
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
