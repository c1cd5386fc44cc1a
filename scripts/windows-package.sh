#!/bin/bash
# The Windows release: a zip with both programs and the read-me, and an NSIS installer, into
# the build folder's dist/ (default build-windows/dist).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build-windows}")
version=$(sed -n 's/^project(odomei VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
dist=$build/dist
rm -rf "$dist"
mkdir -p "$dist/odomei-$version"
cp "$build/odomei.exe" "$build/odomei-cli.exe" packaging/windows/README.txt "$dist/odomei-$version/"
(cd "$dist" && zip -q -r "odomei-$version-windows-x64.zip" "odomei-$version")
rm -rf "${dist:?}/odomei-$version"
(cd packaging/windows &&
    makensis -V2 -DVERSION="$version" -DBUILD="$build" \
        -DOUTFILE="$dist/odomei-$version-setup.exe" odomei.nsi)
ls -l "$dist"
