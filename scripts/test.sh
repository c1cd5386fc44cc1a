#!/usr/bin/env bash
# Builds everything (installing what is missing) and runs every test: shellcheck over every shell
# script and the scripts' install step against stand-ins, the fuzz targets for a fixed number of
# runs, the test suite with warnings as errors, the engine's tests in a build that does not look
# for Qt at all, the Windows programs cross-built with mingw-w64 and tested under Wine, and the
# whole suite again built with AddressSanitizer and UndefinedBehaviorSanitizer (halting on the
# first report).
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
# Everything every step below needs, in one install, so that a fresh machine updates apt's lists
# once and the steps find nothing missing.
. scripts/packages.sh
install_packages build fuzz tests windows sqlite

echo "== The shell scripts: shellcheck, and their install step on a machine without the packages"
mapfile -t shell_scripts < <(find . \( -path './build*' -o -path ./demo -o -path ./.git \) -prune -o \
    -type f \( -name '*.sh' -o -path ./.ci/run \) -print | sort)
shellcheck -x "${shell_scripts[@]}"
tests/install_test.sh

scripts/fuzz.sh

ODOMEI_CMAKE_ARGS="-DODOMEI_WERROR=ON" scripts/setup.sh build
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2)

echo "== The engine without Qt"
ODOMEI_CMAKE_ARGS="-DODOMEI_QT=OFF -DODOMEI_WERROR=ON" scripts/setup.sh build-noqt
(cd build-noqt && ctest --output-on-failure -j2)

echo "== The Windows programs, cross-built and tested under Wine"
windows_started=$SECONDS
ODOMEI_METERSIM="$PWD/build/tools/metersim/metersim" scripts/windows.sh --test
echo "== The Windows part took $((SECONDS - windows_started)) s"

echo "== The same tests with AddressSanitizer and UndefinedBehaviorSanitizer"
# Warnings are errors in the two builds above; GCC 12 reports false "maybe-uninitialized" inside
# the standard library when the sanitizers instrument it, so not here.
ODOMEI_CMAKE_ARGS="-DODOMEI_SANITIZE=ON -DODOMEI_WERROR=OFF" scripts/setup.sh build-asan
(cd build-asan &&
    ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2)

echo "== All tests passed in $((SECONDS - started)) s"
