#!/bin/bash
# lan_test.sh CONSOLE LAN_SEND SCENARIO
# End-to-end tests between veltra-console instances on a private bridge of network namespaces.
# Run inside tests/isolated.sh (CTest does); see lan_bed.sh for the bed itself.
set -euo pipefail

[[ $# == 3 ]] || { echo "usage: lan_test.sh CONSOLE LAN_SEND SCENARIO" >&2; exit 2; }
CONSOLE=$1
LAN_SEND=$2
SCENARIO=$3
source "$(dirname "$0")/lan_bed.sh"

# Two hosts that have started one after the other and found each other.
two_hosts_up() {
    bed_up
    bed_add_host hosta 1
    bed_add_host hostb 2
    bed_start hosta
    bed_start hostb
    local both
    both=$(bed_list hosta hostb)
    bed_until "hosta lists both" bed_list_is hosta "$both"
    bed_until "hostb lists both" bed_list_is hostb "$both"
}

# Each instance hears its own broadcast, and the other's announcement or answer.
scenario_presence() {
    bed_up
    bed_add_host hosta 1
    bed_add_host hostb 2
    bed_add_host hostc 3
    bed_start hosta
    bed_until "hosta lists itself" bed_list_is hosta "$(bed_list hosta)"
    bed_start hostb
    bed_start hostc
    local all
    all=$(bed_list hosta hostb hostc)
    for host in hosta hostb hostc; do
        bed_until "$host lists all three" bed_list_is "$host" "$all"
    done
    bed_say hosta users
    bed_until "users prints the list again" \
        bash -c "[[ \$(grep -c '^在线人数 3$' '$(bed_out hosta)') -ge 2 ]]"
    for host in hosta hostb hostc; do
        bed_stop "$host"
    done
}

scenario_message() {
    two_hosts_up
    local sender
    sender=$(bed_row hosta)
    bed_say hosta "msg 10.77.0.999 never sent"
    bed_say hosta "msg ${HOST_ADDRESS[hostb]} hello, 你好\\nsecond line"
    bed_until "the message reaches hostb" bed_log_has hostb \
        "$sender:"$'\n'" hello, 你好"$'\n'" second line"$'\n'
    bed_until "the bad address is refused" grep -q "10.77.0.999" "$(bed_err hosta)"
    [[ $(wc -l <"$(bed_err hosta)") == 1 ]] || bed_fail "more than one complaint"
    # Only the good message arrived, and the sender shows nothing of its own sending.
    [[ $(grep -c "^$sender:\$" "$(bed_out hostb)") == 1 ]] || bed_fail "hostb got other messages"
    bed_log_has hosta "$sender:" && bed_fail "hosta logged its own message"
    # A message from b to a, the other way round, and an empty-looking one stays one entry each.
    bed_say hostb "msg ${HOST_ADDRESS[hosta]} back"
    bed_until "the answer reaches hosta" bed_log_has hosta "$(bed_row hostb):"$'\n'" back"$'\n'
    bed_stop hosta
    bed_stop hostb eof
}

# A restarted instance finds the other again, and the other hears it again.
scenario_restart() {
    two_hosts_up
    bed_stop hostb
    bed_start hostb
    local both
    both=$(bed_list hosta hostb)
    bed_until "restarted hostb lists both" bed_list_is hostb "$both"
    bed_say hostb "msg ${HOST_ADDRESS[hosta]} back again"
    bed_until "hosta hears the restarted hostb" bed_log_has hosta \
        "$(bed_row hostb):"$'\n'" back again"$'\n'
    # refresh: the table is emptied and filled again by the answers.
    bed_say hosta refresh
    bed_until "hosta relists after refresh" \
        bash -c "[[ \$(grep -c '^在线人数' '$(bed_out hosta)') -ge 3 ]]"
    bed_until "hosta lists both after refresh" bed_list_is hosta "$both"
    bed_stop hosta
    bed_stop hostb
}

# A departure datagram from b's address with b's names removes b's row from a's list.
scenario_depart() {
    two_hosts_up
    local owner
    owner=$(bed_owner)
    bed_in hostb "$LAN_SEND" "${HOST_ADDRESS[hosta]}" "1:99:$owner:hostb:2:\\0" ||
        bed_fail "lan_send failed"
    bed_until "hosta drops hostb" bed_list_is hosta "$(bed_list hosta)"
    # A departure of somebody unknown still rebuilds the list, unchanged.
    local lists
    lists=$(grep -c '^在线人数' "$(bed_out hosta)")
    bed_in hostb "$LAN_SEND" "${HOST_ADDRESS[hosta]}" "1:100:nobody:nowhere:2:\\0"
    bed_until "hosta rebuilds again" \
        bash -c "[[ \$(grep -c '^在线人数' '$(bed_out hosta)') -gt $lists ]]"
    bed_list_is hosta "$(bed_list hosta)" || bed_fail "the unknown departure changed the list"
    bed_stop hosta
    bed_stop hostb
}

# A second instance on one host cannot have the port: a clear message and status 1.
scenario_refuse() {
    bed_up
    bed_add_host hosta 1
    bed_start hosta
    local status=0
    bed_in hosta "$CONSOLE" </dev/null >"$BED_DIR/second.out" 2>"$BED_DIR/second.err" ||
        status=$?
    [[ $status == 1 ]] || bed_fail "second instance exited with $status"
    grep -q "cannot start" "$BED_DIR/second.err" || bed_fail "no clear message: $(cat "$BED_DIR/second.err")"
    [[ ! -s $BED_DIR/second.out ]] || bed_fail "the second instance printed on standard output"
    bed_running hosta || bed_fail "the first instance died"
    bed_stop hosta
}

# Files and a directory offered by a arrive in b's Received folder, byte for byte.
scenario_files() {
    two_hosts_up
    local source
    source="$(bed_home hosta)/to send"
    mkdir -p "$source/tree/inner" "$source/tree/empty"
    head -c 300000 /dev/urandom >"$source/big file.bin"
    printf 'small\n' >"$source/tree/a.dat"
    head -c 70000 /dev/urandom >"$source/tree/inner/b.dat"
    : >"$source/tree/inner/zero.dat"

    bed_say hosta "offer ${HOST_ADDRESS[hostb]} \"$source/big file.bin\" \"$source/tree\""
    bed_until "hostb reports the batch" grep -q '^==收到' "$(bed_out hostb)"
    bed_log_has hostb "开始接收文件big file.bin"$'\n' || bed_fail "no start entry"
    bed_log_has hostb "文件传输完毕"$'\n' || bed_fail "no finished entry"
    grep -qE '^[0-9]+\.[0-9]{2}[BKMG]/S 100\.00%$' "$(bed_out hostb)" || bed_fail "no 100% line"

    local received
    received="$(bed_home hostb)/Received"
    cmp "$source/big file.bin" "$received/big file.bin" || bed_fail "the file differs"
    diff -r "$source/tree" "$received/tree" || bed_fail "the directory differs"
    bed_stop hosta
    bed_stop hostb
}

# A ':' in a name is written "::", which the receiver reads as ';': names that hold one arrive
# with ';' in its place, offered on their own or inside an offered folder.
scenario_names() {
    two_hosts_up
    local source
    source="$(bed_home hosta)/to send"
    mkdir -p "$source/notes"
    printf 'agenda\n' >"$source/notes/12:30 meeting.txt"
    printf 'early\n' >"$source/at 10:00.txt"
    printf 'first\n' >"$source/notes/:first"

    bed_say hosta "offer ${HOST_ADDRESS[hostb]} \"$source/at 10:00.txt\" \"$source/notes\""
    bed_until "hostb reports the batch" grep -q '^==收到' "$(bed_out hostb)"
    grep -qx '==收到3个文件!==' "$(bed_out hostb)" || bed_fail "not three files"
    local received
    received="$(bed_home hostb)/Received"
    cmp "$source/at 10:00.txt" "$received/at 10;00.txt" || bed_fail "at 10:00.txt"
    cmp "$source/notes/12:30 meeting.txt" "$received/notes/12;30 meeting.txt" ||
        bed_fail "12:30 meeting.txt"
    cmp "$source/notes/:first" "$received/notes/;first" || bed_fail ":first"
    bed_stop hosta
    bed_stop hostb
}

declare -F "scenario_$SCENARIO" >/dev/null || { echo "unknown scenario $SCENARIO" >&2; exit 2; }
"scenario_$SCENARIO"
echo "lan $SCENARIO: 1 passed, 0 failed"
