#!/bin/bash
# Runs the WineSerial tests of the Windows engine's tests with the Linux simulator on the
# pseudo-terminal the test prefix calls COM1, replacing the simulator when a test asks.
set -u
tests=$1 metersim=$2 com1=$3
meet=$(mktemp -d)
watcher=""
# The simulator running now, whichever shell started it.
# shellcheck disable=SC2317  # called from the EXIT trap and the watcher below
stop_sim() {
    [ -f "$meet/sim.pid" ] && kill "$(cat "$meet/sim.pid")" 2>/dev/null
    rm -f "$meet/sim.pid"
}
# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
    [ -n "$watcher" ] && kill "$watcher" 2>/dev/null && wait "$watcher" 2>/dev/null
    stop_sim
    rm -rf "$meet"
}
trap cleanup EXIT
start_sim() {
    rm -f "$com1"
    "$metersim" --link "$com1" >>"$meet/sim.log" 2>&1 &
    echo $! >"$meet/sim.pid"
    for _ in $(seq 1 100); do [ -L "$com1" ] && return 0; sleep 0.05; done
    echo "the simulator did not start"; cat "$meet/sim.log"; exit 1
}
start_sim
(
    for _ in $(seq 1 600); do
        if [ -e "$meet/replug" ]; then
            stop_sim
            start_sim
            touch "$meet/replugged"
            exit 0
        fi
        sleep 0.1
    done
) &
watcher=$!
ODOMEI_WINE_COM1=$meet wine "$tests" --gtest_filter='WineSerial.*' --gtest_brief=0
exit $?
