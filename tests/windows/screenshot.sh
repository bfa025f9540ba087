#!/usr/bin/env bash
# Writes PNGs of the Win32 window (start, the drive address and drive search dialogs,
# connected, the live curves during a move, moved, homed, compact and full view,
# settings dialog, communication log) as Wine draws
# it on a virtual display under a Chinese locale, connected to the native simulated
# drive on COM12 (ui/win32/tour_main.cpp; Wine claims COM1 to COM4 for the machine's
# own serial ports). The tour of tests/ui/screenshot.sh, on Windows.
#   Usage: tests/windows/screenshot.sh [build-win-dir] [output-dir]
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
win="$(cd "${1:-$here/build-win}" && pwd)"
out="${2:-$win/screenshots}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
native=$(sed -n 's/^DRIVEDESK_NATIVE_BUILD:PATH=//p' "$win/CMakeCache.txt")
wine=/usr/lib/wine/wine64
export WINEPREFIX="${WINEPREFIX:-$win/wine-prefix}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -d "$WINEPREFIX/drive_c" ]; then
  echo "screenshot: making the Wine prefix $WINEPREFIX"
  DISPLAY= "$wine" wineboot -i </dev/null >/dev/null 2>&1
fi
rm -f "$out"/*.bmp "$out"/*.png
status=0
"$here/tests/windows/display_session.sh" "$here/tests/windows/sim_session.sh" "$native/sim/drivesim" 12 \
  "$wine" "$win/ui/win32/drivedesk_tour.exe" "Z:$out" </dev/null || status=$?
for bmp in "$out"/*.bmp; do
  [ -e "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm "$bmp"
done
ls -1 "$out"/*.png 2>/dev/null || true
exit $status
