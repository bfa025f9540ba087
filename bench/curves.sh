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
. "$here/bench/sim_process.sh"

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
