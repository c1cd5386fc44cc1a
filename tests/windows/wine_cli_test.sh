#!/bin/bash
# odomei-cli.exe under Wine against the Linux simulator, on the pseudo-terminal the test prefix
# calls COM1: the golden CSV, its bytes on standard output, the time-out, three bad check bytes,
# Ctrl+C during a read, the port list, a port without a device, COM12 chosen by a UTF-8
# KORVANA.ini as Notepad saves it, and the console's code page given back to the shell.
set -u
cli=$1 metersim=$2 data=$3 com1=$4 probe=$5
work=$(mktemp -d)
sim=""
failures=0
# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The simulator on COM1's link, or with link=... on another one.
start_sim() {
    local at=${link:-$com1}
    rm -f "$at"
    "$metersim" --link "$at" "$@" >"$work/sim.log" 2>&1 &
    sim=$!
    for _ in $(seq 1 100); do [ -L "$at" ] && return 0; sleep 0.05; done
    echo "the simulator did not start"; cat "$work/sim.log"; exit 1
}
stop_sim() { kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; sim=""; }

# Runs the program in a fresh folder of its own; sets rc and took (milliseconds).
run() {
    local dir=$1; shift
    mkdir -p "$work/$dir"
    local start end
    start=$(date +%s%N)
    (cd "$work/$dir" && wine "$cli" "$@" >stdout.bin 2>stderr.txt)
    rc=$?
    end=$(date +%s%N)
    took=$(((end - start) / 1000000))
}

start_sim
started_on=$(date +%F)
run golden read --port COM1 -o out.csv
[ "$rc" -eq 0 ] || fail "read: status $rc: $(cat "$work/golden/stderr.txt")"
cmp -s "$work/golden/out.csv" "$data/sample_history.csv" || fail "the saved CSV differs from the golden file"
# The log: the banner and the block in CP932, as the Linux programs write them.
banner=$(printf '＊＊＊＊＊＊＊＊アプリケーション起動＊＊＊＊＊＊＊＊' | iconv -f UTF-8 -t CP932)
# The log starts afresh at its first entry of a new date: past midnight the banner may be gone.
[ "$(date +%F)" != "$started_on" ] || grep -q -F "$banner" "$work/golden/KORVANA.log" || fail "no CP932 start banner in the log"
[ -s "$work/golden/odomei-logbook.sqlite3" ] || fail "the read was not kept in the logbook"
run stdout read --port COM1 --format csv
[ "$rc" -eq 0 ] || fail "read to standard output: status $rc"
cmp -s "$work/stdout/stdout.bin" "$data/sample_history.csv" || fail "standard output differs from the golden file"
stop_sim

start_sim --silent
run silent read --port COM1 -o out.csv
[ "$rc" -eq 4 ] || fail "silent meter: status $rc, not 4"
[ "$took" -ge 9500 ] || fail "silent meter: gave up after $took ms, before about ten seconds"
[ -e "$work/silent/out.csv" ] && fail "silent meter: an output file was written"
grep -q 'タイムアウト' "$work/silent/stderr.txt" || fail "silent meter: no time-out message"
stop_sim

start_sim --bad-checks 3
run bcc read --port COM1 -o out.csv
[ "$rc" -eq 5 ] || fail "three bad check bytes: status $rc, not 5"
[ -e "$work/bcc/out.csv" ] && fail "three bad check bytes: an output file was written"
stop_sim

# Wine turns SIGINT into Ctrl+C for the program: it ends at once, with 130 and no file.
start_sim --silent
mkdir -p "$work/interrupt"
(cd "$work/interrupt" && exec wine "$cli" read --port COM1 -o out.csv >stdout.bin 2>stderr.txt) &
reader=$!
sleep 2
kill -INT "$reader"
wait "$reader"
rc=$?
[ "$rc" -eq 130 ] || fail "Ctrl+C: status $rc, not 130"
[ -e "$work/interrupt/out.csv" ] && fail "Ctrl+C: an output file was written"
stop_sim

# The console is the shell's: odomei-cli.exe gives back the code page it found (932, as in a
# Japanese cmd.exe) when it ends, by Ctrl+C too. script gives Wine a terminal, so that the probe
# and the program share a console.
on_console() {
    local result=$work/console.txt
    rm -f "$result"
    (cd "$work" && script -qec "wine $(printf '%q ' "$probe" "$(winepath -w "$result")" "$@")" \
        /dev/null </dev/null >/dev/null 2>&1)
    cat "$result" 2>/dev/null || echo "the probe failed"
}
console=$(on_console "$cli" --version)
[ "$console" = "status=0 codepage=932 mode=kept" ] || fail "the console after a run: $console"
start_sim --silent
console=$(on_console --interrupt "$cli" read --port COM1 -o out.csv)
[ "$console" = "status=130 codepage=932 mode=kept" ] || fail "the console after Ctrl+C: $console"
stop_sim

# COM12, mapped by the prefix to a link beside COM1's, chosen by the setting 12 of a KORVANA.ini
# in UTF-8 with a byte-order mark and CR LF.
link=$(dirname "$com1")/com12 start_sim
mkdir -p "$work/com12"
printf '\xEF\xBB\xBF[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=12\r\n' >"$work/com12/KORVANA.ini"
run com12 read -o out.csv
[ "$rc" -eq 0 ] || fail "COM12 from a UTF-8 KORVANA.ini: status $rc: $(cat "$work/com12/stderr.txt")"
cmp -s "$work/com12/out.csv" "$data/sample_history.csv" || fail "COM12: the CSV differs from the golden file"
stop_sim

run ports ports
[ "$rc" -eq 0 ] || fail "ports: status $rc"
grep -q '^COM1' "$work/ports/stdout.bin" || fail "ports does not list COM1"

run missing read --port COM2 -o out.csv
[ "$rc" -eq 3 ] || fail "a port without a device: status $rc, not 3"

[ "$failures" -eq 0 ] && echo "all odomei-cli.exe checks passed"
exit "$failures"
