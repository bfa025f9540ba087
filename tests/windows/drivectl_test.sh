#!/usr/bin/env bash
# drivectl.exe under Wine and the Linux drivectl against the same simulated drive (run
# inside sim_session.sh, COM6): every read decodes to the same text, a parameter backup
# written on one side matches the drive on the other, values written from Windows read
# back on Linux, and a missing port ends with its exit status.
# Usage: drivectl_test.sh WINE DRIVECTL_EXE NATIVE_DRIVECTL
set -euo pipefail
wine=$1 exe=$2 native=$3
device=$(head -n1 "$DRIVESIM_OUTPUT")
win() { "$wine" "$exe" --baud 115200 "$@" 2>/dev/null | tr -d '\r'; }
lin() { "$native" --port "$device" --baud 115200 "$@" 2>/dev/null; }
fail() { echo "FAIL: $*" >&2; exit 1; }

lin ReleaseMotor  # a released drive's run time stands still between the two dumps
[ "$(win --port COM6 dump)" = "$(lin dump)" ] || fail "the dumps differ"

# The second backup replaces the first (a rename over an existing file on Windows).
file=$(dirname "$DRIVESIM_OUTPUT")/backup.txt
win --port COM6 backup "Z:$file"
win --port COM6 backup "Z:$file"
lin compare "$file" || fail "a backup written on Windows does not match the drive on Linux"
lin backup "$file.linux"
win --port COM6 compare "Z:$file.linux" || fail "a Linux backup does not match on Windows"

# The three ways to name the port; a negative S32, a U32 and a U64 in four registers.
win --port COM6 WriteTargetPosition -2
win --port '\\.\COM6' WriteInputBandwidth 100000
win --port com6 WriteSensorConfig 524288
for check in "ReadTargetPosition -2" "ReadInputBandwidth 100000" "ReadSensorConfig 524288"; do
  set -- $check
  [ "$(lin "$1")" = "$2" ] || fail "$1 on Linux: $(lin "$1"), want $2"
done

status=0
"$wine" "$exe" --port COM9 --baud 115200 ReadRunSpeed >/dev/null 2>&1 || status=$?
[ "$status" = 3 ] || fail "missing port: exit status $status, want 3"
echo "drivectl.exe: dump, writes and a missing port as on Linux"
