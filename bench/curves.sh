#!/usr/bin/env bash
# The "实时曲线" window's cost: at 115200 baud with wire time, the same run measured with
# the plot closed and then open (CPU, polling rate); then against an instant drive with
# the plot open for a long run (peak RSS, samples held).
#   bench/curves.sh [build-dir] [seconds per phase] [seconds of the long run]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
seconds="${2:-30}"
long="${3:-600}"
ninja -C "$build" bench_window drivesim >/dev/null
export QT_QPA_PLATFORM=offscreen DRIVEDESK_PORT_DEFAULTS=0
DRIVEDESK_PORT_DIR="$(mktemp -d)"
export DRIVEDESK_PORT_DIR
sim_pid=""
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$DRIVEDESK_PORT_DIR"; }
trap cleanup EXIT

start_sim() {
  "$build/sim/drivesim" --com 1 "$@" >"$DRIVEDESK_PORT_DIR/sim.log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 1 500); do
    [ -L "$DRIVEDESK_PORT_DIR/COM1" ] && return 0
    kill -0 "$sim_pid" 2>/dev/null || break
    read -r -t 0.01 <> <(:) || true
  done
  echo "drivesim did not come up"; cat "$DRIVEDESK_PORT_DIR/sim.log"; exit 1
}
stop_sim() { kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=""; }

echo "== 115200 baud, wire time, ${seconds}s with the curves closed, then ${seconds}s open"
start_sim --baud 115200
"$build/bench/bench_window" --seconds "$seconds" --baud 115200 --probe-ms 0 --curves
stop_sim

if [ "$long" -gt 0 ]; then
  echo "== instant drive (no wire time), curves open for ${long}s"
  start_sim --baud 115200 --no-wire-time
  "$build/bench/bench_window" --seconds 1 --baud 115200 --probe-ms 0 --curves --open-seconds "$long"
  stop_sim
fi
