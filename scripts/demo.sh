#!/usr/bin/env bash
# The main job: builds DriveDesk, starts the simulated drive on COM1 and opens the window.
# Pick the baud rate 115200 and click "开启通信".
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$here/build"
"$here/scripts/setup.sh" "$build"

export DRIVEDESK_PORT_DIR="${DRIVEDESK_PORT_DIR:-/tmp/drivedesk-ports}"
export DRIVEDESK_PORT_DEFAULTS="${DRIVEDESK_PORT_DEFAULTS:-0}"
mkdir -p "$DRIVEDESK_PORT_DIR"

fifo="$(mktemp -u)"
mkfifo "$fifo"
"$build/sim/drivesim" --com 1 --baud 115200 >"$fifo" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -f "$fifo"' EXIT
read -r device <"$fifo"
echo "demo: simulated drive on $device (COM1 at 115200 baud)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "demo: no display; running the window under Xvfb (close it with Ctrl-C)"
  xvfb-run -a -s "-screen 0 1280x1024x24" "$build/ui/drivedesk"
else
  "$build/ui/drivedesk"
fi
