#!/usr/bin/env bash
# The installed program: the files in their standard places, a valid desktop entry and AppStream
# data, and a .deb with the right dependencies whose program starts. Usage: BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cmake --install "$build" --prefix "$tmp/usr" >/dev/null
for f in bin/odomei bin/odomei-cli share/man/man1/odomei-cli.1 share/applications/org.odomei.Odomei.desktop \
         share/metainfo/org.odomei.Odomei.metainfo.xml \
         share/icons/hicolor/32x32/apps/odomei.png share/icons/hicolor/64x64/apps/odomei.png; do
    [ -f "$tmp/usr/$f" ] || { echo "missing after install: $f"; exit 1; }
done
desktop-file-validate "$tmp/usr/share/applications/org.odomei.Odomei.desktop"
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net --explain "$tmp/usr/share/metainfo/org.odomei.Odomei.metainfo.xml" >"$tmp/as.log" ||
        { cat "$tmp/as.log"; exit 1; }
fi

(cd "$build" && cpack -G DEB -B "$tmp/deb" >/dev/null)
deb=$(ls "$tmp"/deb/odomei_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 fonts-ipafont-gothic; do
    [[ "$depends" == *"$d"* ]] || { echo "the package does not depend on $d: $depends"; exit 1; }
done
dpkg-deb -c "$deb" >"$tmp/contents"
for f in ./usr/bin/odomei ./usr/bin/odomei-cli ./usr/share/man/man1/odomei-cli.1; do
    grep -q "$f\$" "$tmp/contents" || { echo "no $f in the package"; exit 1; }
done

# The packaged program starts (offscreen, in a folder whose COM1 is missing, so it waits at its
# port message) and is still running when stopped.
dpkg-deb -x "$deb" "$tmp/root"
mkdir "$tmp/work"
printf '[Ports]\r\nCOM1=%s\r\n' "$tmp/no-such-tty" >"$tmp/work/KORVANA.ini"
status=0
(cd "$tmp/work" && QT_QPA_PLATFORM=offscreen timeout 3 "$tmp/root/usr/bin/odomei" 2>/dev/null) || status=$?
[ "$status" -eq 124 ] || { echo "the packaged program ended with $status instead of running"; exit 1; }
# The packaged command line answers without any Qt library, and its manual page formats without
# a complaint.
! ldd "$tmp/root/usr/bin/odomei-cli" | grep -q Qt || { echo "odomei-cli needs Qt"; exit 1; }
"$tmp/root/usr/bin/odomei-cli" --version | grep -q '^odomei-cli (ODOMEI) ' ||
    { echo "the packaged odomei-cli does not give its version"; exit 1; }
if command -v man >/dev/null; then
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$tmp/root/usr/share/man/man1/odomei-cli.1" 2>&1 >/dev/null)
    [ -z "$warnings" ] || { echo "the manual page: $warnings"; exit 1; }
fi
echo "package ok: $(basename "$deb"), Depends: $depends"
