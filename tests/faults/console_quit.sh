#!/bin/bash
# console_quit.sh CONSOLE SLOW_PEER quit|eof|term
# A veltra-console that is told to quit (or whose input ends, or that gets SIGTERM) while a file
# is still arriving: it exits promptly with status 0 and no sanitizer report, the file cut short
# leaves nothing behind, under any name, and nothing is written after. Runs on the private bridge of
# tests/lan/lan_bed.sh, inside tests/isolated.sh: hosta is a slow serving peer, hostb the console.
set -euo pipefail

[[ $# == 3 ]] || { echo "usage: console_quit.sh CONSOLE SLOW_PEER quit|eof" >&2; exit 2; }
CONSOLE=$1
SLOW_PEER=$2
HOW=$3
source "$(dirname "$0")/../lan/lan_bed.sh"

bed_up
bed_add_host hosta 1
bed_add_host hostb 2
bed_start hostb

# 64 MiB at 64 KiB every 50 ms: about 50 s, far longer than the test.
# It must not hold hostb's input open, or hostb would never see its input end.
(
    bed_close_inherited
    bed_in hosta "$SLOW_PEER" "${HOST_ADDRESS[hosta]}" "${HOST_ADDRESS[hostb]}" 67108864 65536 50
) >"$BED_DIR/peer.out" 2>&1 &
peer=$!

bed_until "hostb starts receiving" grep -q '^开始接收文件slow.bin$' "$(bed_out hostb)"
bed_until "hostb has received some chunks" \
    bash -c "[[ \$(grep -c '%\$' '$(bed_out hostb)') -ge 3 ]]"
bed_running hostb || bed_fail "hostb died during the transfer"

started=$SECONDS
bed_stop hostb "$HOW"  # checks status 0, no sanitizer report, within the bed's wait
echo "hostb exited $((SECONDS - started)) s after being told to $HOW, mid-transfer"

received="$(bed_home hostb)/Received"
# Cut short, the file leaves nothing: no partial file, no hidden temporary.
left=$(find "$received" -mindepth 1)
[[ -z $left ]] || bed_fail "the file cut short left: $left"
sleep 1
[[ -z $(find "$received" -mindepth 1) ]] || bed_fail "files appeared after exit"

# The peer notices the receiver going away instead of sending on for ever.
deadline=$((SECONDS + 10))
while kill -0 "$peer" 2>/dev/null; do
    ((SECONDS < deadline)) || bed_fail "the serving peer never noticed the receiver leaving"
    sleep 0.1
done
wait "$peer" || bed_fail "slow_peer failed: $(cat "$BED_DIR/peer.out")"
grep -q '^closed by the receiver$' "$BED_DIR/peer.out" || bed_fail "peer: $(cat "$BED_DIR/peer.out")"
served=$(sed -n 's/^served \([0-9]*\) of.*/\1/p' "$BED_DIR/peer.out")
((served < 67108864)) || bed_fail "the whole file went out: the console did not quit mid-transfer"
echo "console $HOW mid-transfer: the console exited cleanly after $served bytes, leaving nothing; 1 passed"
