#!/bin/bash
# odomei.exe under Wine at 125 % and 150 % display scaling (120 and 144 DPI): after a read the
# record list shows every caption and figure whole without a horizontal scroll bar (list_probe
# looks), and a picture of each is kept in the build folder, with one of the history window and
# its charts at that scaling. Wine takes a new DPI only when its
# server starts: the server is restarted for each, and at the end at 96 DPI again.
set -u
exe=$1 metersim=$2 build=$3 com1=$4 probe=$5 history_probe=$6
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
key() {
    xdotool windowfocus --sync "$(xdotool search --name '^ODOMEI$' 2>/dev/null | tail -n 1)" 2>/dev/null
    xdotool key --delay 50 "$@"
}

for dpi in 120 144; do
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
        key Tab Tab space
        wait_for 100 has_windows 2 || fail "$dpi DPI: no question before the read"
        key Return
        wait_for 200 test -s "$work/$dpi/odomei-logbook.sqlite3" || fail "$dpi DPI: no read"
        sleep 0.5
        timeout 20 import -window "$W" "$build/odomei-windows-${dpi}dpi.png" ||
            fail "$dpi DPI: no picture"
        seen=$(wine "$probe" 2>&1) || fail "$dpi DPI: $seen"
        echo "$dpi DPI: $seen"
        # The history over that read: the dialog and its charts as large as the display's scaling.
        wine "$history_probe" open || fail "$dpi DPI: no history button"
        if wait_for 100 bash -c "xdotool search --name '^履歴$' >/dev/null 2>&1"; then
            sleep 1
            H=$(xdotool search --name '^履歴$' 2>/dev/null | head -n 1)
            timeout 20 import -window "$H" "$build/odomei-windows-history-${dpi}dpi.png" ||
                fail "$dpi DPI: no picture of the history"
        else
            fail "$dpi DPI: no history window"
        fi
    fi
    kill "$app" 2>/dev/null
    wait "$app" 2>/dev/null
    app=""
    kill "$sim" 2>/dev/null
    wait "$sim" 2>/dev/null
    sim=""
done
[ "$failures" -eq 0 ] && echo "the list is whole at 120 and 144 DPI; pictures in $build"
exit "$failures"
