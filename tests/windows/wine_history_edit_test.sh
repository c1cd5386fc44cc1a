#!/bin/bash
# odomei.exe's history window under Wine: prices and the odometer typed into the list's cells, and
# the records saved for the fuel apps, over a logbook of two simulated reads (made by
# odomei-cli.exe on COM1). history_probe finds the cells and reads them; the keys and clicks are
# xdotool's, as a user gives them.
# 1. A double-click on a row's odometer cell opens an editor over it; the reading typed and
#    Shift+Tab store it and edit the cell before it; the rows beside it follow by the distances
#    the list shows.
# 2. A double-click on a price cell, a price typed and Enter: the total follows from the refuel.
# 3. F2 on a selected row edits its first editable cell (the price); a click elsewhere stores
#    what was typed (the editor loses the focus, as a list's own label editor does).
# 4. A text that is no price is said in a message box (why); the editor stays with it, Esc leaves
#    the cell as it was.
# 5. Closed and opened again, the window shows every value typed: the logbook holds them.
# 6. ｱﾌﾟﾘ用に保存 with the first type (LubeLogger) and a bare name writes lube.csv, the priced
#    refuels with their odometer and cost as the list shows them; with Spritmonitor chosen as
#    the save dialog's type, sprit.csv in Spritmonitor's form, every refuel with fuel in it.
set -u
exe=$1 cli=$2 metersim=$3 probe=$4 com1=$5
# shellcheck source=tests/windows/wine_window_common.sh
. "$(dirname "$0")/wine_window_common.sh"
# shellcheck disable=SC2317  # called through wait_for
history_shown() { xdotool search --name '^履歴$' >/dev/null 2>&1; }
# shellcheck disable=SC2317  # called through wait_for
history_gone() { ! history_shown; }
# shellcheck disable=SC2317  # called through wait_for
editor_open() { [ "$(wine "$probe" editor)" != none ]; }
# shellcheck disable=SC2317  # called through wait_for
editor_closed() { [ "$(wine "$probe" editor)" = none ]; }
# shellcheck disable=SC2317  # called through wait_for
text_is() { [ "$(wine "$probe" text "$1" "$2")" = "$3" ]; }
start_sim() {
    rm -f "$com1"
    "$metersim" --link "$com1" --no-pace "$@" >"$work/sim.log" 2>&1 &
    sim=$!
    wait_for 50 test -L "$com1" || die "the simulator did not start"
}
stop_sim() { kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; sim=""; }
text() { wine "$probe" text "$1" "$2"; }
# Field N (1-based) of row ROW of the list.
field() { wine "$probe" row "$1" | cut -f"$2"; }
# Hundredths of a figure the list writes with two decimals ("123.45" gives 12345).
hundredths() { awk -v v="$1" 'BEGIN { printf "%d", (v < 0 ? v * 100 - 0.5 : v * 100 + 0.5) }'; }
# The list's date ("2013年04月01日") in ISO form.
iso_date() { sed 's/^\([0-9]*\)年\([0-9]*\)月\([0-9]*\)日$/\1-\2-\3/'; }
# Moves the pointer to a cell and clicks it, once or twice (a double-click).
click_cell() {
    local at
    at=$(wine "$probe" cell "$1" "$2") || die "no cell $1 $2: $at"
    # shellcheck disable=SC2086  # the probe prints "X Y"
    xdotool mousemove --sync $at
    xdotool click --repeat "$3" --delay 80 1
}
# Opens the editor over a cell by a double-click and types into it (everything replaced).
edit_cell() {
    click_cell "$1" "$2" 2
    wait_for 50 editor_open || die "no editor over row $1's $2 cell"
    xdotool type --delay 30 "$3"
}
# Answers the message box over the window (the program's caption, as the main window's).
answer_message() {
    wait_for 100 has_windows 2 || die "no message $1"
    key '^ODOMEI$' Return
    wait_for 50 has_windows 1 || die "the message $1 stayed"
}

# Two reads three refuels apart: eighteen records, no gap.
mkdir "$work/run"
cd "$work/run" || exit 1
for k in 0 1; do
    start_sim --sequence "$k"
    wine "$cli" read --port COM1 -o "read$k.csv" >/dev/null 2>"$work/cli.log" ||
        die "read $k: $(cat "$work/cli.log")"
    stop_sim
done

start_sim
wine "$exe" >"$work/app.log" 2>&1 &
app=$!
wait_for 300 has_windows 1 || die "the window did not appear: $(cat "$work/app.log")"
sleep 0.5
wine "$probe" open || die "the history button could not be pressed"
wait_for 100 history_shown || die "no history window"
sleep 0.5
[ "$(wine "$probe" state | sed -n 's/^rows //p')" -ge 8 ] || die "too few rows to edit"
[ -z "$(text 5 odometer)" ] || die "an odometer reading before any was given: $(text 5 odometer)"

# 1. The odometer at row 5; the newer row 4 adds its own distance, the older row 6 is row 5's
#    reading less row 5's distance (whole km, rounded).
#    Shift+Tab stores it and goes on to the row's total (empty: no price yet); Esc leaves that.
edit_cell 5 odometer 48210
xdotool key shift+Tab
wait_for 50 text_is 5 odometer 48210 || die "row 5's odometer reads '$(text 5 odometer)', not 48210"
[ "$(wine "$probe" editor)" = "editor " ] || die "Shift+Tab did not edit the total: $(wine "$probe" editor)"
xdotool key Escape
wait_for 50 editor_closed || die "Esc left the total's editor open"
wait_for 50 text_is 5 odometer 48210 || die "row 5's odometer reads $(text 5 odometer), not 48210"
newer=$(( (4821000 + $(hundredths "$(field 4 3)") + 50) / 100 ))
older=$(( (4821000 - $(hundredths "$(field 5 3)") + 50) / 100 ))
[ "$(text 4 odometer)" = "$newer" ] || die "row 4's odometer reads $(text 4 odometer), not $newer"
[ "$(text 6 odometer)" = "$older" ] || die "row 6's odometer reads $(text 6 odometer), not $older"

# 2. A price per litre at row 2: its total is the price times the refuel, to the hundredth.
edit_cell 2 price 172.5
xdotool key Return
wait_for 50 text_is 2 price 172.50 || die "row 2's price reads '$(text 2 price)', not 172.50"
total=$(awk -v r="$(hundredths "$(field 2 6)")" \
    'BEGIN { c = int((17250 * r + 50) / 100); printf "%d.%02d", c / 100, c % 100 }')
[ "$(text 2 cost)" = "$total" ] || die "row 2's total reads $(text 2 cost), not $total"

# 3. F2 on row 3 (selected by a click) edits its price; a click on another row stores it.
click_cell 3 odometer 1
xdotool key F2
wait_for 50 editor_open || die "F2 opened no editor"
xdotool type --delay 30 150
click_cell 7 odometer 1
wait_for 50 editor_closed || die "the editor stayed when the list was clicked"
wait_for 50 text_is 3 price 150.00 || die "row 3's price reads '$(text 3 price)' after the click"

# 4. A total that is no amount: said, the editor keeps it; Esc leaves the total as it was.
edit_cell 2 cost 12x
xdotool key Return
wait_for 100 has_windows 2 || die "no message for a total of 12x"
said=$(wine "$probe" message price) || die "for a total of 12x: $said"
answer_message "for a total of 12x"
[ "$(wine "$probe" editor)" = "editor 12x" ] || die "the rejected text went: $(wine "$probe" editor)"
xdotool key Escape
wait_for 50 editor_closed || die "Esc left the editor open"
[ "$(text 2 cost)" = "$total" ] || die "row 2's total reads $(text 2 cost) after a rejected text"
history_shown || die "Esc in the editor closed the window"

# 5. The logbook holds what was typed.
key '^履歴$' Escape
wait_for 50 history_gone || die "the history stayed"
wine "$probe" open
wait_for 100 history_shown || die "no history window the second time"
sleep 0.5
for cell in "5 odometer 48210" "2 price 172.50" "3 price 150.00" "2 cost $total"; do
    read -r row column value <<<"$cell"
    [ "$(text "$row" "$column")" = "$value" ] ||
        die "opened again, row $row's $column reads '$(text "$row" "$column")', not $value"
done

# Presses ｱﾌﾟﾘ用に保存, chooses a type unless it is the first, names the file and answers the
# message that follows (it says which refuels were left out).
save_for_app() {
    wine "$probe" press app || die "no button for the fuel apps"
    wait_for 100 bash -c "xdotool search --name '名前を付けて保存|Save As' >/dev/null 2>&1" ||
        die "no save dialog for $1"
    sleep 0.5
    if [ -n "$2" ]; then wine "$probe" savetype "$2" || die "no type $2 in the save dialog"; fi
    xdotool windowfocus --sync "$(xdotool search --name '名前を付けて保存|Save As' | tail -n 1)"
    xdotool type --delay 30 "$1"
    xdotool key Return
    wait_for 100 test -s "$1.csv" || die "$1.csv was not saved (a bare name gets the type's suffix)"
    answer_message "after saving $1.csv"
}
rows=$(wine "$probe" state | sed -n 's/^rows //p')
date2=$(field 2 2 | iso_date) date3=$(field 3 2 | iso_date)

# 6. LubeLogger, the first type: the two priced refuels (both have an odometer reading), with
#    the list's odometer and total.
save_for_app lube ""
head -n 1 lube.csv | grep -q '^Date,Odometer,FuelConsumed,Cost,' ||
    die "lube.csv is not LubeLogger's: $(head -n 1 lube.csv)"
[ "$(tail -n +2 lube.csv | wc -l)" -eq 2 ] || die "lube.csv holds $(tail -n +2 lube.csv | wc -l) refuels, not the two priced"
line=$(grep "^$date2," lube.csv) || die "lube.csv has no refuel of $date2"
[ "$(cut -d, -f2,4 <<<"$line")" = "$(text 2 odometer),$total" ] ||
    die "lube.csv's $date2: $line; the list: $(text 2 odometer) km, $total"
grep -q "^$date3,$(text 3 odometer)," lube.csv || die "lube.csv has no refuel of $date3 at $(text 3 odometer) km"

# Spritmonitor, chosen as the type: every refuel with fuel refilled, German dates and decimal
# commas, the total where there is one.
save_for_app sprit Spritmonitor
head -n 1 sprit.csv | grep -q '^Date;Odometer;Trip;Quantity;Total price;Currency;' ||
    die "sprit.csv is not Spritmonitor's: $(head -n 1 sprit.csv)"
refuels=0
for r in $(seq 0 $((rows - 1))); do
    [ "$(field "$r" 6)" != 0.00 ] && refuels=$((refuels + 1))
done
[ "$(tail -n +2 sprit.csv | wc -l)" -eq "$refuels" ] ||
    die "sprit.csv holds $(tail -n +2 sprit.csv | wc -l) refuels, the list $refuels with fuel"
german=$(awk -F- '{ print $3 "." $2 "." $1 }' <<<"$date2")
grep "^$german;" sprit.csv | cut -d';' -f5 | grep -qx "${total/./,}" ||
    die "sprit.csv's $german has not the total ${total/./,}: $(grep "^$german;" sprit.csv)"

key '^履歴$' Escape
wait_for 50 history_gone || die "the history stayed at the end"
echo "prices and an odometer reading typed into the list were stored (F2, a double-click, Enter," \
    "a click away), a rejected text said and left; lube.csv and sprit.csv written for $rows rows"
