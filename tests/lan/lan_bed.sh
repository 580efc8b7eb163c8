# shellcheck shell=bash
# Sourced by lan_test.sh. A private LAN of hosts, each a network (and host-name) namespace with
# one interface on a bridge: 10.77.0.0/24, broadcast 10.77.0.255, default route over the bridge so
# that 255.255.255.255 goes out there too. Further networks (10.77.N.0/24, a bridge each) take
# hosts of their own, and a host may have an interface on several. Run it inside the namespace of
# tests/isolated.sh; the bridges and the hosts then exist only in there. Every wait is bounded.

BED_NET=10.77.0
BED_ID=$$
BED_DIR=$(mktemp -d "${TMPDIR:-/tmp}/veltra-lan.$BED_ID.XXXXXX")
BED_BRIDGE=vbr$BED_ID
BED_WAIT_SECONDS=${BED_WAIT_SECONDS:-6}
# Holders live at most this long, so that even a bed whose script was killed outright goes away.
BED_HOLD_SECONDS=300

declare -A HOST_NS_PID HOST_ADDRESS HOST_CONSOLE_PID HOST_INPUT_FD HOST_RUN BED_BRIDGES
BED_HOSTS=()
BED_LINKS=0

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
    for bridge in "${BED_BRIDGES[@]}"; do
        ip link del "$bridge" 2>/dev/null
    done
    rm -rf "$BED_DIR"
}
trap bed_cleanup EXIT
trap 'exit 130' INT TERM HUP

bed_fail() {
    echo "FAIL: $*" >&2
    [[ -n ${LAN_VERBOSE:-} ]] || bed_dump
    exit 1
}

# bed_within MILLISECONDS DESCRIPTION COMMAND...: polls COMMAND until it succeeds; fails when that
# takes longer than MILLISECONDS from now.
bed_within() {
    local limit_us=$(($1 * 1000)) description=$2
    shift 2
    local start=${EPOCHREALTIME/./}
    until "$@"; do
        ((${EPOCHREALTIME/./} - start <= limit_us)) || bed_fail "not within $((limit_us / 1000)) ms: $description"
        sleep 0.02
    done
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
    bed_add_network "$BED_NET"
}

# bed_add_network NET: a bridge for the network NET.0/24 (NET as 10.77.1).
bed_add_network() {
    local net=$1 bridge=$BED_BRIDGE
    [[ $net == "$BED_NET" ]] || bridge=$BED_BRIDGE.${net##*.}
    ip link add "$bridge" type bridge || bed_fail "cannot create a bridge"
    BED_BRIDGES[$net]=$bridge
    ip link set "$bridge" up
}

# The holder has its own namespaces once its host name is set.
bed_holder_ready() {
    [[ "$(nsenter --uts="/proc/$1/ns/uts" hostname 2>/dev/null)" == "$2" ]]
}

# bed_add_host NAME INDEX [NET]: host NAME with address NET.INDEX (NET 10.77.0 by default) on
# eth0, its default route, and host name NAME.
bed_add_host() {
    local name=$1 index=$2 net=${3:-$BED_NET}
    mkdir -p "$BED_DIR/$name/home"
    (
        bed_close_inherited
        # shellcheck disable=SC2016 # expanded by the inner shell
        exec unshare --net --uts sh -c 'hostname "$1" && exec sleep "$2"' holder "$name" \
            "$BED_HOLD_SECONDS"
    ) &
    local pid=$!
    HOST_NS_PID[$name]=$pid
    HOST_ADDRESS[$name]=$net.$index
    HOST_RUN[$name]=0
    BED_HOSTS+=("$name")
    bed_until "namespace of $name" bed_holder_ready "$pid" "$name"
    bed_in "$name" ip link set lo up || bed_fail "cannot set up the network of $name"
    bed_connect "$name" "$net" eth0 "$index"
    bed_in "$name" ip route add default dev eth0 || bed_fail "cannot route the network of $name"
}

# bed_connect HOST NET IFNAME [INDEX]: a further interface IFNAME of HOST (up) on the bridge of
# NET, with the address NET.INDEX/24 when INDEX is given.
bed_connect() {
    local name=$1 net=$2 interface=$3 index=${4:-}
    BED_LINKS=$((BED_LINKS + 1))
    local outside=vh$BED_ID.$BED_LINKS inside=ve$BED_ID.$BED_LINKS
    ip link add "$outside" type veth peer name "$inside"
    ip link set "$inside" netns "${HOST_NS_PID[$name]}"
    ip link set "$outside" master "${BED_BRIDGES[$net]}"
    ip link set "$outside" up
    bed_in "$name" sh -e -c "
        ip link set $inside name $interface
        ip link set $interface up" || bed_fail "cannot connect $name to $net.0/24"
    [[ -z $index ]] || bed_address "$name" "$net" "$interface" "$index"
}

# bed_address HOST NET IFNAME INDEX: gives HOST's interface IFNAME the address NET.INDEX/24.
bed_address() {
    bed_in "$1" ip addr add "$2.$4/24" broadcast "$2.255" dev "$3" ||
        bed_fail "cannot give $1 the address $2.$4"
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

# bed_runtime HOST: the host's runtime folder (XDG_RUNTIME_DIR), where its running instance
# listens for requests; each host is a machine of its own, so none reaches another's.
bed_runtime() {
    mkdir -p -m 700 "$BED_DIR/$1/runtime"
    echo "$BED_DIR/$1/runtime"
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
            env HOME="$(bed_home "$name")" XDG_RUNTIME_DIR="$(bed_runtime "$name")" \
            "$CONSOLE" "$@" <"$dir/in" >"$dir/out" 2>"$dir/err"
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
        bed_in "$name" env HOME="$(bed_home "$name")" XDG_RUNTIME_DIR="$(bed_runtime "$name")" \
            "$CONSOLE" "$@" </dev/null >"$out" 2>"$err"
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

# bed_stop HOST [quit|eof|term]: ends the console (a quit command, the end of its input, or
# SIGTERM) and checks that it exits with status 0.
bed_stop() {
    local name=$1 how=${2:-quit}
    if [[ $how == quit ]]; then
        bed_say "$name" quit
    fi
    if [[ $how == term ]]; then
        kill -TERM "${HOST_CONSOLE_PID[$name]}"  # its input stays open: the signal alone ends it
    else
        bed_close_input "$name"
    fi
    bed_until "$name exits" bed_exited "$name"
    bed_close_input "$name"
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

# bed_list_is HOST EXPECTED: the host's last list is exactly EXPECTED, in which the row of HOST
# itself shows the own row's mark.
bed_list_is() {
    local own
    own=$(bed_row "$1")
    [[ "$(bed_last_list "$1")" == "${2/"  $own"/"  $own（本机）"}" ]]
}

# bed_last_list_has HOST LINE...: the host's last list holds each of the lines (its rows are
# indented by two spaces).
bed_last_list_has() {
    local list line
    list=$(bed_last_list "$1")
    shift
    for line in "$@"; do
        grep -qxF -- "$line" <<<"$list" || return 1
    done
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

# bed_row HOST [ADDRESS]: the key under which the others list HOST (on its first address, or
# the one given).
bed_row() {
    echo "$(bed_owner) (${2:-${HOST_ADDRESS[$1]}}|$1)"
}

# bed_list HOST[@ADDRESS]...: the list showing exactly these hosts (each on its first address, or
# the one given), in list order (greatest key first).
bed_list() {
    local rows
    rows=$(for host in "$@"; do
        if [[ $host == *@* ]]; then bed_row "${host%@*}" "${host#*@}"; else bed_row "$host"; fi
    done | LC_ALL=C sort -r)
    printf '在线人数 %d' "$#"
    while IFS= read -r row; do
        printf '\n  %s' "$row"
    done <<<"$rows"
}
