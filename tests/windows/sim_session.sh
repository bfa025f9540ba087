#!/usr/bin/env bash
# Runs a command beside a native drivesim that Wine sees as COM<n>: the simulator links
# its pseudo-terminal as COM<n> in a private directory, and $WINEPREFIX/dosdevices/com<n>
# points at that link (so it follows the simulator through "vanish" and "return").
# The command finds the simulator's console (a FIFO) and its output file in
# DRIVESIM_CONSOLE and DRIVESIM_OUTPUT.
#   Usage: sim_session.sh DRIVESIM N [DRIVESIM-OPTIONS... --] COMMAND...
set -euo pipefail
sim=$1 com=$2
shift 2
options=()
if [ "${1:-}" != "${1#--}" ]; then
  while [ "$1" != -- ]; do options+=("$1"); shift; done
  shift
fi
dir=$(mktemp -d "${TMPDIR:-/tmp}/ddwine-XXXXXX")
mkfifo "$dir/console"
# Held open here, so the simulator's console never reaches its end between commands.
exec {console}<>"$dir/console"
DRIVEDESK_PORT_DIR=$dir "$sim" --com "$com" "${options[@]}" <"$dir/console" >"$dir/output" 2>/dev/null {console}>&- &
pid=$!
link=$WINEPREFIX/dosdevices/com$com
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true; rm -rf "$dir" "$link"' EXIT
ln -sfn "$dir/COM$com" "$link"
for _ in $(seq 200); do
  [ -s "$dir/output" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.05
done
[ -s "$dir/output" ] || { echo "sim_session: drivesim did not start" >&2; exit 1; }
DRIVESIM_CONSOLE=$dir/console DRIVESIM_OUTPUT=$dir/output "$@" {console}>&-
