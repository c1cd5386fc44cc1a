#!/bin/bash
# The installer under Wine, silently: a per-user install that asks for no administrator rights,
# both programs and the read-me into the user's AppData\Local\Programs\ODOMEI, the Start-menu
# entry and the uninstall entry in the user's own profile and registry; then the uninstaller
# takes them away again.
set -u
setup=$1
die() { echo "FAIL: $*"; exit 1; }
[ -f "$setup" ] || die "no installer at $setup (scripts/windows-package.sh makes it)"
[ -n "${WINEPREFIX:-}" ] || die "no Wine prefix (scripts/windows.sh makes it)"
key='Software\Microsoft\Windows\CurrentVersion\Uninstall\ODOMEI'
grep -a -q 'requestedExecutionLevel level="asInvoker"' "$setup" ||
    die "the installer asks for administrator rights"
wine "$setup" /S || die "the installer failed"
dir=$(find "$WINEPREFIX/drive_c/users" -path '*/AppData/Local/Programs/ODOMEI' -type d | head -n 1)
[ -n "$dir" ] || die "nothing was installed into AppData\\Local\\Programs"
[ -e "$WINEPREFIX/drive_c/Program Files/ODOMEI" ] && die "the installer wrote into Program Files"
for f in odomei.exe odomei-cli.exe README.txt uninstall.exe; do
    [ -f "$dir/$f" ] || die "$f was not installed"
done
find "$WINEPREFIX/drive_c/users" -path '*Start Menu/Programs/ODOMEI/ODOMEI.lnk' | grep -q . ||
    die "no Start-menu entry"
wine reg query "HKCU\\$key" /v DisplayVersion 2>/dev/null | grep -q '2\.0\.0' ||
    die "no uninstall entry for the user"
wine reg query "HKLM\\$key" >/dev/null 2>&1 && die "an uninstall entry for the whole machine"
wine "$dir/odomei-cli.exe" --version | grep -q 'odomei-cli (ODOMEI)' || die "the installed odomei-cli does not run"
wine "$dir/uninstall.exe" /S "_?=$(winepath -w "$dir")" || die "the uninstaller failed"
# It may still be at work when wine returns.
for _ in $(seq 1 100); do [ -e "$dir/odomei.exe" ] || break; sleep 0.1; done
[ -e "$dir/odomei.exe" ] && die "the uninstaller left odomei.exe"
find "$WINEPREFIX/drive_c/users" -path '*Start Menu/Programs/ODOMEI*' | grep -q . &&
    die "the uninstaller left the Start-menu entry"
wine reg query "HKCU\\$key" >/dev/null 2>&1 && die "the uninstaller left the uninstall entry"
echo "installed for the user, ran and uninstalled"
