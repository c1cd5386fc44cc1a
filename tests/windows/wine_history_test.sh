#!/bin/bash
# odomei.exe's history window under Wine over a logbook of months of simulated reads (made by
# odomei-cli.exe on COM1): every record, then a range of dates that narrows the rows, the export
# of that range and its charts equal byte for byte to the Linux odomei-cli's CSV and SVG of the
# same logbook and range, a date changed from the keyboard, the unit that changes the figures and
# is kept in KORVANA.ini for the next opening, and a picture of the window with both charts in
# the build folder. history_probe looks at and works the window; list_probe finds its list whole
# (no horizontal scroll bar, every column as wide as its texts) in either unit.
set -u
exe=$1 cli=$2 metersim=$3 probe=$4 shot=$5 com1=$6 linux_cli=$7 list_probe=$8
# shellcheck source=tests/windows/wine_window_common.sh
. "$(dirname "$0")/wine_window_common.sh"
# shellcheck disable=SC2317  # called through wait_for
history_shown() { xdotool search --name '^履歴$' >/dev/null 2>&1; }
# shellcheck disable=SC2317  # called through wait_for
history_gone() { ! history_shown; }
# shellcheck disable=SC2317  # called through wait_for
boxes() { [ "$(xdotool search --name '^ODOMEI$' 2>/dev/null | wc -l)" -eq "$1" ]; }
start_sim() {
    rm -f "$com1"
    "$metersim" --link "$com1" --no-pace "$@" >"$work/sim.log" 2>&1 &
    sim=$!
    wait_for 50 test -L "$com1" || die "the simulator did not start"
}
stop_sim() { kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; sim=""; }
# A line of the probe's report: "state KEY" prints what follows KEY.
state() { wine "$probe" state | sed -n "s/^$1 //p"; }
# The records of the Linux command line's CSV of the same logbook (header left out).
csv_rows() { "${csv_cli[@]}" history --logbook "$book" --format csv "$@" | tail -n +2 | wc -l; }

# Twelve reads, three refuels apart: records over more than a year, the factor changed once.
mkdir "$work/run"
cd "$work/run" || exit 1
for k in $(seq 0 11); do
    start_sim --sequence "$k"
    wine "$cli" read --port COM1 -o "read$k.csv" >/dev/null 2>"$work/cli.log" ||
        die "read $k: $(cat "$work/cli.log")"
    stop_sim
done
book=$PWD/odomei-logbook.sqlite3
csv_cli=("$linux_cli")
if [ ! -x "$linux_cli" ]; then
    echo "no Linux odomei-cli at $linux_cli: odomei-cli.exe's CSV stands in for it"
    csv_cli=(wine "$cli")
fi
total=$(csv_rows)
[ "$total" -gt 15 ] || die "the logbook holds $total records"

start_sim
wine "$exe" >"$work/app.log" 2>&1 &
app=$!
wait_for 300 boxes 1 || die "the window did not appear: $(cat "$work/app.log")"
sleep 0.5
wine "$probe" open || die "the history button could not be pressed"
wait_for 100 history_shown || die "no history window"
sleep 0.5
H=$(xdotool search --name '^履歴$' | head -n 1)

# Every record, newest first, in km/L; the range is off.
[ "$(state rows)" -eq "$total" ] || die "$(state rows) rows shown, the logbook holds $total"
[ "$(state range)" = 0 ] || die "the range is on at the start"
[ "$(state units)" = 0 ] || die "the unit is not km/L at the start"
newest=$(state newest | cut -f2) oldest=$(state oldest | cut -f2)
[[ "$newest" > "$oldest" ]] || die "not newest first: $newest before $oldest"
timeout 20 import -window "$H" "$shot" || die "no picture of the history window"
whole=$(wine "$list_probe" history 2>&1 </dev/null) || die "the history list is not whole: $whole"

# A range of dates narrows the rows to its records, as the command line counts them.
from=2013-04-01 to=2013-09-30
wine "$probe" range "$from" "$to" || die "the range could not be set"
expected=$(csv_rows --from "$from" --to "$to")
shown=$(state rows)
[ "$expected" -gt 0 ] || die "no record in $from..$to"
[ "$expected" -lt "$total" ] || die "every record is in $from..$to"
[ "$shown" -eq "$expected" ] || die "$shown rows in $from..$to, the command line counts $expected"
state summary | grep -q "記録 $expected 件" || die "the summary is not the range's: $(state summary)"
for end in newest oldest; do
    day=$(state "$end" | cut -f2)
    [[ "$day" == 2013年0[4-9]* ]] || die "the $end row ($day) is outside $from..$to"
done

# Presses a save button, names the file in the save dialog and answers the message that follows.
save() {
    wine "$probe" press "$1" || die "no $1 button"
    wait_for 100 bash -c "xdotool search --name '名前を付けて保存|Save As' >/dev/null 2>&1" ||
        die "no save dialog for $1"
    sleep 0.5
    xdotool windowfocus --sync "$(xdotool search --name '名前を付けて保存|Save As' | tail -n 1)"
    xdotool type --delay 30 "$2"
    xdotool key Return
    wait_for 100 test -s "$2" || die "$2 was not saved"
    wait_for 100 boxes 2 || die "no message after saving $2"
    key '^ODOMEI$' Return
    wait_for 50 boxes 1 || die "the message after saving $2 stayed"
}

# The export: the range's records, the same bytes as the Linux odomei-cli writes for them.
save export range.csv
"${csv_cli[@]}" history --logbook "$book" --format csv --from "$from" --to "$to" >expected.csv
cmp range.csv expected.csv || die "the saved range differs from the command line's CSV"

# The charts of the range, both in one SVG document: the bytes the command line draws for it.
save charts charts.svg
grep -q '<polyline' charts.svg || die "charts.svg has no series"
"${csv_cli[@]}" chart --logbook "$book" --from "$from" --to "$to" --units km/L -o expected.svg ||
    die "the command line drew no chart"
cmp charts.svg expected.svg || die "the saved charts differ from the command line's SVG"

# A date changed from the keyboard in a picker (a field chosen, then one up) takes effect at once.
wine "$probe" focus to
xdotool windowfocus --sync "$H"
xdotool key --delay 50 Right Up
sleep 0.5
moved=$(state to)
[ "$moved" != "$to" ] || die "the keys did not change the end of the range"
[ "$(state rows)" -eq "$(csv_rows --from "$from" --to "$moved")" ] ||
    die "$(state rows) rows in $from..$moved, the command line counts $(csv_rows --from "$from" --to "$moved")"

# The unit: the captions and every economy turn to L/100 km (100 divided by km/L, to the
# rounding of two decimals), and KORVANA.ini keeps the choice.
before=$(state newest | cut -f8)
wine "$probe" units 1
[ "$(state caption)" = "L/100km(実)" ] || die "the caption is $(state caption) in L/100km"
after=$(state newest | cut -f8)
awk -v a="$before" -v b="$after" 'BEGIN { d = 100 / a - b; exit !(d < 0.006 && d > -0.006) }' ||
    die "$before km/L shows as $after L/100km"
state summary | grep -q 'L/100km' || die "the summary kept km/L: $(state summary)"
grep -q -a '^Units=L/100km' KORVANA.ini || die "the unit was not kept in KORVANA.ini"
seen=$(wine "$list_probe" history 2>&1 </dev/null) || die "the list is not whole in L/100km: $seen"

# Closed and opened again: the kept unit, every record again.
key '^履歴$' Escape
wait_for 50 history_gone || die "the history stayed"
wine "$probe" open
wait_for 100 history_shown || die "no history window the second time"
sleep 0.5
[ "$(state units)" = 1 ] || die "the kept unit was not chosen again"
[ "$(state caption)" = "L/100km(実)" ] || die "the caption is $(state caption) after opening again"
[ "$(state rows)" -eq "$total" ] || die "the range stayed after opening again"
wine "$probe" units 0
key '^履歴$' Escape
wait_for 50 history_gone || die "the history stayed the second time"
echo "the history window showed $total records, $expected in $from..$to, saved them as the" \
    "command line does, changed and kept the unit; picture in $shot"
echo "its list at the start: $whole"
