#!/usr/bin/env bash
# Builds the program (installing what is missing) and starts it in the folder demo/, connected
# to the simulated meter: press 読み出し and fifteen records appear. The simulator stops when
# the program ends. Extra arguments go to the simulator (see build/tools/metersim/metersim --help).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_packages build
scripts/setup.sh build
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display: run this from a desktop session, or under xvfb-run." >&2
    exit 1
fi
top=$(pwd)
mkdir -p demo
link="$top/demo/meter-tty"
rm -f "$link"

build/tools/metersim/metersim --link "$link" "$@" >demo/metersim.out 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
    [ -L "$link" ] && break
    kill -0 "$sim" 2>/dev/null || { cat demo/metersim.out >&2; exit 1; }
    sleep 0.05
done

# COM1 is the simulator: [Ports] in the demo folder's INI file says so (the file is CP932; the
# lines written here are ASCII).
ini=demo/KORVANA.ini
if [ -f "$ini" ] && grep -q '^COM1=' "$ini"; then
    sed -i "s|^COM1=.*|COM1=$link\r|" "$ini"
elif [ -f "$ini" ] && grep -q '^\[Ports\]' "$ini"; then
    sed -i "s|^\[Ports\]\r\?$|[Ports]\r\nCOM1=$link\r|" "$ini"
else
    printf '[Ports]\r\nCOM1=%s\r\n' "$link" >>"$ini"
fi

echo "Simulated meter on $(head -n1 demo/metersim.out) (linked as $link); starting ODOMEI in demo/"
cd demo
../build/odomei
