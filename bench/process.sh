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
. "$here/bench/sim_process.sh"

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
