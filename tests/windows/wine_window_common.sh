#!/bin/bash
# What every Wine test of odomei.exe's windows starts with, sourced: a work folder, the simulator
# and the program it starts (sim, app: ended on exit with the folder removed; a test that must do
# more on exit defines cleanup again), die, wait_for, the program's windows and keys sent to a
# window. The display is scripts/windows.sh's.
work=$(mktemp -d)
sim="" app=""
# shellcheck disable=SC2317  # called by cleanup
stop_started() {
    [ -n "$app" ] && kill "$app" 2>/dev/null
    [ -n "$sim" ] && kill "$sim" 2>/dev/null
    wait 2>/dev/null
}
# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
    stop_started
    rm -rf "$work"
}
trap cleanup EXIT
die() { echo "FAIL: $*"; exit 1; }
[ -n "${DISPLAY:-}" ] || die "no display (scripts/windows.sh starts one)"

# Waits until a command succeeds, for up to $1 tenths of a second.
wait_for() {
    local tenths=$1; shift
    for _ in $(seq 1 "$tenths"); do "$@" && return 0; sleep 0.1; done
    return 1
}
# shellcheck disable=SC2317  # called through wait_for
windows() { xdotool search --name '^ODOMEI$' 2>/dev/null | wc -l; }
# shellcheck disable=SC2317  # called through wait_for
has_windows() { [ "$(windows)" -eq "$1" ]; }
# Keys to the newest window whose title matches $1.
key() {
    xdotool windowfocus --sync "$(xdotool search --name "$1" 2>/dev/null | tail -n 1)" 2>/dev/null
    shift
    xdotool key --delay 50 "$@"
}
