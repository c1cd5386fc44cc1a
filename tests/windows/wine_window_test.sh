#!/bin/bash
# odomei.exe under Wine on the test display, driven by keyboard as a user would: Enter does
# nothing, the About box opens from the window menu, a read that meets three bad check bytes
# says so, the next read fills the list (saved as a picture), the save dialog writes the golden
# CSV, the history opens, and the exit question ends the program.
set -u
exe=$1 metersim=$2 data=$3 shot=$4 com1=$5
# shellcheck source=tests/windows/wine_window_common.sh
. "$(dirname "$0")/wine_window_common.sh"
main_window() { xdotool search --name '^ODOMEI$' 2>/dev/null | head -n 1; }
# The message box over the main window, if there is one.
box() { xdotool search --name '^ODOMEI$' 2>/dev/null | grep -v -x "$W" | head -n 1; }
another_box() { local b; b=$(box); [ -n "$b" ] && [ "$b" != "$1" ]; }

rm -f "$com1"
"$metersim" --link "$com1" --bad-checks 3 >"$work/sim.log" 2>&1 &
sim=$!
wait_for 50 test -L "$com1" || die "the simulator did not start"

mkdir "$work/run"
cd "$work/run" || exit 1
started_on=$(date +%F)
wine "$exe" >"$work/app.log" 2>&1 &
app=$!
wait_for 300 has_windows 1 || die "the window did not appear: $(cat "$work/app.log")"
W=$(main_window)

# Enter and Escape do nothing in the main window.
key '^ODOMEI$' Return Escape
sleep 0.5
has_windows 1 || die "Enter or Escape did something in the main window"

# The window menu's About entry, its last (Wine's own About entry takes the letter A), and the
# box's own Enter.
key '^ODOMEI$' alt+space
sleep 0.5
xdotool key Up Return
wait_for 100 bash -c "xdotool search --name '^Korvana' >/dev/null 2>&1" || die "no About box"
key '^Korvana' Return
wait_for 50 bash -c "! xdotool search --name '^Korvana' >/dev/null 2>&1" || die "the About box stayed"

# The focus starts on the exit button; two tabs lead to the read button. The meter's first
# three answers have a wrong check byte: the read tries three times, then says so.
key '^ODOMEI$' Tab Tab space
wait_for 100 has_windows 2 || die "no question before the read"
question=$(box)
key '^ODOMEI$' Return
wait_for 150 another_box "$question" || die "no message after three bad check bytes"
key '^ODOMEI$' Return
wait_for 50 has_windows 1 || die "the check-byte message stayed"
[ -e odomei-logbook.sqlite3 ] && die "a failed read reached the logbook"

# The next read gets the block: the list fills and the records go into the logbook.
key '^ODOMEI$' space
wait_for 100 has_windows 2 || die "no question before the second read"
key '^ODOMEI$' Return
wait_for 200 test -s odomei-logbook.sqlite3 || die "the read did not end in the logbook"
sleep 0.5
import -window "$W" "$shot" || die "no screenshot"

# The read button is disabled now: the focus has gone on to the save button. The dialog starts
# in the working folder.
key '^ODOMEI$' space
wait_for 100 bash -c "xdotool search --name '名前を付けて保存|Save As' >/dev/null 2>&1" ||
    die "no save dialog"
sleep 0.5
xdotool type --delay 30 saved.csv
xdotool key Return
wait_for 100 test -s saved.csv || die "the list was not saved"
wait_for 100 has_windows 2 || die "no message after the save"
key '^ODOMEI$' Return
wait_for 50 has_windows 1 || die "the saved message stayed"
cmp -s saved.csv "$data/sample_history.csv" || die "the saved CSV differs from the golden file"
banner=$(printf '＊＊＊＊＊＊＊＊アプリケーション起動＊＊＊＊＊＊＊＊' | iconv -f UTF-8 -t CP932)
# The log starts afresh at its first entry of a new date: past midnight the banner may be gone.
[ "$(date +%F)" != "$started_on" ] || grep -q -F "$banner" KORVANA.log || die "no CP932 start banner in the log"
section=$(printf '[シリアル通信設定]' | iconv -f UTF-8 -t CP932)
grep -q -F "$section" KORVANA.ini || die "the port setting was not written back"

# From the save button: clear, then the history, which closes with Escape.
key '^ODOMEI$' Tab Tab space
wait_for 100 bash -c "xdotool search --name '^履歴$' >/dev/null 2>&1" || die "no history window"
key '^履歴$' Escape
wait_for 50 bash -c "! xdotool search --name '^履歴$' >/dev/null 2>&1" || die "the history stayed"

# Past ポート設定 and 車両 on to the exit button; the question is answered yes.
key '^ODOMEI$' Tab Tab Tab space
wait_for 100 has_windows 2 || die "no question before the exit"
key '^ODOMEI$' Return
for _ in $(seq 1 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && die "the program did not end after the exit question"
wait "$app"
rc=$?
app=""
[ "$rc" -eq 0 ] || die "the program ended with status $rc"
echo "odomei.exe read, saved and ended as it should; picture in $shot"
