#!/usr/bin/env bash
# Installs what the build needs (Debian 12, through scripts/packages.sh) when it is missing, then
# configures and builds. Quick and quiet when everything is already there.
# Usage: scripts/setup.sh [BUILD_DIR]
# ODOMEI_CMAKE_ARGS, if set, configures the build folder with those options (again, if it exists);
# they are split at spaces.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}

. scripts/packages.sh
install_packages build

read -r -a cmake_args <<<"${ODOMEI_CMAKE_ARGS:-}"
if [ ! -f "$build_dir/build.ninja" ] || [ ${#cmake_args[@]} -gt 0 ]; then
    cmake -S . -B "$build_dir" -G Ninja "${cmake_args[@]}" >/dev/null
fi
cmake --build "$build_dir"
