#!/bin/sh
# Writes PNGs of the main window (full view, connected look, compact view) rendered
# by the real X11 platform plugin with the installed fonts, under a virtual display.
# Usage: tests/ui/screenshot.sh [build-dir] [output-dir]
set -eu
build=${1:-build}
out=${2:-$build/screenshots}
mkdir -p "$out"
exec env QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
  "$build/tests/ui/ui_screenshot" "$out"
