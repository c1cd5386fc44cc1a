#!/bin/bash
# Runs the WineSerial tests of the Windows engine's tests with the Linux simulator on the
# pseudo-terminal the test prefix calls COM1, replacing the simulator when a test asks.
set -u
tests=$1 metersim=$2 com1=$3
meet=$(mktemp -d)
sim=""
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    [ -n "${watcher:-}" ] && kill "$watcher" 2>/dev/null
    rm -rf "$meet"
}
trap cleanup EXIT
start_sim() {
    rm -f "$com1"
    "$metersim" --link "$com1" >>"$meet/sim.log" 2>&1 &
    sim=$!
    for _ in $(seq 1 100); do [ -L "$com1" ] && return 0; sleep 0.05; done
    echo "the simulator did not start"; cat "$meet/sim.log"; exit 1
}
start_sim
(
    for _ in $(seq 1 600); do
        if [ -e "$meet/replug" ]; then
            kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null
            start_sim
            touch "$meet/replugged"
            wait "$sim"
            exit 0
        fi
        sleep 0.1
    done
) &
watcher=$!
ODOMEI_WINE_COM1=$meet wine "$tests" --gtest_filter='WineSerial.*' --gtest_brief=0
rc=$?
kill "$watcher" 2>/dev/null
exit "$rc"
