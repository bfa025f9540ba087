#!/usr/bin/env bash
# The drive search against its wire-and-time-out limit: drivectl scan of one port with
# drives at 1 and 38 (115200 baud) and 4 (38400) on one simulated line; first one rate,
# 247 addresses, then every rate of the drive.
#   bench/search.sh [build-dir]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
ninja -C "$build" -j2 drivesim drivectl >/dev/null
dir="$(mktemp -d)"
sim_pid=""
trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; rm -rf "$dir"' EXIT
export DRIVEDESK_PORT_DIR="$dir" DRIVEDESK_PORT_DEFAULTS=0
"$build/sim/drivesim" --drives 1,4:38400,38 --com 1 >"$dir/sim.log" 2>&1 </dev/null &
sim_pid=$!
for _ in $(seq 1 500); do [ -L "$dir/COM1" ] && break; sleep 0.01; done

# Limit per silent address: the 8-byte request's wire time (11 bits a character) and the
# read time-out of the 13-byte reply (2 x 14 ms).
limit() { awk -v rates="$*" 'BEGIN { n = split(rates, r, " "); s = 0;
  for (i = 1; i <= n; i++) s += 247 * (8 * 11 / r[i] + 0.028); printf "%.1f", s }'; }
run() {
  local start end
  start=$(date +%s.%N)
  "$build/tools/drivectl" scan --port COM1 "$@" >"$dir/found" || true
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }'
}
one=$(run --baud 115200)
echo "one rate (115200), 247 addresses: ${one} s, limit $(limit 115200) s; found: $(tr '\n' ';' <"$dir/found")"
all=$(run)
echo "every rate (250000 ... 9600), 247 addresses each: ${all} s, limit $(limit 250000 115200 57600 38400 19200 9600) s; found: $(tr '\n' ';' <"$dir/found")"
