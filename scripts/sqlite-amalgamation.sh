#!/bin/bash
# Makes SQLite's amalgamation (sqlite3.c, sqlite3.h) for the Windows build from Debian's own
# source package, with Debian's fixes applied, into the folder given (default
# build-windows/sqlite). Does nothing when that folder already holds them.
set -euo pipefail
cd "$(dirname "$0")/.."
dest=$(realpath -m "${1:-build-windows/sqlite}")
[ -f "$dest/sqlite3.c" ] && [ -f "$dest/sqlite3.h" ] && exit 0

. scripts/packages.sh
install_packages sqlite

work="$dest/work"
rm -rf "$work"
mkdir -p "$work/lists/partial" "$work/parts" "$work/cache/archives/partial" "$work/download"
# The source package through apt, from the same archives as the machine's own packages (its
# mirror, its proxy settings), without touching the machine's own lists: every `deb` entry of
# its sources becomes a `deb-src` entry of a private list.
sourcelist=/etc/apt/sources.list
sourceparts=/etc/apt/sources.list.d/
eval "$(apt-config shell sourcelist Dir::Etc::sourcelist/f sourceparts Dir::Etc::sourceparts/d)"
for list in "$sourcelist" "${sourceparts%/}"/*.list; do
    [ -f "$list" ] || continue
    awk 'sub(/^[[:space:]]*deb[[:space:]]+/, "deb-src ")' "$list"
done >"$work/sources.list"
for sources in "${sourceparts%/}"/*.sources; do
    [ -f "$sources" ] || continue
    # One paragraph an entry: those of type deb are kept, with deb-src as their only type.
    awk 'BEGIN { RS = ""; FS = "\n" }
         {
             out = ""; keep = 0
             for (i = 1; i <= NF; i++) {
                 line = $i
                 if (tolower(line) ~ /^types:/) {
                     if (line ~ /[[:space:]]deb([[:space:]]|$)/) keep = 1
                     line = "Types: deb-src"
                 }
                 out = out line "\n"
             }
             if (keep) printf "%s\n", out
         }' "$sources" >"$work/parts/$(basename "$sources")"
done
if ! grep -qs . "$work/sources.list" "$work"/parts/*; then
    echo "apt has no Debian package sources (in $sourcelist or $sourceparts), so SQLite's" \
        "source package cannot be fetched." >&2
    exit 1
fi
apt_opts=(-q -o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts="$work/parts"
          -o Dir::State::Lists="$work/lists" -o Dir::Cache="$work/cache" -o APT::Sandbox::User=root)
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
