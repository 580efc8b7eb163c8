#!/bin/bash
# lan_test.sh CONSOLE LAN_SEND SCENARIO [JSON_LINES [LAN_LISTEN [DIALOGS]]]
# End-to-end tests between veltra-console instances on a private bridge of network namespaces.
# Run inside tests/isolated.sh (CTest does); see lan_bed.sh for the bed itself. JSON_LINES (the
# reader of --json output) is needed by the json scenario, LAN_LISTEN (which prints every
# datagram a host hears) by the single scenario, DIALOGS (veltra) by the dialogs scenario.
set -euo pipefail

[[ $# -ge 3 && $# -le 6 ]] ||
    { echo "usage: lan_test.sh CONSOLE LAN_SEND SCENARIO [JSON_LINES [LAN_LISTEN [DIALOGS]]]" >&2; exit 2; }
CONSOLE=$1
LAN_SEND=$2
SCENARIO=$3
JSON_LINES=${4:-}
LAN_LISTEN=${5:-}
DIALOGS=${6:-}
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

# A console that ends says goodbye: its row leaves the other's list within a second, whether it
# was told to quit, its input ended, or it got SIGTERM (a shutdown, a logout).
scenario_goodbye() {
    two_hosts_up
    local alone both
    alone=$(bed_list hosta)
    both=$(bed_list hosta hostb)
    for how in quit eof term; do
        bed_stop hostb "$how"
        bed_within 1000 "hosta drops hostb after its $how" bed_list_is hosta "$alone"
        bed_start hostb
        bed_until "hosta lists hostb again" bed_list_is hosta "$both"
    done
    bed_stop hosta
}

# same_tree A B: the folders A and B hold the same files.
same_tree() {
    diff -rq "$1" "$2" >/dev/null 2>&1
}

# A host on two networks whose default route leads to neither (the shape of a VPN): the peer on
# each lists it within a second of its start, without refreshing. An address it gets later on a
# third network is announced there within a few seconds, and its table keeps the peers it had.
scenario_networks() {
    bed_up  # 10.77.0.0/24 takes the default route of hostm, and nobody else
    bed_add_network 10.77.1
    bed_add_network 10.77.2
    bed_add_network 10.77.3
    bed_add_host hostm 1
    bed_connect hostm 10.77.1 eth1 1
    bed_connect hostm 10.77.2 eth2 1
    bed_connect hostm 10.77.3 eth3  # no address yet
    bed_add_host hosta 2 10.77.1
    bed_add_host hostb 2 10.77.2
    bed_add_host hostc 2 10.77.3
    bed_start hosta
    bed_start hostb
    bed_start hostc
    bed_start hostm
    bed_within 1000 "hosta lists hostm" bed_list_is hosta "$(bed_list hosta hostm@10.77.1.1)"
    bed_within 1000 "hostb lists hostm" bed_list_is hostb "$(bed_list hostb hostm@10.77.2.1)"
    local row_a row_b
    row_a="  $(bed_row hosta)"
    row_b="  $(bed_row hostb)"
    bed_until "hostm lists both" bed_last_list_has hostm "$row_a" "$row_b"
    # hostm can reach nobody on 10.77.3.0/24 yet.
    bed_list_is hostc "$(bed_list hostc)" || bed_fail "hostc heard hostm before its address"

    bed_address hostm 10.77.3 eth3 1
    bed_within 4000 "hostc lists hostm" bed_list_is hostc "$(bed_list hostc hostm@10.77.3.1)"
    bed_until "hostm lists hostc" bed_last_list_has hostm "  $(bed_row hostc)"
    # No list since the first that showed both peers lacks either: the table was never emptied.
    awk -v a="$row_a" -v b="$row_b" '
        function done_list() { if (seen && !(has_a && has_b)) bad = 1; if (has_a && has_b) seen = 1 }
        /^在线人数 / { if (open) done_list(); open = 1; has_a = has_b = 0; next }
        $0 == a { has_a = 1 } $0 == b { has_b = 1 }
        END { if (open) done_list(); exit bad }' "$(bed_out hostm)" ||
        bed_fail "hostm lost a peer when it announced itself again"

    # A user on each network fetches what hostm offers to it, hostm fetches what one offers it
    # on its address there, and messages cross both ways.
    local source
    source=$(sample_files hostm)
    # One after the other: while a fetch of the file runs, another offer of it may be refused
    # ("cannot offer"), and under load the first fetch may still run when the second is offered.
    local host address
    for host in hosta:10.77.1.2 hostb:10.77.2.2; do
        address=${host#*:} host=${host%%:*}
        bed_say hostm "offer $address \"$source/big file.bin\""
        bed_until "$host fetches hostm's file" \
            cmp -s "$source/big file.bin" "$(bed_home "$host")/Received/big file.bin"
    done
    source=$(sample_files hostb)
    bed_say hostb "offer 10.77.2.1 \"$source/tree\""
    bed_until "hostm fetches hostb's folder" same_tree "$source/tree" "$(bed_home hostm)/Received/tree"
    bed_say hosta "msg 10.77.1.1 across"
    bed_until "hostm hears hosta" bed_log_has hostm "$(bed_row hosta):"$'\n'" across"$'\n'
    bed_say hostm "msg 10.77.2.2 back"
    bed_until "hostb hears hostm" bed_log_has hostb "$(bed_row hostm 10.77.2.1):"$'\n'" back"$'\n'
    for host in hostm hosta hostb hostc; do
        bed_stop "$host"
    done
}

# A host with one interface announces itself in one datagram, to the limited broadcast.
scenario_single() {
    [[ -n $LAN_LISTEN ]] || bed_fail "the single scenario needs LAN_LISTEN"
    bed_up
    bed_add_host hosta 1
    bed_add_host watch 9
    (
        bed_close_inherited
        exec nsenter --net="/proc/${HOST_NS_PID[watch]}/ns/net" "$LAN_LISTEN" 4
    ) >"$BED_DIR/heard" 2>&1 &
    local listener=$!
    bed_until "the listener listens" grep -qx listening "$BED_DIR/heard"
    bed_start hosta
    wait "$listener" || bed_fail "lan_listen failed: $(cat "$BED_DIR/heard")"
    [[ "$(grep "^${HOST_ADDRESS[hosta]} " "$BED_DIR/heard")" == \
        "${HOST_ADDRESS[hosta]} 255.255.255.255 16777217" ]] ||
        bed_fail "hosta sent: $(cat "$BED_DIR/heard")"
    bed_stop hosta
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

# A ':' in a name is written "::", which the receiver stores as ':' again: a name that holds one
# arrives as it was, offered on its own or inside an offered folder, beside the name that holds
# ';' in its place. A ':' that begins a name is written ';' and arrives so.
scenario_names() {
    two_hosts_up
    local source
    source="$(bed_home hosta)/to send"
    mkdir -p "$source/notes"
    printf 'agenda\n' >"$source/notes/12:30 meeting.txt"
    printf 'other\n' >"$source/notes/12;30 meeting.txt"
    printf 'early\n' >"$source/at 10:00.txt"
    printf 'first\n' >"$source/notes/:first"

    bed_say hosta "offer ${HOST_ADDRESS[hostb]} \"$source/at 10:00.txt\" \"$source/notes\""
    bed_until "hostb reports the batch" grep -q '^==收到' "$(bed_out hostb)"
    grep -qx '==收到4个文件!==' "$(bed_out hostb)" || bed_fail "not four files"
    local received
    received="$(bed_home hostb)/Received"
    cmp "$source/at 10:00.txt" "$received/at 10:00.txt" || bed_fail "at 10:00.txt"
    cmp "$source/notes/12:30 meeting.txt" "$received/notes/12:30 meeting.txt" ||
        bed_fail "12:30 meeting.txt"
    cmp "$source/notes/12;30 meeting.txt" "$received/notes/12;30 meeting.txt" ||
        bed_fail "12;30 meeting.txt"
    cmp "$source/notes/:first" "$received/notes/;first" || bed_fail ":first"
    bed_stop hosta
    bed_stop hostb
}

# A name of one's own: from the settings file, from --name for one run; a malformed file is
# reported with its line and ignored, the account's name then shows.
scenario_identity() {
    unset XDG_CONFIG_HOME  # the file is looked for under each host's HOME
    bed_up
    bed_add_host hosta 1
    bed_add_host hostb 2
    local config row
    config="$(bed_home hosta)/.config/veltra"
    mkdir -p "$config"
    printf '[veltra]\nname = 王伟\n' >"$config/veltra.conf"
    bed_start hostb
    bed_start hosta
    row="  王伟 (${HOST_ADDRESS[hosta]}|hosta)"
    bed_until "hostb lists the file's name" bed_last_list_has hostb "$row"
    [[ ! -s $(bed_err hosta) ]] || bed_fail "a complaint about a good file"
    bed_stop hosta
    bed_start hosta --name 李四
    row="  李四 (${HOST_ADDRESS[hosta]}|hosta)"
    bed_until "hostb lists the name of --name" bed_last_list_has hostb "$row"
    bed_stop hosta
    printf '[veltra]\nname = 王伟\nno setting here\n' >"$config/veltra.conf"
    bed_start hosta
    bed_until "hostb lists the account's name" bed_last_list_has hostb "  $(bed_row hosta)"
    grep -qF "veltra-console: $config/veltra.conf:3: " "$(bed_err hosta)" ||
        bed_fail "the malformed line is not reported: $(cat "$(bed_err hosta)")"
    bed_stop hosta
    bed_stop hostb
}

# A file and a folder in HOST's "to send" folder; prints the folder.
sample_files() {
    local source
    source="$(bed_home "$1")/to send"
    mkdir -p "$source/tree/inner"
    head -c 300000 /dev/urandom >"$source/big file.bin"
    printf 'small\n' >"$source/tree/a.dat"
    head -c 70000 /dev/urandom >"$source/tree/inner/b.dat"
    echo "$source"
}

# expect_status STATUS EXPECTED WHAT: fails the scenario unless the status is the expected one.
expect_status() {
    [[ $1 == "$2" ]] || bed_fail "$3 exited with status $1, not $2"
}

# One-shot sending: a file and a folder with a text, every entry told; a message alone; and an
# offer that nobody fetches, given up after the linger.
scenario_send() {
    bed_up
    bed_add_host hosta 1
    bed_add_host hostb 2
    bed_start hostb
    local source status=0
    source=$(sample_files hosta)
    bed_once hosta "$BED_DIR/send.out" "$BED_DIR/send.err" --send "${HOST_ADDRESS[hostb]}" \
        "$source/big file.bin" "$source/tree" --message "files for you" || status=$?
    expect_status "$status" 0 "--send"
    # Each entry is told once its own connection has ended, so their lines come in either order.
    [[ "$(sort "$BED_DIR/send.out")" == "$(printf '%s\n' "已发送文件big file.bin" "已发送文件夹tree" | sort)" ]] ||
        bed_fail "--send printed: $(cat "$BED_DIR/send.out" "$BED_DIR/send.err")"
    bed_until "hostb reports the batch" grep -qx '==收到3个文件!==' "$(bed_out hostb)"
    bed_log_has hostb " files for you"$'\n' || bed_fail "the text did not arrive"
    local received
    received="$(bed_home hostb)/Received"
    cmp "$source/big file.bin" "$received/big file.bin" || bed_fail "the file differs"
    diff -r "$source/tree" "$received/tree" || bed_fail "the folder differs"

    status=0
    bed_once hosta "$BED_DIR/message.out" "$BED_DIR/message.err" \
        --message "${HOST_ADDRESS[hostb]}" '你好\nsecond line' || status=$?
    expect_status "$status" 0 "--message"
    bed_until "the message reaches hostb" bed_log_has hostb " 你好"$'\n'" second line"$'\n'

    # Nobody at .9: the entry is given up after one second, and the run fails.
    status=0
    local start=$SECONDS
    bed_once hosta "$BED_DIR/nobody.out" "$BED_DIR/nobody.err" --linger 1 \
        --send "$BED_NET.9" "$source/tree" || status=$?
    expect_status "$status" 1 "--send to nobody"
    ((SECONDS - start <= 4)) || bed_fail "--send to nobody took $((SECONDS - start)) s"
    [[ "$(cat "$BED_DIR/nobody.out")" == "对方未接收tree" ]] ||
        bed_fail "--send to nobody printed: $(cat "$BED_DIR/nobody.out")"
    bed_stop hostb
}

# The end of input waits for an offer: the file arrives, then the console exits 0. An offer that
# nobody fetches is given up once the linger has passed, with status 1.
scenario_linger() {
    two_hosts_up
    local source
    source=$(sample_files hosta)
    bed_say hosta "offer ${HOST_ADDRESS[hostb]} \"$source/big file.bin\""
    bed_close_input hosta
    bed_until "the file arrives" cmp -s "$source/big file.bin" \
        "$(bed_home hostb)/Received/big file.bin"
    bed_stop hosta eof
    bed_log_has hosta "已发送文件big file.bin"$'\n' || bed_fail "hosta did not say it was sent"

    local status=0
    printf 'offer %s.9 "%s"\n' "$BED_NET" "$source/tree" |
        bed_in hosta env HOME="$(bed_home hosta)" "$CONSOLE" --linger 1 \
            >"$BED_DIR/nobody.out" 2>"$BED_DIR/nobody.err" || status=$?
    expect_status "$status" 1 "an offer to nobody at the end of input"
    bed_log_has hostb "对方未接收" && bed_fail "hostb logged another's line"
    grep -qx '对方未接收tree' "$BED_DIR/nobody.out" ||
        bed_fail "not given up: $(cat "$BED_DIR/nobody.out")"
    bed_stop hostb
}

# A path that does not exist is named on standard error; the others are still offered, and
# nothing is sent when none exists.
scenario_missing() {
    two_hosts_up
    local source
    source=$(sample_files hosta)
    bed_say hosta "offer ${HOST_ADDRESS[hostb]} \"$source/no such file\" \"$source/big file.bin\""
    bed_until "hostb reports the batch" grep -q '^==收到' "$(bed_out hostb)"
    bed_say hosta "offer ${HOST_ADDRESS[hostb]} \"$source/nothing here\""
    bed_until "both paths are named" grep -q "nothing here" "$(bed_err hosta)"
    [[ $(wc -l <"$(bed_err hosta)") == 2 ]] || bed_fail "not one line each: $(cat "$(bed_err hosta)")"
    grep -q "no such file" "$(bed_err hosta)" || bed_fail "the first path is not named"
    sleep 1  # an offer would have been fetched by now
    [[ $(grep -c '^开始接收文件' "$(bed_out hostb)") == 1 ]] || bed_fail "hostb fetched more"
    cmp "$source/big file.bin" "$(bed_home hostb)/Received/big file.bin" || bed_fail "the file differs"

    bed_stop hosta

    local status=0
    bed_once hosta "$BED_DIR/send.out" "$BED_DIR/send.err" --send "${HOST_ADDRESS[hostb]}" \
        "$source/gone" || status=$?
    expect_status "$status" 1 "--send of a missing path"
    [[ "$(cat "$BED_DIR/send.err")" == "offer: no such file or directory: $source/gone" ]] ||
        bed_fail "--send did not name the path: $(cat "$BED_DIR/send.err")"
    [[ ! -s "$BED_DIR/send.out" ]] || bed_fail "--send printed: $(cat "$BED_DIR/send.out")"
    bed_stop hostb
}

# Three users for a console of host s to find by name: two of one name (王伟, on hosta and
# hostb) and 李四 on hostc. Each has started and heard the others.
named_hosts_up() {
    bed_up
    bed_add_host hosta 1
    bed_add_host hostb 2
    bed_add_host hostc 3
    bed_add_host hosts 9
    bed_start hosta --name 王伟
    bed_start hostb --name 王伟
    bed_start hostc --name 李四
    bed_until "hostc lists the three" bed_last_list_has hostc "  王伟 (10.77.0.1|hosta)" \
        "  王伟 (10.77.0.2|hostb)"
}

# The list as host s prints it: the greatest key first (王 before 李 in code page 936, both
# after any name in ASCII), its own row marked.
named_list() {
    printf '%s\n' "在线人数 4" "  王伟 (10.77.0.2|hostb)" "  王伟 (10.77.0.1|hosta)" \
        "  李四 (10.77.0.3|hostc)" "  $(bed_row hosts)（本机）"
}

# --list prints the users that answered the announcement, as users prints them, or one JSON
# object each; it finds the peers that were there before it, and itself.
scenario_list() {
    named_hosts_up
    local status=0
    bed_once hosts "$BED_DIR/list.out" "$BED_DIR/list.err" --list || status=$?
    expect_status "$status" 0 "--list"
    [[ "$(cat "$BED_DIR/list.out")" == "$(named_list)" ]] ||
        bed_fail "--list printed: $(cat "$BED_DIR/list.out" "$BED_DIR/list.err")"
    [[ ! -s $BED_DIR/list.err ]] || bed_fail "--list complained: $(cat "$BED_DIR/list.err")"

    status=0
    bed_once hosts "$BED_DIR/json.out" "$BED_DIR/json.err" --list --json || status=$?
    expect_status "$status" 0 "--list --json"
    [[ "$(cat "$BED_DIR/json.out")" == "$(printf '%s\n' \
        '{"event":"user","user":"王伟","host":"hostb","address":"10.77.0.2"}' \
        '{"event":"user","user":"王伟","host":"hosta","address":"10.77.0.1"}' \
        '{"event":"user","user":"李四","host":"hostc","address":"10.77.0.3"}' \
        "{\"event\":\"user\",\"user\":\"$(bed_owner)\",\"host\":\"hosts\",\"address\":\"10.77.0.9\"}")" ]] ||
        bed_fail "--list --json printed: $(cat "$BED_DIR/json.out" "$BED_DIR/json.err")"
    for host in hosta hostb hostc; do
        bed_stop "$host"
    done
}

# TARGET by name: a unique user name or host name is sent to as its address would be, from the
# command line and from a console's commands; a name of nobody or of several users is refused
# with the candidates and status 2, and nothing is sent.
scenario_byname() {
    named_hosts_up
    local source status=0
    source=$(sample_files hosts)
    bed_once hosts "$BED_DIR/send.out" "$BED_DIR/send.err" --send 李四 "$source/big file.bin" ||
        status=$?
    expect_status "$status" 0 "--send 李四"
    [[ "$(cat "$BED_DIR/send.out")" == "已发送文件big file.bin" ]] ||
        bed_fail "--send 李四 printed: $(cat "$BED_DIR/send.out" "$BED_DIR/send.err")"
    cmp "$source/big file.bin" "$(bed_home hostc)/Received/big file.bin" ||
        bed_fail "hostc has not the file"

    status=0
    bed_once hosts "$BED_DIR/message.out" "$BED_DIR/message.err" --message hostb 'by host name' ||
        status=$?
    expect_status "$status" 0 "--message hostb"
    bed_until "the message reaches hostb" bed_log_has hostb " by host name"$'\n'
    bed_log_has hosta " by host name" && bed_fail "the message reached hosta too"

    status=0
    bed_once hosts "$BED_DIR/nobody.out" "$BED_DIR/nobody.err" --send nobody "$source/tree" ||
        status=$?
    expect_status "$status" 2 "--send nobody"
    [[ "$(cat "$BED_DIR/nobody.err")" == "$(
        echo "veltra-console: no user or host named 'nobody'; the users known:"
        named_list | tail -n +2
    )" ]] || bed_fail "--send nobody said: $(cat "$BED_DIR/nobody.err")"
    [[ ! -s $BED_DIR/nobody.out ]] || bed_fail "--send nobody printed: $(cat "$BED_DIR/nobody.out")"

    status=0
    bed_once hosts "$BED_DIR/several.out" "$BED_DIR/several.err" --message 王伟 'to whom?' ||
        status=$?
    expect_status "$status" 2 "--message 王伟"
    [[ "$(cat "$BED_DIR/several.err")" == "$(printf '%s\n' \
        "veltra-console: '王伟' names several users; give one's address or its whole row:" \
        "  王伟 (10.77.0.2|hostb)" "  王伟 (10.77.0.1|hosta)")" ]] ||
        bed_fail "--message 王伟 said: $(cat "$BED_DIR/several.err")"

    # A console's own commands take the same names; the whole row picks one of two 王伟.
    bed_say hostc "msg \"王伟 (10.77.0.1|hosta)\" by row"
    bed_until "the message reaches hosta" bed_log_has hosta " by row"$'\n'
    bed_say hostc "msg 王伟 to whom?"
    bed_until "hostc refuses the name of two" grep -qF "msg: '王伟' names several users" \
        "$(bed_err hostc)"
    sleep 0.5  # a message would have arrived by now
    for host in hosta hostb; do
        bed_log_has "$host" "to whom?" && bed_fail "$host got a message for several"
        grep -q '^开始接收' "$(bed_out "$host")" && bed_fail "$host received files"
    done
    for host in hosta hostb hostc; do
        bed_stop "$host"
    done
}

# --json: every line of both consoles is one event object, read by the test line by line.
scenario_json() {
    [[ -n $JSON_LINES ]] || bed_fail "the json scenario needs JSON_LINES"
    bed_up
    bed_add_host hosta 1
    bed_add_host hostb 2
    bed_start hosta --json
    bed_start hostb --json
    events() {  # events HOST: the host's events, one per line as json_lines prints them, in a file
        "$JSON_LINES" <"$(bed_out "$1")" >"$BED_DIR/$1.events" ||
            bed_fail "$1 wrote a line that is not an event"
    }
    has_event() {  # has_event HOST LINE_PATTERN: a whole line of the host's events matches
        events "$1"
        grep -qxE -- "$2" "$BED_DIR/$1.events"
    }
    local owner source
    owner=$(bed_owner)
    bed_until "hostb lists both" has_event hostb 'peers count=2 peers=\[.*'
    grep -qF "{\"user\":\"$owner\",\"host\":\"hosta\",\"address\":\"${HOST_ADDRESS[hosta]}\"}" \
        "$BED_DIR/hostb.events" || bed_fail "no row for hosta: $(cat "$BED_DIR/hostb.events")"
    bed_say hosta "msg ${HOST_ADDRESS[hostb]} 你好\\n\"quoted\""
    bed_until "hostb gets the message" has_event hostb \
        "message sender=$owner host=hosta address=${HOST_ADDRESS[hosta]} text=你好"
    has_event hostb '"quoted"' || bed_fail "the text's second line: $(cat "$BED_DIR/hostb.events")"

    source=$(sample_files hosta)
    bed_say hosta "offer ${HOST_ADDRESS[hostb]} \"$source/big file.bin\" \"$source/missing\""
    bed_until "hostb reports the batch" has_event hostb 'batch count=1 failed=0'
    has_event hostb "batch_started sender=$owner address=${HOST_ADDRESS[hosta]}" ||
        bed_fail "no batch_started"
    has_event hostb 'file_started name=big file.bin size=300000' || bed_fail "no file_started"
    has_event hostb 'progress name=big file.bin received=300000 size=300000 bytes_per_second=[0-9]+' ||
        bed_fail "no last progress"
    has_event hostb 'done name=big file.bin size=300000' || bed_fail "no done"
    bed_until "hosta says it was sent" has_event hosta \
        "sent to=${HOST_ADDRESS[hostb]} name=big file.bin kind=file size=300000 path=$source/big file.bin"
    has_event hosta "offered to=${HOST_ADDRESS[hostb]} name=big file.bin kind=file size=300000 .*" ||
        bed_fail "no offered"
    has_event hosta "error text=offer: no such file or directory: $source/missing" ||
        bed_fail "no error"
    bed_say hosta "fly away"
    bed_until "hosta reports the bad line" has_event hosta 'error text=unknown command: fly .*'
    bed_stop hosta
    bed_stop hostb
}

# The user's running console owns the port: --send and --message of the same user on its host go
# through it, print what they print alone and exit as they do alone; the running console's own
# exit status stays its own. A killed instance leaves its socket behind, which nobody answers:
# the next --send works alone, and the next console takes the socket over.
scenario_instance() {
    bed_up
    bed_add_host hosta 1
    bed_add_host hostb 2
    bed_start hostb
    bed_start hosta
    local source status=0
    source=$(sample_files hosta)
    bed_once hosta "$BED_DIR/send.out" "$BED_DIR/send.err" --send "${HOST_ADDRESS[hostb]}" \
        "$source/big file.bin" "$source/tree" --message "files for you" || status=$?
    expect_status "$status" 0 "--send through the instance"
    [[ ! -s "$BED_DIR/send.err" ]] || bed_fail "--send complained: $(cat "$BED_DIR/send.err")"
    [[ "$(sort "$BED_DIR/send.out")" == "$(printf '%s\n' "已发送文件big file.bin" "已发送文件夹tree" | sort)" ]] ||
        bed_fail "--send printed: $(cat "$BED_DIR/send.out")"
    bed_until "hostb reports the batch" grep -qx '==收到3个文件!==' "$(bed_out hostb)"
    bed_log_has hostb " files for you"$'\n' || bed_fail "the text did not arrive"
    cmp "$source/big file.bin" "$(bed_home hostb)/Received/big file.bin" || bed_fail "the file differs"
    diff -r "$source/tree" "$(bed_home hostb)/Received/tree" || bed_fail "the folder differs"

    # As JSON, the events the console prints alone.
    status=0
    bed_once hosta "$BED_DIR/json.out" "$BED_DIR/json.err" --json --send "${HOST_ADDRESS[hostb]}" \
        "$source/big file.bin" || status=$?
    expect_status "$status" 0 "--json --send through the instance"
    local entry="\"to\":\"${HOST_ADDRESS[hostb]}\",\"name\":\"big file.bin\",\"kind\":\"file\",\"size\":300000,\"path\":\"$source/big file.bin\"}"
    [[ "$(cat "$BED_DIR/json.out")" == "$(printf '%s\n' '{"event":"ready"}' \
        "{\"event\":\"offered\",$entry" "{\"event\":\"sent\",$entry")" ]] ||
        bed_fail "--json --send printed: $(cat "$BED_DIR/json.out" "$BED_DIR/json.err")"

    # A path that is not there: named on standard error, status 1, nothing offered.
    status=0
    bed_once hosta "$BED_DIR/gone.out" "$BED_DIR/gone.err" --send "${HOST_ADDRESS[hostb]}" \
        "$source/gone" || status=$?
    expect_status "$status" 1 "--send of a missing path through the instance"
    [[ "$(cat "$BED_DIR/gone.err")" == "offer: no such file or directory: $source/gone" ]] ||
        bed_fail "--send did not name the path: $(cat "$BED_DIR/gone.err")"
    [[ ! -s "$BED_DIR/gone.out" ]] || bed_fail "--send printed: $(cat "$BED_DIR/gone.out")"

    status=0
    bed_once hosta "$BED_DIR/message.out" "$BED_DIR/message.err" \
        --message "${HOST_ADDRESS[hostb]}" '你好\nsecond line' || status=$?
    expect_status "$status" 0 "--message through the instance"
    [[ ! -s "$BED_DIR/message.err" ]] || bed_fail "--message complained: $(cat "$BED_DIR/message.err")"
    bed_until "the message reaches hostb" bed_log_has hostb " 你好"$'\n'" second line"$'\n'
    # Names are looked up in the instance's list, by the rule the console follows alone.
    status=0
    bed_once hosta "$BED_DIR/byname.out" "$BED_DIR/byname.err" --message hostb 'by host name' ||
        status=$?
    expect_status "$status" 0 "--message hostb through the instance"
    bed_until "the message by name reaches hostb" bed_log_has hostb " by host name"$'\n'
    status=0
    bed_once hosta "$BED_DIR/nobody.out" "$BED_DIR/nobody.err" --send nobody "$source/tree" ||
        status=$?
    expect_status "$status" 2 "--send nobody through the instance"
    [[ "$(head -n 1 "$BED_DIR/nobody.err")" == \
        "veltra-console: no user or host named 'nobody'; the users known:" ]] ||
        bed_fail "--send nobody said: $(cat "$BED_DIR/nobody.err")"
    grep -qF "(${HOST_ADDRESS[hostb]}|hostb)" "$BED_DIR/nobody.err" ||
        bed_fail "--send nobody listed no candidates: $(cat "$BED_DIR/nobody.err")"
    status=0
    bed_once hosta "$BED_DIR/list.out" "$BED_DIR/list.err" --list || status=$?
    expect_status "$status" 0 "--list through the instance"
    grep -qF "(${HOST_ADDRESS[hostb]}|hostb)" "$BED_DIR/list.out" &&
        grep -qF "(${HOST_ADDRESS[hosta]}|hosta)（本机）" "$BED_DIR/list.out" ||
        bed_fail "--list through the instance printed: $(cat "$BED_DIR/list.out" "$BED_DIR/list.err")"
    # The one hostb lists is the instance on hosta: nobody else had the port.
    bed_running hosta || bed_fail "the running instance died"
    ! grep -q "已发送" "$(bed_out hosta)" || bed_fail "the instance logged the requests' entries"

    # Killed, the instance leaves its socket; the next --send finds nobody there and works alone.
    kill -KILL "${HOST_CONSOLE_PID[hosta]}"
    wait "${HOST_CONSOLE_PID[hosta]}" 2>/dev/null || true
    HOST_CONSOLE_PID[hosta]=
    bed_close_input hosta
    [[ -S "$(bed_runtime hosta)/veltra/control" ]] || bed_fail "no socket left behind"
    status=0
    bed_once hosta "$BED_DIR/alone.out" "$BED_DIR/alone.err" --send "${HOST_ADDRESS[hostb]}" \
        "$source/big file.bin" || status=$?
    expect_status "$status" 0 "--send alone after the instance was killed"
    [[ "$(cat "$BED_DIR/alone.out")" == "已发送文件big file.bin" ]] ||
        bed_fail "--send alone printed: $(cat "$BED_DIR/alone.out" "$BED_DIR/alone.err")"
    # And a new console takes the socket over.
    bed_start hosta
    status=0
    bed_once hosta "$BED_DIR/again.out" "$BED_DIR/again.err" \
        --message "${HOST_ADDRESS[hostb]}" 'once more' || status=$?
    expect_status "$status" 0 "--message through the new instance"
    bed_until "the last message reaches hostb" bed_log_has hostb " once more"$'\n'
    bed_stop hosta
    bed_stop hostb
}

# The dialogs run in hosta under a display of their own and own the port: veltra-console --send in
# the same host and home goes through them to hostb; a second veltra raises the window, and
# veltra FILE hands the file to the running compose dialog. Both end at once.
scenario_dialogs() {
    [[ -n $DIALOGS ]] || bed_fail "the dialogs scenario needs DIALOGS"
    bed_up
    bed_add_host hosta 1
    bed_add_host hostb 2
    bed_start hostb
    local runtime display_log="$BED_DIR/dialogs.log"
    runtime=$(bed_runtime hosta)
    (
        bed_close_inherited
        unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY
        exec nsenter --net="/proc/${HOST_NS_PID[hosta]}/ns/net" \
            --uts="/proc/${HOST_NS_PID[hosta]}/ns/uts" \
            env HOME="$(bed_home hosta)" XDG_RUNTIME_DIR="$runtime" NO_AT_BRIDGE=1 GDK_BACKEND=x11 \
            xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$DIALOGS" </dev/null
    ) >"$display_log" 2>&1 &
    local display_run=$!
    dialogs_answer() {
        [[ -S $runtime/veltra/control ]]
    }
    BED_WAIT_SECONDS=30 bed_until "the dialogs listen" dialogs_answer
    local source status=0
    source=$(sample_files hosta)
    bed_once hosta "$BED_DIR/send.out" "$BED_DIR/send.err" --send "${HOST_ADDRESS[hostb]}" \
        "$source/big file.bin" || status=$?
    expect_status "$status" 0 "--send through the dialogs"
    [[ ! -s "$BED_DIR/send.err" ]] || bed_fail "--send complained: $(cat "$BED_DIR/send.err")"
    [[ "$(cat "$BED_DIR/send.out")" == "已发送文件big file.bin" ]] ||
        bed_fail "--send printed: $(cat "$BED_DIR/send.out")"
    cmp "$source/big file.bin" "$(bed_home hostb)/Received/big file.bin" || bed_fail "the file differs"
    ! grep -q "Address already in use" "$display_log" || bed_fail "the port was taken twice"

    # A second veltra raises the running window, and veltra FILE opens its compose dialog: both
    # are done by the running instance, and end at once with status 0.
    status=0
    bed_in hosta env HOME="$(bed_home hosta)" XDG_RUNTIME_DIR="$runtime" NO_AT_BRIDGE=1 \
        GDK_BACKEND=x11 xvfb-run -a -s "-nolisten tcp" "$DIALOGS" </dev/null \
        >"$BED_DIR/show.out" 2>&1 || status=$?
    expect_status "$status" 0 "a second veltra"
    status=0
    bed_in hosta env HOME="$(bed_home hosta)" XDG_RUNTIME_DIR="$runtime" NO_AT_BRIDGE=1 \
        GDK_BACKEND=x11 xvfb-run -a -s "-nolisten tcp" "$DIALOGS" "$source/big file.bin" \
        </dev/null >"$BED_DIR/compose.out" 2>&1 || status=$?
    expect_status "$status" 0 "veltra FILE"

    # SIGTERM ends the dialogs as Ctrl+Q does.
    # xvfb-run runs the dialogs as its child.
    local dialogs_pid
    dialogs_pid=$(ps -o pid= -o comm= --ppid "$display_run" | awk '$2 == "veltra" { print $1 }')
    [[ -n $dialogs_pid ]] || bed_fail "no dialogs process: $(cat "$display_log")"
    kill -TERM "$dialogs_pid"
    wait "$display_run" || bed_fail "the dialogs exited with status $?: $(cat "$display_log")"
    [[ ! -e $runtime/veltra/control ]] || bed_fail "the dialogs left their socket behind"
    bed_stop hostb
}

declare -F "scenario_$SCENARIO" >/dev/null || { echo "unknown scenario $SCENARIO" >&2; exit 2; }
"scenario_$SCENARIO"
echo "lan $SCENARIO: 1 passed, 0 failed"
