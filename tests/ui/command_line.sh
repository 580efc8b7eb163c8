#!/bin/sh
# command_line.sh VERSION VELTRA_CONSOLE [VELTRA]
# --help and --version answer on standard output with status 0 before anything starts, and a
# wrong argument gets the usage on standard error with status 2. "Before anything starts" is
# shown by the circumstances: port 2425 is held by another console (so a program that opened its
# sockets would fail), and there is no display (so the dialogs could not have opened a window).
# Runs in the network namespace of tests/isolated.sh.
set -eu
version=$1 console=$2 dialogs=${3:-}
work=$(mktemp -d)
export HOME="$work/home"
mkdir "$HOME"
unset DISPLAY WAYLAND_DISPLAY XDG_DATA_HOME
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

cleanup() {
  exec 3>&- 2>/dev/null || true
  [ -z "${holder:-}" ] || wait "$holder" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The holder: a console that keeps port 2425 until its input closes.
mkfifo "$work/holder-in"
"$console" <"$work/holder-in" >"$work/holder-out" 2>&1 &
holder=$!
exec 3>"$work/holder-in"
tries=0
until grep -q '^ready$' "$work/holder-out"; do
  tries=$((tries + 1))
  [ "$tries" -le 100 ] || { cat "$work/holder-out" >&2; echo "FAIL: the holder did not start" >&2; exit 1; }
  sleep 0.1
done

# run RECORD EXPECTED_STATUS PROGRAM ARG...: runs it, keeps its output in $work/RECORD.out and .err.
run() {
  record=$1 expected=$2
  shift 2
  status=0
  "$@" </dev/null >"$work/$record.out" 2>"$work/$record.err" || status=$?
  [ "$status" = "$expected" ] || fail "$* exited $status, not $expected: $(cat "$work/$name.err")"
}
expect_text() {  # expect_text FILE EXACT_TEXT
  [ "$(cat "$1")" = "$2" ] || fail "$(basename "$1") is '$(cat "$1")', not '$2'"
}
expect_line() {  # expect_line FILE PATTERN
  grep -q -- "$2" "$1" || fail "$(basename "$1") has no line matching '$2': $(cat "$1")"
}

check() {  # check NAME PROGRAM
  name=$1 program=$2
  run "$name-version" 0 "$program" --version
  expect_text "$work/$name-version.out" "$name $version"
  expect_text "$work/$name-version.err" ""
  run "$name-help" 0 "$program" --help
  expect_line "$work/$name-help.out" "^Usage: $name "
  expect_line "$work/$name-help.out" "--version"
  expect_text "$work/$name-help.err" ""
  run "$name-unknown" 2 "$program" --no-such-option
  expect_text "$work/$name-unknown.out" ""
  expect_line "$work/$name-unknown.err" "'--no-such-option'"
  expect_line "$work/$name-unknown.err" "^Usage: $name "
  run "$name-operand" 2 "$program" --some-option some-file
  expect_line "$work/$name-operand.err" "'--some-option'"
}

check veltra-console "$console"
# The console takes no operand; veltra takes files (the file manager's).
run console-operand 2 "$console" some-file
expect_line "$work/console-operand.err" "'some-file'"
for option in --send --message --linger --json --history offer quit; do
  expect_line "$work/veltra-console-help.out" "$option"
done
# The one-shot options are checked before anything starts as well.
run console-send 2 "$console" --send 10.0.0.1
expect_line "$work/console-send.err" "'--send' needs at least one path"
run console-send-address 2 "$console" --send 10.0.0.256 file
expect_line "$work/console-send-address.err" "'10.0.0.256'"
run console-message 2 "$console" --message 10.0.0.1
expect_line "$work/console-message.err" "'--message'"
run console-linger 2 "$console" --linger soon
expect_line "$work/console-linger.err" "'--linger'"
# --history reads the holder's history beside it, without starting: oldest first, N honoured,
# one JSON object per row with --json.
run console-history-empty 0 "$console" --history
expect_text "$work/console-history-empty.out" ""
printf 'msg 127.0.0.1 first\nmsg 127.0.0.1 second\n' >&3
tries=0
until [ "$(grep -c '"kind":"message_sent"' "$work/console-history.out" 2>/dev/null)" = 2 ]; do
  tries=$((tries + 1))
  [ "$tries" -le 100 ] || { fail "the history has not the two messages sent"; break; }
  sleep 0.1
  run console-history 0 "$console" --history 1000 --json
done
[ "$(grep -vc '^{"event":"history","time":"[^"]*","kind":"message_' "$work/console-history.out")" = 0 ] ||
  fail "not one history object per line: $(cat "$work/console-history.out")"
sed -n 's/.*"kind":"message_sent".*"text":"\([a-z]*\)".*/\1/p' "$work/console-history.out" >"$work/sent"
expect_text "$work/sent" "first
second"
run console-history-last 0 "$console" --json --history=1
[ "$(wc -l <"$work/console-history-last.out")" = 1 ] ||
  fail "--history=1 printed $(wc -l <"$work/console-history-last.out") lines"
expect_text "$work/console-history-last.out" "$(tail -n 1 "$work/console-history.out")"
run console-history-text 0 "$console" --history
expect_line "$work/console-history-text.out" "^[0-9-]* [0-9:]* 发给 .*127.0.0.1.*:$"
expect_line "$work/console-history-text.out" "^ second$"
run console-history-zero 2 "$console" --history 0
expect_line "$work/console-history-zero.err" "'--history'"

# The control: started for real, the console finds the port taken, and says which step failed.
run console-start 1 "$console"
expect_line "$work/console-start.err" "^veltra-console: cannot start the messenger: cannot bind UDP port 2425: "

if [ -n "$dialogs" ]; then
  check veltra "$dialogs"
  # The control: started for real without a display, the dialogs end with the status their
  # man page gives, and say why.
  run veltra-display 1 env -u DISPLAY -u WAYLAND_DISPLAY "$dialogs"
  expect_line "$work/veltra-display.err" "^veltra: cannot open the display"
  run veltra-files-display 1 env -u DISPLAY -u WAYLAND_DISPLAY "$dialogs" some-file
  expect_line "$work/veltra-files-display.err" "^veltra: cannot open the display"

fi

# The holder leaves as it should at the end of its input (and, in a sanitizer build, says nothing).
exec 3>&-
status=0
wait "$holder" || status=$?
holder=""
[ "$status" = 0 ] || fail "the holder exited $status"
! grep -qE 'Sanitizer|runtime error' "$work/holder-out" || fail "holder: $(cat "$work/holder-out")"

[ "$failures" = 0 ] || exit 1
echo "command line: every answer as expected"
