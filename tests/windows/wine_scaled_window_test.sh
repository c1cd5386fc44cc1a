#!/bin/bash
# odomei.exe under Wine at 100 %, 125 % and 150 % display scaling (96, 120 and 144 DPI): after a
# read the record list, the port chooser's list and the history's show every caption and text
# whole without a horizontal scroll bar (list_probe looks), and a picture of each window is kept
# in the build folder, the history with its charts. Wine takes a new DPI only when its server
# starts: the server is restarted for each, and at the end at 96 DPI again.
set -u
exe=$1 metersim=$2 build=$3 com1=$4 probe=$5 history_probe=$6 port_probe=$7
# shellcheck source=tests/windows/wine_window_common.sh
. "$(dirname "$0")/wine_window_common.sh"
failures=0
server() {
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    wineserver -k 2>/dev/null
    wineserver -w
    # One server again, its output (a flood on every hang-up) kept out of the test's.
    wineserver -p </dev/null >>"$build/wineserver.log" 2>&1
    wine wineboot </dev/null >/dev/null 2>&1
}
# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
    stop_started
    server 96
    rm -rf "$work"
}
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# shellcheck disable=SC2317  # called through wait_for
shown() { xdotool search --name "$1" >/dev/null 2>&1; }
# shellcheck disable=SC2317  # called through wait_for
gone() { ! shown "$1"; }
# Opens a window of the main window's with its probe, keeps its picture and looks at its list.
look_at() {
    local title=$1 opener=$2 list=$3 shot=$4 seen
    wine "$opener" open || { fail "$dpi DPI: no button for $title"; return; }
    wait_for 100 shown "^$title\$" || { fail "$dpi DPI: no $title window"; return; }
    sleep 1
    timeout 20 import -window "$(xdotool search --name "^$title\$" 2>/dev/null | head -n 1)" \
        "$shot" || fail "$dpi DPI: no picture of $title"
    if seen=$(wine "$probe" "$list" 2>&1); then
        echo "$dpi DPI, $title: $seen"
    else
        fail "$dpi DPI, $title: $seen"
    fi
    key "^$title\$" Escape
    wait_for 50 gone "^$title\$" || fail "$dpi DPI: $title stayed"
}

for dpi in 96 120 144; do
    server "$dpi"
    rm -f "$com1"
    "$metersim" --link "$com1" >"$work/sim.log" 2>&1 &
    sim=$!
    wait_for 50 test -L "$com1" || { fail "$dpi DPI: the simulator did not start"; break; }
    mkdir -p "$work/$dpi"
    (cd "$work/$dpi" && exec wine "$exe" >"$work/app.log" 2>&1) &
    app=$!
    if ! wait_for 300 has_windows 1; then
        fail "$dpi DPI: the window did not appear"
    else
        W=$(xdotool search --name '^ODOMEI$' 2>/dev/null | head -n 1)
        sleep 1  # keys sent while the window is still settling get lost
        # Two tabs from the exit button lead to the read button; the question is answered yes.
        key '^ODOMEI$' Tab Tab space
        wait_for 100 has_windows 2 || fail "$dpi DPI: no question before the read"
        key '^ODOMEI$' Return
        wait_for 200 test -s "$work/$dpi/odomei-logbook.sqlite3" || fail "$dpi DPI: no read"
        sleep 0.5
        timeout 20 import -window "$W" "$build/odomei-windows-${dpi}dpi.png" ||
            fail "$dpi DPI: no picture"
        seen=$(wine "$probe" 2>&1) || fail "$dpi DPI: $seen"
        echo "$dpi DPI: $seen"
        # The chooser, the port in use in bold, and the history over that read: both dialogs as
        # large as the display's scaling, the history's charts too.
        look_at ポート設定 "$port_probe" ports "$build/odomei-ports-${dpi}dpi.png"
        look_at 履歴 "$history_probe" history "$build/odomei-windows-history-${dpi}dpi.png"
    fi
    kill "$app" 2>/dev/null
    wait "$app" 2>/dev/null
    app=""
    kill "$sim" 2>/dev/null
    wait "$sim" 2>/dev/null
    sim=""
done
[ "$failures" -eq 0 ] && echo "the lists are whole at 96, 120 and 144 DPI; pictures in $build"
exit "$failures"
