#!/usr/bin/env bash
# The program as a process: the real window offscreen (bench_window, same pieces as
# drivedesk) against drivesim in another process.
#   bench/process.sh [build-dir] [seconds]
# Three runs: at 115200 baud with wire-time emulation and no clicks (start-up, connection,
# CPU, memory); against an instant drive with a click every 50 ms (responsiveness); and
# against an instant in-process drive whose every value changes all the time (coalescing
# of display updates; CPU then includes the drive).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
seconds="${2:-30}"
ninja -C "$build" bench_window drivesim >/dev/null
export QT_QPA_PLATFORM=offscreen DRIVEDESK_PORT_DEFAULTS=0
DRIVEDESK_PORT_DIR="$(mktemp -d)"
export DRIVEDESK_PORT_DIR
sim_pid=""
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$DRIVEDESK_PORT_DIR"; }
trap cleanup EXIT

# Starts drivesim on COM1 and waits (with a deadline) until its link exists.
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

echo "== 115200 baud, wire time, ${seconds}s, no clicks"
start_sim --baud 115200
"$build/bench/bench_window" --seconds "$seconds" --baud 115200 --probe-ms 0
stop_sim

echo "== instant drive (no wire time), ${seconds}s, a click every 50 ms"
start_sim --baud 115200 --no-wire-time
"$build/bench/bench_window" --seconds "$seconds" --baud 115200 --probe-ms 50
stop_sim

echo "== instant drive in the same process, every value changing, ${seconds}s, a click every 50 ms"
"$build/bench/bench_window" --seconds "$seconds" --baud 115200 --probe-ms 50 --moving-drive
