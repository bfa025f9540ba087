#!/usr/bin/env bash
# The main job: builds DriveDesk, starts the simulated drive on COM1 and opens the window.
# Pick the baud rate 115200 and click "开启通信". Without a display it tours the window
# under Xvfb instead (connect, a move, a homing run, the compact view), writes a
# screenshot of each step into build/demo-tour ($DRIVEDESK_DEMO_SHOTS) and ends.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$here/build"
"$here/scripts/setup.sh" "$build"

export DRIVEDESK_PORT_DIR="${DRIVEDESK_PORT_DIR:-/tmp/drivedesk-ports}"
export DRIVEDESK_PORT_DEFAULTS="${DRIVEDESK_PORT_DEFAULTS:-0}"
mkdir -p "$DRIVEDESK_PORT_DIR"

log="$(mktemp)"
"$build/sim/drivesim" --com 1 --baud 115200 >"$log" </dev/null &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -f "$log"' EXIT
# The simulator prints the device it serves on its first line once it listens.
for _ in $(seq 100); do
  device="$(head -n 1 "$log")"
  [ -n "$device" ] && break
  kill -0 $sim 2>/dev/null || { echo "demo: the simulator did not start" >&2; exit 1; }
  sleep 0.1
done
[ -n "$device" ] || { echo "demo: the simulator did not answer" >&2; exit 1; }
echo "demo: simulated drive on $device (COM1 at 115200 baud)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  # Nobody could see the window: tour it instead and keep a screenshot of every step.
  shots="${DRIVEDESK_DEMO_SHOTS:-$build/demo-tour}"
  echo "demo: no display; touring the window under Xvfb, screenshots in $shots"
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
    "$build/ui/qt/drivedesk_tour" --use-com1 "$shots"
  echo "demo: screenshots:"; ls -1 "$shots"/*.png
else
  "$build/ui/qt/drivedesk"
fi
