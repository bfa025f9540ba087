#!/usr/bin/env bash
# Builds the Windows packages with cpack and tries them under Wine: the zip holds the
# programs; the installer installs silently (/S), the installed program runs, and its
# uninstaller removes what the installer put there.
#   Usage: installer_test.sh BUILD_DIR WINE PROGRAM    (PROGRAM: drivedesk.exe or drivectl.exe)
set -euo pipefail
build=$1 wine=$2 program=$3
cd "$build"
cpack -B "$build/packages" >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' CMakeCache.txt)
installer=$build/packages/DriveDesk-$version-win64.exe
zip=$build/packages/DriveDesk-$version-win64.zip
fail() { echo "installer_test: $*" >&2; exit 1; }
[ -s "$installer" ] || fail "no installer $installer"
listing=$(unzip -l "$zip")
for file in drivectl.exe "$program" README.txt; do
  grep -q "DriveDesk-$version-win64/$file\$" <<<"$listing" || fail "$file missing in the zip"
done

root=$WINEPREFIX/drive_c/DriveDesk-test
rm -rf "$root"
"$wine" "$installer" /S '/D=C:\DriveDesk-test' </dev/null
for file in drivectl.exe "$program" README.txt Uninstall.exe; do
  [ -f "$root/$file" ] || fail "$file not installed"
done
menu=$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/DriveDesk/DriveDesk.lnk' | head -n1)
[ -n "$menu" ] || fail "no Start-menu entry"
"$wine" "$root/$program" --version </dev/null | tr -d '\r' | grep -qF "$version" ||
  fail "the installed $program --version did not name version $version"

# The uninstaller copies itself away and returns at once: wait for it to finish.
"$wine" "$root/Uninstall.exe" /S </dev/null
for _ in $(seq 100); do
  [ -e "$root" ] || [ -e "$menu" ] || break
  sleep 0.2
done
left=$(find "$root" "$(dirname "$menu")" 2>/dev/null || true)
[ -z "$left" ] || fail "the uninstaller left: $left"
echo "installer_test: installed, ran $program --version, uninstalled"
