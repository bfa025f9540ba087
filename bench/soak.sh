#!/usr/bin/env bash
# The whole program (headless) against the simulated drive under the fault mix: dropped,
# corrupted, short, split and late replies, exception replies, while the drive's values
# change and set-zero / enable / release are clicked. Fails on a hang, a value the drive
# never held, a stalled poll, a message, or a worker left after close.
#   bench/soak.sh [build-dir] [seconds] [extra bench_soak options]
# Defaults to 600 s; CI runs a 12 s version (robustness_test FaultSoak.*).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
seconds="${2:-600}"
shift $(( $# > 2 ? 2 : $# ))
ninja -C "$build" bench_soak >/dev/null
"$build/bench/bench_soak" --seconds "$seconds" "$@"
