# shellcheck shell=bash
# shellcheck disable=SC2154,SC2034 # the settings and tables of console_compare.sh and lan_bed.sh
# Sourced by console_compare.sh: the rounds' figures kept per case, file system, contender and
# field, and printed as medians with ratios, per case and as one closing Markdown table. The
# table's ratios are the medians of each round's own ratio (Veltra's wall over the plain tool's in
# the same round), which compare runs made under the same load on a shared machine.

declare -A results
# record KEY VALUE: appends VALUE to the list under KEY.
record() {
    results[$1]="${results[$1]:-} $2"
}
median() {
    # No values (a contender left out) is "nan", not a failed pipeline that set -e would end on.
    echo "$@" | tr ' ' '\n' | { grep . || true; } | sort -g |
        awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else print v[int((NR + 1) / 2)] }'
}
# record_round_ratios CASE FS: Veltra's wall over each plain tool's in the round just run
# (round_wall, by contender).
record_round_ratios() {
    local name veltra=${round_wall[veltra]:-}
    for name in tar rsync; do
        [[ -n $veltra && -n ${round_wall[$name]:-} ]] || continue
        record "$1|$2|veltra|per_$name" \
            "$(awk -v a="$veltra" -v b="${round_wall[$name]}" 'BEGIN { printf "%.3f", a / b }')"
    done
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
    local name
    for name in tar rsync; do
        [[ -n ${results[$1|$2|veltra|per_$name]:-} ]] || continue
        printf '  Veltra ÷ %s per round:%s, median %s\n' "$name" \
            "${results[$1|$2|veltra|per_$name]}" "$(figure "$1" "$2" veltra "per_$name")"
    done
    # One row of the closing table: Veltra, tar | nc, rsync.
    local walls="" cpus="" peaks=""
    for name in veltra tar rsync; do
        walls+=" $(figure "$1" "$2" $name wall)"
        cpus+=" $(figure "$1" "$2" $name rcpu)"
        peaks+=" $(figure "$1" "$2" $name rpeak)"
    done
    table_rows+=("$(awk -v c="$1" -v f="$2" -v w="$walls" -v cpu="$cpus" -v p="$peaks" \
        -v rt="$(figure "$1" "$2" veltra per_tar)" -v rr="$(figure "$1" "$2" veltra per_rsync)" '
        function shown(x, unit, scale) { return x == "nan" ? "–" : sprintf("%.2f%s", x / scale, unit) }
        BEGIN {
            split(w, W, " "); split(cpu, C, " "); split(p, P, " ")
            printf "| %s | %s | %s | %s | %s | **%s** | **%s** | %s / %s / %s | %s / %s / %s |",
                   c, f, shown(W[1], " s", 1), shown(W[2], " s", 1), shown(W[3], " s", 1),
                   shown(rt, "", 1), shown(rr, "", 1), shown(C[1], "", 1), shown(C[2], "", 1),
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
