#!/bin/bash
# odomei.exe's vehicles under Wine, over three runs of the program on one logbook with two cars'
# meters (simulated reads far apart in the meter's history, so that they share no record):
# 1. A new logbook: the main window's layout and Tab order hold (vehicle_probe layout), the first
#    read goes to 車両1 without a question; the vehicle dialog opens from the 車両 button, a
#    vehicle with a Japanese name and note is added, listed and chosen, and the window's label
#    and KORVANA.ini's [Logbook] Vehicle= say so; list_probe finds its list whole (a picture of
#    the dialog is kept).
# 2. The program started again selects the kept vehicle; the second car's read goes to it; the
#    dialog opens from the window menu and lists both cars' records; 車両1 is chosen again.
# 3. A read of the second car's meter with 車両1 selected is asked about (it overlaps the second
#    car's records and adds new ones); answered yes, it is kept with the second car, which
#    becomes the selected one. The history window shows one car at a time: its selector switches
#    to the other car's records alone.
set -u
exe=$1 metersim=$2 com1=$3 probe=$4 history_probe=$5 shot=$6 list_probe=$7
# shellcheck source=tests/windows/wine_window_common.sh
. "$(dirname "$0")/wine_window_common.sh"
# shellcheck disable=SC2317  # called through wait_for
shown() { xdotool search --name "$1" >/dev/null 2>&1; }
# shellcheck disable=SC2317  # called through wait_for
gone() { ! shown "$1"; }
# shellcheck disable=SC2317  # called through wait_for
records_shown() { [ "$(wine "$probe" records 2>/dev/null | tr -d '\r')" = "$1" ]; }
label() { wine "$probe" label | tr -d '\r'; }
rows() { wine "$probe" rows | tr -d '\r'; }
# A line of the history probe's report: what follows KEY.
history_state() { wine "$history_probe" state | tr -d '\r' | sed -n "s/^$1 //p"; }
kept_vehicle() {
    local line
    line=$(printf 'Vehicle=%s' "$1" | iconv -f UTF-8 -t CP932)
    grep -q -a -x -F "$line"$'\r' KORVANA.ini || grep -q -a -x -F "$line" KORVANA.ini
}
start_sim() {
    rm -f "$com1"
    "$metersim" --link "$com1" --no-pace --sequence "$1" >"$work/sim.log" 2>&1 &
    sim=$!
    wait_for 50 test -L "$com1" || die "the simulator did not start"
}
stop_sim() { kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; sim=""; }
start_app() {
    wine "$exe" >"$work/app.log" 2>&1 &
    app=$!
    wait_for 300 has_windows 1 || die "the window did not appear: $(cat "$work/app.log")"
    sleep 0.5
}
# The exit button, its question answered yes.
quit_app() {
    wine "$probe" click exit || die "no exit button"
    wait_for 100 has_windows 2 || die "no question before the exit"
    key '^ODOMEI$' Return
    for _ in $(seq 1 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$app" 2>/dev/null && die "the program did not end after the exit question"
    wait "$app"
    app=""
}
# The read button, its question answered yes: the list fills with the meter's 15 records.
read_meter() {
    wine "$probe" click read || die "no read button"
    wait_for 100 has_windows 2 || die "no question before the read"
    sleep 0.5  # keys sent while the box is still settling get lost
    key '^ODOMEI$' Return
    wait_for 200 records_shown 15 || die "the read did not fill the list"
}
open_dialog() {
    wait_for 100 shown '^車両$' || die "no vehicle dialog $1"
    sleep 0.3
}
dialog_gone() { wait_for 50 gone '^車両$' || die "the vehicle dialog stayed $1"; }

car=軽トラ note='品川 12-34'
mkdir "$work/run"
cd "$work/run" || exit 1

# 1. The first car's meter, far on in its history (records 18 to 32 of the simulated months).
start_sim 6
start_app
[ "$(label)" = "車両: 車両1" ] || die "a new logbook's vehicle shows as '$(label)'"
layout=$(wine "$probe" layout 2>&1) || die "the main window's layout: $layout"
read_meter
wait_for 50 test -s odomei-logbook.sqlite3 || die "the read did not reach the logbook"
has_windows 1 || die "a read into a logbook of one vehicle asked something"
wine "$probe" open || die "no 車両 button"
open_dialog "from the button"
listed=$(rows)
grep -q -x -F "rows 1" <<<"$listed" || die "a new logbook lists: $listed"
grep -q "^\*車両1"$'\t\t'"15"$'\t' <<<"$listed" || die "車両1 with its 15 records is not selected: $listed"
grep -q -x -F "choose 選択 on" <<<"$listed" || die "choosing is not offered: $listed"
wine "$probe" press add
wait_for 100 shown '^車両の追加$' || die "no name-and-note dialog"
sleep 0.3
wine "$probe" edit "$car" "$note" || die "the name-and-note dialog could not be filled"
wait_for 50 gone '^車両の追加$' || die "the name-and-note dialog stayed"
sleep 0.3
listed=$(rows)
grep -q -x -F "rows 2" <<<"$listed" || die "the added vehicle is not listed: $listed"
grep -q "^\*$car"$'\t'"$note"$'\t'"0"$'\t' <<<"$listed" ||
    die "the added vehicle is not selected with its note and no record: $listed"
timeout 20 import -window "$(xdotool search --name '^車両$' | head -n 1)" "$shot" ||
    die "no picture of the vehicle dialog"
# Its six columns whole without a horizontal scroll bar: two dates and a read's time.
whole=$(wine "$list_probe" vehicles 2>&1 </dev/null) || die "the vehicle list is not whole: $whole"
wine "$probe" press choose
dialog_gone "after choosing"
[ "$(label)" = "車両: $car" ] || die "the chosen vehicle shows as '$(label)'"
kept_vehicle "$car" || die "KORVANA.ini does not keep the chosen vehicle"
quit_app
stop_sim

# 2. The second car's meter at the start of its history (records 0 to 14).
start_sim 0
start_app
[ "$(label)" = "車両: $car" ] || die "the kept vehicle is not selected at the start: '$(label)'"
read_meter
sleep 0.5
has_windows 1 || die "the second car's first read asked something"
# The window menu's entry for the vehicles stands above the separator and About.
key '^ODOMEI$' alt+space
sleep 0.5
xdotool key Up Up Return
open_dialog "from the window menu"
listed=$(rows)
grep -q "^ 車両1"$'\t\t'"15"$'\t' <<<"$listed" || die "車両1 lost or gained records: $listed"
grep -q "^\*$car"$'\t'"$note"$'\t'"15"$'\t' <<<"$listed" ||
    die "the second car's read is not with it: $listed"
wine "$probe" select 0
sleep 0.3
rows | grep -q "^\*車両1" || die "車両1 could not be selected: $(rows)"
key '^車両$' Return
dialog_gone "after Enter"
[ "$(label)" = "車両: 車両1" ] || die "車両1 chosen by Enter shows as '$(label)'"
kept_vehicle 車両1 || die "KORVANA.ini does not keep 車両1"
quit_app
stop_sim

# 3. The second car's meter three refuels on (records 3 to 17), read with 車両1 selected.
start_sim 1
start_app
read_meter
wait_for 100 has_windows 2 || die "no question for a read of the other car's meter"
key '^ODOMEI$' Return
wait_for 100 has_windows 2 || die "no word of where the read was kept"
sleep 0.3
key '^ODOMEI$' Return
wait_for 50 has_windows 1 || die "the message stayed"
[ "$(label)" = "車両: $car" ] || die "the read's car is not selected: '$(label)'"
kept_vehicle "$car" || die "KORVANA.ini does not keep the read's car"

wine "$history_probe" open || die "no history button"
wait_for 100 shown '^履歴$' || die "no history window"
sleep 0.5
[ "$(history_state vehicle)" = "1 $car" ] || die "the history starts at '$(history_state vehicle)'"
[ "$(history_state vehicles)" = 2 ] || die "the selector offers $(history_state vehicles) vehicles"
[ "$(history_state rows)" = 18 ] || die "$(history_state rows) rows of $car, 18 kept"
newest=$(history_state newest | cut -f2)
wine "$history_probe" vehicle 0 || die "the selector has no first vehicle"
sleep 0.3
[ "$(history_state vehicle)" = "0 車両1" ] || die "the selector shows '$(history_state vehicle)'"
[ "$(history_state rows)" = 15 ] || die "$(history_state rows) rows of 車両1, 15 kept"
oldest=$(history_state oldest | cut -f2)
[[ "$oldest" > "$newest" ]] || die "車両1's rows mix with $car's: its oldest $oldest, $car's newest $newest"
history_state summary | grep -q "記録 15 件" || die "the summary is not 車両1's: $(history_state summary)"
key '^履歴$' Escape
wait_for 50 gone '^履歴$' || die "the history stayed"
quit_app
echo "two cars kept apart in three runs; $layout; picture of the dialog in $shot"
echo "its list: $whole"
