# shellcheck shell=bash
# Sourced by lan_test.sh. A private LAN of hosts, each a network (and host-name) namespace with
# one interface on a bridge: 10.77.0.0/24, broadcast 10.77.0.255, default route over the bridge so
# that 255.255.255.255 goes out there too. Run it inside the namespace of tests/isolated.sh; the
# bridge and the hosts then exist only in there. Every wait is bounded.

BED_NET=10.77.0
BED_ID=$$
BED_DIR=$(mktemp -d "${TMPDIR:-/tmp}/veltra-lan.$BED_ID.XXXXXX")
BED_BRIDGE=vbr$BED_ID
BED_WAIT_SECONDS=${BED_WAIT_SECONDS:-6}
# Holders live at most this long, so that even a bed whose script was killed outright goes away.
BED_HOLD_SECONDS=300

declare -A HOST_NS_PID HOST_ADDRESS HOST_CONSOLE_PID HOST_INPUT_FD HOST_RUN
BED_HOSTS=()

bed_dump() {
    local name file
    for name in "${BED_HOSTS[@]}"; do
        for file in "$BED_DIR/$name"/run*/out "$BED_DIR/$name"/run*/err; do
            [[ -f $file ]] || continue
            echo "---- $name ${file#"$BED_DIR/$name/"}" >&2
            cat "$file" >&2
        done
    done
}

bed_cleanup() {
    set +e
    [[ -z ${LAN_VERBOSE:-} ]] || bed_dump
    local name
    for name in "${BED_HOSTS[@]}"; do
        bed_close_input "$name"
        if [[ -n ${HOST_CONSOLE_PID[$name]:-} ]]; then
            kill "${HOST_CONSOLE_PID[$name]}" 2>/dev/null
            wait "${HOST_CONSOLE_PID[$name]}" 2>/dev/null
        fi
        if [[ -n ${HOST_NS_PID[$name]:-} ]]; then
            kill "${HOST_NS_PID[$name]}" 2>/dev/null
            wait "${HOST_NS_PID[$name]}" 2>/dev/null
        fi
    done
    ip link del "$BED_BRIDGE" 2>/dev/null
    rm -rf "$BED_DIR"
}
trap bed_cleanup EXIT
trap 'exit 130' INT TERM HUP

bed_fail() {
    echo "FAIL: $*" >&2
    [[ -n ${LAN_VERBOSE:-} ]] || bed_dump
    exit 1
}

# bed_until DESCRIPTION COMMAND...: polls COMMAND until it succeeds or the wait runs out.
bed_until() {
    local description=$1
    shift
    local deadline=$((SECONDS + BED_WAIT_SECONDS))
    until "$@"; do
        ((SECONDS < deadline)) || bed_fail "timed out: $description"
        sleep 0.05
    done
}

bed_up() {
    ip link add "$BED_BRIDGE" type bridge || bed_fail "cannot create a bridge"
    ip link set "$BED_BRIDGE" up
}

# The holder has its own namespaces once its host name is set.
bed_holder_ready() {
    [[ "$(nsenter --uts="/proc/$1/ns/uts" hostname 2>/dev/null)" == "$2" ]]
}

# bed_add_host NAME INDEX: host NAME with address 10.77.0.INDEX and host name NAME.
bed_add_host() {
    local name=$1 index=$2
    mkdir -p "$BED_DIR/$name/home"
    (
        bed_close_inherited
        # shellcheck disable=SC2016 # expanded by the inner shell
        exec unshare --net --uts sh -c 'hostname "$1" && exec sleep "$2"' holder "$name" \
            "$BED_HOLD_SECONDS"
    ) &
    local pid=$!
    HOST_NS_PID[$name]=$pid
    HOST_ADDRESS[$name]=$BED_NET.$index
    HOST_RUN[$name]=0
    BED_HOSTS+=("$name")
    bed_until "namespace of $name" bed_holder_ready "$pid" "$name"

    local outside=vh$BED_ID$index inside=ve$BED_ID$index
    ip link add "$outside" type veth peer name "$inside"
    ip link set "$inside" netns "$pid"
    ip link set "$outside" master "$BED_BRIDGE"
    ip link set "$outside" up
    nsenter --net="/proc/$pid/ns/net" sh -e -c "
        ip link set lo up
        ip link set $inside name eth0
        ip addr add $BED_NET.$index/24 broadcast $BED_NET.255 dev eth0
        ip link set eth0 up
        ip route add default dev eth0" || bed_fail "cannot set up the network of $name"
}

# bed_in HOST COMMAND...: runs COMMAND in the host's namespaces.
bed_in() {
    local pid=${HOST_NS_PID[$1]}
    shift
    nsenter --net="/proc/$pid/ns/net" --uts="/proc/$pid/ns/uts" "$@"
}

bed_run_dir() {
    echo "$BED_DIR/$1/run${HOST_RUN[$1]}"
}
bed_out() {
    echo "$(bed_run_dir "$1")/out"
}
bed_err() {
    echo "$(bed_run_dir "$1")/err"
}
bed_home() {
    echo "$BED_DIR/$1/home"
}

# bed_start HOST [OPTION...]: starts a console in HOST (HOME = the host's folder) with the
# options and waits for "ready" (as a line, or as the event of --json).
bed_start() {
    local name=$1
    shift
    HOST_RUN[$name]=$((HOST_RUN[$name] + 1))
    local dir
    dir=$(bed_run_dir "$name")
    mkdir -p "$dir"
    mkfifo "$dir/in"
    (
        bed_close_inherited
        exec nsenter --net="/proc/${HOST_NS_PID[$name]}/ns/net" \
            --uts="/proc/${HOST_NS_PID[$name]}/ns/uts" \
            env HOME="$(bed_home "$name")" "$CONSOLE" "$@" <"$dir/in" >"$dir/out" 2>"$dir/err"
    ) &
    HOST_CONSOLE_PID[$name]=$!
    local fd
    exec {fd}>"$dir/in"
    HOST_INPUT_FD[$name]=$fd
    bed_until "$name prints ready" grep -qxE 'ready|\{"event":"ready"\}' "$dir/out"
}

# bed_once HOST OUT ERR OPTION...: runs one console in HOST (HOME = the host's folder) with the
# options, without input, its output in files OUT and ERR; returns its exit status.
bed_once() {
    local name=$1 out=$2 err=$3
    shift 3
    (
        bed_close_inherited
        bed_in "$name" env HOME="$(bed_home "$name")" "$CONSOLE" "$@" </dev/null >"$out" 2>"$err"
    )
}

# bed_say HOST LINE: types one command line into the host's console.
bed_say() {
    printf '%s\n' "$2" >&"${HOST_INPUT_FD[$1]}"
}

bed_close_input() {
    local fd=${HOST_INPUT_FD[$1]:-}
    if [[ -n $fd ]]; then
        exec {fd}>&-
        HOST_INPUT_FD[$1]=
    fi
}

# In a child about to start: the command pipes of the other consoles are not its business, and
# holding them open would keep those consoles from ever seeing the end of their input.
bed_close_inherited() {
    local fd
    for fd in "${HOST_INPUT_FD[@]}"; do
        if [[ -n $fd ]]; then
            exec {fd}>&-
        fi
    done
}

bed_running() {
    kill -0 "${HOST_CONSOLE_PID[$1]}" 2>/dev/null
}
bed_exited() {
    ! bed_running "$1"
}

# bed_stop HOST [quit|eof]: ends the console and checks that it exits with status 0.
bed_stop() {
    local name=$1 how=${2:-quit}
    if [[ $how == quit ]]; then
        bed_say "$name" quit
    fi
    bed_close_input "$name"
    bed_until "$name exits" bed_exited "$name"
    local status=0
    wait "${HOST_CONSOLE_PID[$name]}" || status=$?
    HOST_CONSOLE_PID[$name]=
    [[ $status == 0 ]] || bed_fail "$name exited with status $status"
    # A console built with a sanitizer reports there, and still exits 0.
    ! grep -qE 'Sanitizer|runtime error' "$(bed_err "$name")" ||
        bed_fail "$name: sanitizer report"
}

# The last list the host printed: its count line and its rows.
bed_last_list() {
    awk '/^在线人数 /{list=$0; rows=1; next}
         rows && /^  /{list=list "\n" $0; next}
         {rows=0}
         END{print list}' "$(bed_out "$1")"
}

# bed_list_is HOST EXPECTED: the host's last list is exactly EXPECTED.
bed_list_is() {
    [[ "$(bed_last_list "$1")" == "$2" ]]
}

# bed_log_has HOST TEXT: the host's output holds TEXT (which may span lines).
bed_log_has() {
    local log
    log=$(cat "$(bed_out "$1")" && echo .)  # the dot keeps the last line end
    [[ "${log%.}" == *"$2"* ]]
}

# The user name an instance of this account shows: the full name of the account, else its login.
bed_owner() {
    local gecos
    gecos=$(getent passwd "$(id -u)" | cut -d: -f5 | cut -d, -f1)
    if [[ -n $gecos ]]; then
        echo "$gecos"
    else
        id -un
    fi
}

# bed_row HOST: the key under which the others list HOST.
bed_row() {
    echo "$(bed_owner) (${HOST_ADDRESS[$1]}|$1)"
}

# bed_list HOST...: the list showing exactly these hosts, in list order (greatest key first).
bed_list() {
    local rows
    rows=$(for name in "$@"; do bed_row "$name"; done | LC_ALL=C sort -r)
    printf '在线人数 %d' "$#"
    while IFS= read -r row; do
        printf '\n  %s' "$row"
    done <<<"$rows"
}
