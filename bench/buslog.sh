#!/usr/bin/env bash
# The communication log's cost: the real window offscreen (bench_window) against drivesim
# at 115200 baud with wire time, alternately without and with the log (drivedesk --log
# FILE and the window "通信日志" open), then the log's memory on an instant drive.
#   bench/buslog.sh [build-dir] [seconds-per-run] [rounds] [instant-seconds]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
seconds="${2:-20}"
rounds="${3:-3}"
instant="${4:-600}"
. "$here/bench/sim_process.sh"
log="$DRIVEDESK_PORT_DIR/bus.log"

echo "== 115200 baud, wire time, ${rounds} x (${seconds}s without, ${seconds}s with --log and the window)"
start_sim --baud 115200
for round in $(seq 1 "$rounds"); do
  for mode in without with; do
    args=()
    [ "$mode" = with ] && args=(--log "$log" --log-window)
    "$build/bench/bench_window" --seconds "$seconds" --baud 115200 --probe-ms 0 "${args[@]}" |
      grep -E '^(polling|cpu|memory):' | sed "s/^/round $round $mode: /"
  done
done
stop_sim
echo "log file: $(wc -l <"$log") lines, $(du -k "$log" | cut -f1) kB"
rm -f "$log"

echo "== instant drive, ${instant}s, --log and the window"
start_sim --baud 115200 --no-wire-time
"$build/bench/bench_window" --seconds "$instant" --baud 115200 --probe-ms 0 --log "$log" --log-window |
  grep -E '^(polling|cpu|memory):'
stop_sim
echo "log file: $(wc -l <"$log") lines, $(du -k "$log" | cut -f1) kB"
