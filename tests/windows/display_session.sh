#!/usr/bin/env bash
# Runs a command on a virtual display of its own (Xvfb), with Wine under a Chinese
# locale, so windows, fonts and message boxes are those a Chinese Windows shows.
#   Usage: display_session.sh COMMAND...
set -euo pipefail
file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$file" 2>/dev/null &
pid=$!
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true; rm -f "$file"' EXIT
for _ in $(seq 100); do
  [ -s "$file" ] && break
  sleep 0.05
done
[ -s "$file" ] || { echo "display_session: Xvfb did not start" >&2; exit 1; }
DISPLAY=":$(head -n1 "$file")" LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 "$@"
