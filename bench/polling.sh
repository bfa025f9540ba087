#!/usr/bin/env bash
# Polling rate at 9600, 115200 and 250000 baud against the wire-time limit and libmodbus,
# the connection sequence against its wire-time limit, and the load with port discovery.
#   bench/polling.sh [build-dir] [seconds-per-baud]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
seconds="${2:-10}"
ninja -C "$build" bench_polling >/dev/null
"$build/bench/bench_polling" --seconds "$seconds" --baud 9600 --baud 115200 --baud 250000

# mbpoll itself, for reference: it makes one kind of read per run and paces its loop
# (poll rate at least 10 ms), so it is measured as reads per second of the 2-register
# actual-position read, against drivesim in another process.
command -v mbpoll >/dev/null || exit 0
ninja -C "$build" drivesim >/dev/null
dir="$(mktemp -d)"
sim_pid=""
trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; rm -rf "$dir"' EXIT
for baud in 9600 115200 250000; do
  DRIVEDESK_PORT_DIR="$dir" "$build/sim/drivesim" --com 1 --baud "$baud" >"$dir/sim.log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 1 500); do [ -L "$dir/COM1" ] && break; read -r -t 0.01 <> <(:) || true; done
  device="$(readlink "$dir/COM1")"
  reads=$(timeout "$seconds" mbpoll -m rtu -a 1 -b "$baud" -P even -0 -t 4 -r 44 -c 2 -l 11 -o 0.5 \
          "$device" 2>/dev/null | grep -c '^\[44\]' || true)
  echo "mbpoll $baud baud: $reads reads in ${seconds}s ($(awk "BEGIN{printf \"%.1f\", $reads/$seconds}") reads/s, poll rate 11 ms)"
  kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=""
done
