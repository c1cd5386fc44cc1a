#!/bin/bash
# odomei.exe's port chooser under Wine, driven by keyboard: the setting leads to COM2 (a path that
# does not exist), so the start says the port cannot be opened; ポート設定 lists COM1 (the
# simulator) as free among ports that cannot be opened, follows the simulator going and coming
# back (the system's device-change broadcast), and a choice of COM1 opens it: the read fills the
# logbook, and the next start finds COM1 in KORVANA.ini. port_probe reads the chooser's list;
# list_probe finds it whole (no horizontal scroll bar, every column as wide as its texts); a
# picture of the chooser is kept.
set -u
exe=$1 metersim=$2 com1=$3 probe=$4 shot=$5 list_probe=$6
# shellcheck source=tests/windows/wine_window_common.sh
. "$(dirname "$0")/wine_window_common.sh"
# A failure shows the chooser's rows as last read.
die() {
    echo "FAIL: $*"
    [ -s "$work/rows" ] && { echo "the chooser's rows:"; cat "$work/rows"; }
    exit 1
}
# shellcheck disable=SC2317  # called through wait_for
chooser_open() { xdotool search --name '^ポート設定$' >/dev/null 2>&1; }
# shellcheck disable=SC2317  # called through wait_for
chooser_closed() { ! chooser_open; }
# Answers the message box with Enter, again if a busy machine let the first key go elsewhere.
dismiss() {
    for _ in 1 2 3; do
        key '^ODOMEI$' Return
        wait_for 50 has_windows 1 && return 0
    done
    return 1
}
rows() { wine "$probe" rows >"$work/rows" 2>/dev/null </dev/null; }
# The state column (the last) of the row of a port, without the selection mark, as last read.
state_read() { awk -F '\t' -v port="$1" 'substr($1, 2) == port { print $NF }' "$work/rows"; }
state_of() { rows && state_read "$1"; }
# shellcheck disable=SC2317  # called through wait_for
state_is() { [ "$(state_of "$1")" = "$2" ]; }
start_sim() {
    rm -f "$com1"
    "$metersim" --link "$com1" >>"$work/sim.log" 2>&1 &
    sim=$!
    wait_for 50 test -L "$com1" || die "the simulator did not start"
}
stop_sim() {
    kill "$sim" 2>/dev/null
    wait "$sim" 2>/dev/null
    sim=""
    wait_for 50 test ! -e "$com1" || die "the simulator's link stayed"
}
ini_setting() {
    iconv -f CP932 -t UTF-8 KORVANA.ini | tr -d '\r' | sed -n 's/^ｼﾘｱﾙﾎﾟｰﾄ番号=//p'
}

start_sim
mkdir "$work/run"
cd "$work/run" || exit 1
printf '[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=2\r\n' | iconv -f UTF-8 -t CP932 >KORVANA.ini
wine "$exe" >"$work/app.log" 2>&1 &
app=$!
wait_for 300 has_windows 2 || die "no message that COM2 cannot be opened: $(cat "$work/app.log")"
dismiss || die "the port message stayed"

# From the exit button: the list, then past the disabled buttons to 履歴 and ポート設定.
key '^ODOMEI$' Tab Tab Tab space
wait_for 300 chooser_open || die "ポート設定 opened no chooser"
wait_for 100 rows || die "port_probe cannot read the chooser"
# The chooser fills its list while it looks at the ports: both states from one reading, once the
# list has them.
# shellcheck disable=SC2317  # called through wait_for
told_apart() {
    rows || return 1
    free=$(state_read COM1) missing=$(state_read COM3)
    [ -n "$free" ] && [ -n "$missing" ] && [ "$free" != "$missing" ]
}
wait_for 100 told_apart || die "COM1 (the simulator) and COM3 (no device) are not told apart"
for n in 4 5 6 7 8 9; do
    [ "$(state_of "COM$n")" = "$missing" ] || die "COM$n is not shown as COM3 is"
done
case $(state_of COM2) in
    *現在の設定*) ;;
    *) die "COM2, the setting in use, is not marked" ;;
esac
# COM10 is the machine's own /dev/ttyS0 (Wine's choice): listed, never opened, never choosable.
[ "$(state_of COM10)" != "$free" ] || die "COM10 (the machine's ttyS0) is shown free"
grep -q '^\*COM2	' "$work/rows" || die "the setting's port is not selected"
cp "$work/rows" "$work/first-rows"
import -window "$(xdotool search --name '^ポート設定$' | head -n 1)" "$shot" || die "no screenshot"
# The longest state, COM2's in bold, is whole, and the list does not scroll sideways.
whole=$(wine "$list_probe" ports 2>&1 </dev/null) || die "the chooser's list is not whole: $whole"

# The simulator goes and comes back, as an adapter pulled out and plugged in again: the system's
# broadcast makes the chooser look again.
stop_sim
wine "$probe" devicechange </dev/null >/dev/null 2>&1
wait_for 100 state_is COM1 "$missing" || die "COM1 still shown as before after it went"
start_sim
wine "$probe" devicechange </dev/null >/dev/null 2>&1
wait_for 100 state_is COM1 "$free" || die "COM1 not shown free after it came back"

# COM1 is the first row; Enter chooses it. The setting is written at once.
key '^ポート設定$' Home
wait_for 30 bash -c "grep -q '^\*COM1	' <(wine '$probe' rows 2>/dev/null </dev/null)" ||
    die "Home did not select COM1"
key '^ポート設定$' Return
wait_for 100 chooser_closed || die "the chooser stayed after a choice of COM1"
wait_for 30 has_windows 1 || die "a message after the choice of COM1"
[ "$(ini_setting)" = "1" ] || die "KORVANA.ini says COM$(ini_setting), not COM1"

# The focus is back on ポート設定: on past 車両 to the exit button, the list and the read button,
# enabled now.
key '^ODOMEI$' Tab Tab Tab Tab space
wait_for 100 has_windows 2 || die "no question before the read"
key '^ODOMEI$' Return
wait_for 200 test -s odomei-logbook.sqlite3 || die "the read on the chosen port did not end"
key '^ODOMEI$' alt+F4
wait_for 100 bash -c "! kill -0 $app 2>/dev/null" || die "the program did not end"
wait "$app"
app=""

# The next start opens COM1 without a word; the window menu's entry shows it as the setting's, and
# the meter search finds the meter there.
wine "$exe" >>"$work/app.log" 2>&1 &
app=$!
wait_for 300 has_windows 1 || die "the window did not appear again"
sleep 2
has_windows 1 || die "a message at the next start: the choice was not kept"
key '^ODOMEI$' alt+space
sleep 0.5
xdotool key p
wait_for 300 chooser_open || die "the window menu's ポート設定 opened no chooser"
wait_for 100 rows || die "port_probe cannot read the chooser"
case $(state_of COM1) in
    *現在の設定*) ;;
    *) die "COM1 is not the setting's port at the next start" ;;
esac

# メーターを探す tries USB adapters only (Wine has none), then with 内蔵ポートも探す the hardware
# ports that are free: only COM1, where the meter answers.
key '^ポート設定$' Tab Tab space
wait_for 100 has_windows 2 || die "no message from a search without USB adapters"
wine "$probe" message nosearch </dev/null >"$work/message" 2>&1 ||
    die "not the message that there is no port to search: $(cat "$work/message")"
dismiss || die "the search's message stayed"
key '^ポート設定$' Tab space shift+Tab space
wait_for 150 has_windows 2 || die "no message after the search of the hardware ports"
wine "$probe" message found COM1 </dev/null >"$work/message" 2>&1 ||
    die "not the message that the meter is on COM1: $(cat "$work/message")"
dismiss || die "the search's message stayed"
key '^ポート設定$' Escape
wait_for 50 chooser_closed || die "Escape did not close the chooser"
key '^ODOMEI$' alt+F4
wait_for 100 bash -c "! kill -0 $app 2>/dev/null" || die "the program did not end"
wait "$app"
rc=$?
app=""
[ "$rc" -eq 0 ] || die "the program ended with status $rc"
echo "the chooser listed the ports, followed the simulator, and its choice was read and kept;"
echo "its list at the start: $whole"
echo "its rows at the start (picture in $shot):"
cat "$work/first-rows"
