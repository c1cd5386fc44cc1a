#!/usr/bin/env bash
# Installs what the build needs (Debian 12, through apt-get) when it is missing, then configures
# and builds. Quick and quiet when everything is already there. Usage: scripts/setup.sh [BUILD_DIR]
# ODOMEI_CMAKE_ARGS, if set, configures the build folder with those options (again, if it exists).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}

packages=(cmake ninja-build g++ pkg-config qt6-base-dev libgtest-dev
          libcli11-dev nlohmann-json3-dev libsqlite3-dev qt6-charts-dev libqt6opengl6-dev
          fonts-ipafont-gothic
          qt6-translations-l10n
          ${ODOMEI_EXTRA_PACKAGES:-})
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

if [ ! -f "$build_dir/build.ninja" ] || [ -n "${ODOMEI_CMAKE_ARGS:-}" ]; then
    cmake -S . -B "$build_dir" -G Ninja ${ODOMEI_CMAKE_ARGS:-} >/dev/null
fi
cmake --build "$build_dir"
