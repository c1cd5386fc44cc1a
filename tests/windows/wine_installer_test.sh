#!/bin/bash
# The installer under Wine, silently: both programs and the read-me into Program Files, the
# Start-menu entry and the uninstall entry; then the uninstaller takes them away again.
set -u
setup=$1
die() { echo "FAIL: $*"; exit 1; }
[ -f "$setup" ] || die "no installer at $setup (scripts/windows-package.sh makes it)"
[ -n "${WINEPREFIX:-}" ] || die "no Wine prefix (scripts/windows.sh makes it)"
dir="$WINEPREFIX/drive_c/Program Files/ODOMEI"
wine "$setup" /S || die "the installer failed"
for f in odomei.exe odomei-cli.exe README.txt uninstall.exe; do
    [ -f "$dir/$f" ] || die "$f was not installed"
done
find "$WINEPREFIX/drive_c/users" -path '*Start Menu/Programs/ODOMEI/ODOMEI.lnk' | grep -q . ||
    die "no Start-menu entry"
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ODOMEI' /v DisplayVersion \
    2>/dev/null | grep -q '2\.0\.0' || die "no uninstall entry"
wine "$dir/odomei-cli.exe" --version | grep -q 'odomei-cli (ODOMEI)' || die "the installed odomei-cli does not run"
wine "$dir/uninstall.exe" /S "_?=C:\\Program Files\\ODOMEI" || die "the uninstaller failed"
# It may still be at work when wine returns.
for _ in $(seq 1 100); do [ -e "$dir/odomei.exe" ] || break; sleep 0.1; done
[ -e "$dir/odomei.exe" ] && die "the uninstaller left odomei.exe"
find "$WINEPREFIX/drive_c/users" -path '*Start Menu/Programs/ODOMEI*' | grep -q . &&
    die "the uninstaller left the Start-menu entry"
echo "installed, ran and uninstalled"
