# Sourced by the process benchmarks: builds bench_window and drivesim in $build, gives
# the run a private port directory, and offers start_sim / stop_sim for drivesim on COM1.
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
