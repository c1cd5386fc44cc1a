#!/bin/bash
# Makes SQLite's amalgamation (sqlite3.c, sqlite3.h) for the Windows build from Debian's own
# source package, with Debian's fixes applied, into the folder given (default
# build-windows/sqlite). Does nothing when that folder already holds them.
set -euo pipefail
cd "$(dirname "$0")/.."
dest=$(realpath -m "${1:-build-windows/sqlite}")
[ -f "$dest/sqlite3.c" ] && [ -f "$dest/sqlite3.h" ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
for tool in tclsh make gcc xz; do
    if ! command -v "$tool" >/dev/null; then
        $sudo apt-get update -qq
        $sudo DEBIAN_FRONTEND=noninteractive apt-get install -y -qq tcl make gcc xz-utils >/dev/null
        break
    fi
done

work="$dest/work"
rm -rf "$work"
mkdir -p "$work/lists/partial" "$work/download"
# The source package through apt, without touching the system's own list of sources.
cat >"$work/sources.list" <<'LIST'
deb-src http://deb.debian.org/debian bookworm main
deb-src http://deb.debian.org/debian-security bookworm-security main
LIST
apt_opts=(-q -o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
          -o Dir::State::Lists="$work/lists" -o APT::Sandbox::User=root)
apt-get "${apt_opts[@]}" update >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; exit 1; }
(cd "$work/download" && apt-get "${apt_opts[@]}" source --download-only sqlite3 >>"$work/apt.log" 2>&1) ||
    { cat "$work/apt.log"; exit 1; }

cd "$work"
tar xJf download/sqlite3_*.orig.tar.xz
src=$(find . -maxdepth 1 -type d -name 'sqlite3-*' | head -n 1)
tar xJf download/sqlite3_*.debian.tar.xz -C "$src"
# Debian's fixes, but for the one that builds the parser from the lemon package's template.
while read -r p; do
    case "$p" in ''|'#'*|02-use-packaged-lempar.c.patch) continue ;; esac
    patch -d "$src" -p1 --quiet <"$src/debian/patches/$p"
done <"$src/debian/patches/series"

mkdir -p "$src/bld"
(cd "$src/bld" && ../configure --disable-tcl >configure.log 2>&1 && make sqlite3.c >make.log 2>&1) ||
    { tail -n 30 "$src/bld/"*.log; exit 1; }
cp "$src/bld/sqlite3.c" "$src/bld/sqlite3.h" "$dest/"
grep -m1 '^#define SQLITE_VERSION ' "$dest/sqlite3.h"
rm -rf "$work"
