#!/bin/bash
# Builds the Windows programs (odomei.exe, odomei-cli.exe) into build-windows/ with mingw-w64,
# their zip and installer into build-windows/dist/, and with --test runs their tests under Wine
# in a fresh prefix of the build folder. The tests use the Linux build's simulator
# (build/tools/metersim/metersim, or ODOMEI_METERSIM).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-windows
run_tests=0
[ "${1:-}" = "--test" ] && run_tests=1

. scripts/packages.sh
install_packages windows sqlite

echo "== SQLite for Windows"
scripts/sqlite-amalgamation.sh "$build/sqlite"

# Wine: a prefix of the build's own, Japanese, with every COM port it knows mapped before its
# first program runs: COM1 to the simulator's link, COM2 to COM9 to paths that do not exist,
# so that nothing ever opens the machine's /dev/ttyS* (a console here), and COM12 to a link of
# its own for the tests of a port number above 9.
export WINEPREFIX=$build/wineprefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"  # a crash is a failure, never a debugger
mkdir -p "$build/locale"
[ -d "$build/locale/ja_JP.UTF-8" ] || localedef -i ja_JP -f UTF-8 "$build/locale/ja_JP.UTF-8"
export LOCPATH=$build/locale LANG=ja_JP.UTF-8
unset LC_ALL LANGUAGE
xvfb=""
finish() {
    wineserver -k 2>/dev/null || true
    if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi
}
trap finish EXIT
# The display must be there before the prefix's first program, or Wine never shows a window.
for display in $(seq 90 130); do
    [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ] && continue
    Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$build/xvfb.log" 2>&1 &
    xvfb=$!
    export DISPLAY=":$display"
    for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
    break
done

echo "== Wine prefix"
mkdir -p "$build"
rm -rf "$WINEPREFIX"
wineboot -i >"$build/wineboot.log" 2>&1
wineserver -w
# regedit takes a UTF-16 file: the ports, and the proportional IPA Gothic standing for the
# window's font MS P Gothic, as on Windows.
ports=$build/ports.reg
{
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
    printf '"COM1"="%s/com1"\r\n' "$build"
    for n in 2 3 4 5 6 7 8 9; do printf '"COM%d"="%s/no-such-port-%d"\r\n' "$n" "$build" "$n"; done
    printf '"COM12"="%s/com12"\r\n' "$build"
    printf '\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\r\n'
    printf '"ＭＳ Ｐゴシック"="IPAPGothic"\r\n'
} | iconv -f UTF-8 -t UTF-16 >"$ports"
wine regedit /S "$ports" >>"$build/wineboot.log" 2>&1
wineserver -w
# One server for the whole run, its output (a flood on every hang-up) kept out of the tests'.
wineserver -p </dev/null >"$build/wineserver.log" 2>&1
wine wineboot </dev/null >>"$build/wineboot.log" 2>&1

echo "== build"
metersim=${ODOMEI_METERSIM:-$root/build/tools/metersim/metersim}
[ -x "$metersim" ] || metersim=""
read -r -a extra_args <<<"${ODOMEI_WINDOWS_CMAKE_ARGS:-}"
cmake -S . -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DODOMEI_SQLITE_DIR="$build/sqlite" -DODOMEI_WERROR=ON -DODOMEI_TESTS=ON \
    -DODOMEI_METERSIM="$metersim" "${extra_args[@]}" >"$build/configure.log" ||
    { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j"$(nproc)"

echo "== packages"
scripts/windows-package.sh "$build"

if [ "$run_tests" -eq 1 ]; then
    echo "== tests under Wine"
    [ -n "$metersim" ] || { echo "no Linux simulator: build the Linux programs first"; exit 1; }
    ctest --test-dir "$build" --output-on-failure -j2
fi
