# shellcheck shell=bash
# What each part of the work needs from Debian 12, and the one routine that installs it. Sourced
# by the scripts beside it, from the repository's top folder:
#
#     . scripts/packages.sh
#     install_packages build fuzz
#
# installs what the build and the fuzz targets need and is not installed yet: as root directly,
# otherwise through sudo, without questions, with one apt-get update before the install. Nothing
# is run when everything is there. With ODOMEI_INSTALL_ONLY set, the script that called it stops
# right after, successfully: `ODOMEI_INSTALL_ONLY=1 scripts/test.sh` installs what every test
# needs and builds nothing.

# The lists are read by name, in install_packages:
# shellcheck disable=SC2034

# The programs and their tests, with and without Qt (scripts/setup.sh, scripts/run.sh).
packages_build=(cmake ninja-build g++ pkg-config qt6-base-dev libgtest-dev libcli11-dev
                nlohmann-json3-dev libsqlite3-dev fonts-ipafont-gothic qt6-translations-l10n)
# The fuzz targets: clang's libFuzzer and sanitizers (scripts/fuzz.sh).
packages_fuzz=(cmake ninja-build clang libclang-rt-14-dev)
# What the tests use beyond the build: the package and desktop-entry checks, a real X server and
# window manager, the scripts' own checks, and the time zones the suites run in again
# (scripts/test.sh).
packages_tests=(desktop-file-utils appstream dpkg-dev man-db xvfb xauth openbox xdotool x11-utils
                shellcheck tzdata)
# The Windows programs cross-built, packaged and tested under Wine in a Japanese locale
# (scripts/windows.sh).
packages_windows=(cmake ninja-build g++-mingw-w64-x86-64 mingw-w64-tools googletest wine wine64
                  xvfb xauth xdotool imagemagick fonts-ipafont-gothic locales nsis zip)
# SQLite's amalgamation made from Debian's source package (scripts/sqlite-amalgamation.sh).
packages_sqlite=(tcl make gcc xz-utils patch)

# install_packages PART...: installs what the named parts need and is missing.
install_packages() {
    local part wanted=() missing=() p
    for part in "$@"; do
        if ! declare -p "packages_$part" >/dev/null 2>&1; then
            echo "install_packages: no list of packages for '$part'" >&2
            exit 2
        fi
        local -n list="packages_$part"
        wanted+=("${list[@]}")
        unset -n list
    done
    # One question to dpkg for all of them; a package it does not know is simply not listed.
    local -A installed=()
    while read -r p status; do
        [ "$status" = "install ok installed" ] && installed[$p]=1
    done < <(dpkg-query -W -f='${Package} ${Status}\n' "${wanted[@]}" 2>/dev/null)
    for p in "${wanted[@]}"; do
        [ -n "${installed[$p]:-}" ] || [[ " ${missing[*]} " == *" $p "* ]] || missing+=("$p")
    done

    if [ ${#missing[@]} -gt 0 ]; then
        # env and sudo both take VAR=value before the command. sudo clears the caller's
        # environment, so the variable has to be given to it this way, not set in front of it.
        local as_root=(env)
        if [ "$(id -u)" -ne 0 ]; then
            local refusal=""
            if ! command -v sudo >/dev/null; then
                refusal="sudo is not installed"
            elif ! sudo -l apt-get >/dev/null 2>&1; then
                refusal="sudo did not let $(id -un) run apt-get (not allowed, or no terminal to"
                refusal+=" give a password on)"
            fi
            if [ -n "$refusal" ]; then
                {
                    echo "These Debian packages are needed and not installed: ${missing[*]}"
                    echo "Installing them needs root, and $refusal."
                    echo "Install them as root, then run this again:"
                    echo "    su -c 'apt-get update && apt-get install ${missing[*]}'"
                    echo "or run this script as root."
                } >&2
                exit 1
            fi
            as_root=(sudo)
        fi
        echo "Installing from Debian: ${missing[*]}"
        "${as_root[@]}" DEBIAN_FRONTEND=noninteractive apt-get update -qq
        "${as_root[@]}" DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" \
            >/dev/null
    fi
    if [ -n "${ODOMEI_INSTALL_ONLY:-}" ]; then
        exit 0
    fi
}
