#!/usr/bin/env bash
# The main window under a real window manager (openbox on Xvfb): a normal application window, so
# taskbars and Alt+Tab list it, that no other window owns, with a fixed size and no minimise or
# maximise box. Usage: BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
tmp=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.05; done
display=$(cat "$tmp/display")
export DISPLAY=":$display"
openbox --sm-disable >"$tmp/openbox.out" 2>&1 &
pids+=($!)
# The window manager is ready once it has announced itself on the root window.
for _ in $(seq 200); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.05
done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || { echo "openbox did not start"; cat "$tmp/openbox.out"; exit 1; }

"$build/tools/metersim/metersim" --link "$tmp/meter-tty" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -L "$tmp/meter-tty" ] && break; sleep 0.05; done
printf '[Ports]\r\nCOM1=%s\r\n' "$tmp/meter-tty" >"$tmp/KORVANA.ini"
(cd "$tmp" && QT_QPA_PLATFORM=xcb exec "$build/odomei") >"$tmp/odomei.out" 2>&1 &
pids+=($!)

window=""
for _ in $(seq 200); do
    window=$(xdotool search --onlyvisible --name '^ODOMEI$' 2>/dev/null | head -n1) && [ -n "$window" ] && break
    sleep 0.05
done
[ -n "$window" ] || { echo "no ODOMEI window appeared"; cat "$tmp/odomei.out"; exit 1; }
sleep 0.3  # the window manager has taken the window over

props=$(xprop -id "$window" _NET_WM_WINDOW_TYPE _NET_WM_STATE WM_TRANSIENT_FOR WM_NORMAL_HINTS _NET_WM_ALLOWED_ACTIONS)
echo "$props"
fail() { echo "FAILED: $1"; exit 1; }
grep -q '_NET_WM_WINDOW_TYPE(ATOM) = _NET_WM_WINDOW_TYPE_NORMAL$' <<<"$props" || fail "not a normal window"
! grep -q '_NET_WM_STATE_SKIP_TASKBAR' <<<"$props" || fail "kept off the taskbar"
! grep -q '_NET_WM_STATE_MODAL' <<<"$props" || fail "modal, as some other window's dialog"
grep -q 'WM_TRANSIENT_FOR:  not found' <<<"$props" || fail "owned by another window"
grep -q 'program specified minimum size' <<<"$props" || fail "no fixed size"
min=$(sed -n 's/.*program specified minimum size: \([0-9]* by [0-9]*\).*/\1/p' <<<"$props")
max=$(sed -n 's/.*program specified maximum size: \([0-9]* by [0-9]*\).*/\1/p' <<<"$props")
if [ -z "$min" ] || [ "$min" != "$max" ]; then fail "resizable: minimum $min, maximum $max"; fi
! grep -q '_NET_WM_ACTION_MAXIMIZE' <<<"$props" || fail "can be maximised"
# The titles the window system shows are the program's own, with nothing appended: the main
# window, and the history window, the vehicle dialog and the About box opened from the window
# menu (a right click on the window's background).
title() { xprop -id "$1" _NET_WM_NAME | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = "\(.*\)"$/\1/p'; }
[ "$(title "$window")" = "ODOMEI" ] || fail "main window titled '$(title "$window")'"
for entry in "h:履歴" "v:車両" "a:Korvanaのﾊﾞｰｼﾞｮﾝ情報"; do
    key=${entry%%:*} expected=${entry#*:}
    xdotool mousemove --window "$window" 4 4 click 3
    sleep 0.3
    xdotool key "$key"
    other=""
    for _ in $(seq 100); do
        other=$(xdotool search --onlyvisible --name "^$expected" 2>/dev/null | head -n1) && [ -n "$other" ] && break
        sleep 0.05
    done
    [ -n "$other" ] || fail "no window titled $expected appeared"
    [ "$(title "$other")" = "$expected" ] || fail "titled '$(title "$other")', not '$expected'"
    xdotool windowactivate --sync "$other" key Escape
    for _ in $(seq 100); do
        xdotool search --onlyvisible --name "^$expected" >/dev/null 2>&1 || break
        sleep 0.05
    done
done
echo "window manager test ok: a normal, fixed-size application window ($min) with the program's own titles"
