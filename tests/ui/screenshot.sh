#!/bin/sh
# Writes PNGs of the main window (start, connected, after a move and a homing run, compact
# view, settings dialog) rendered by the real X11 platform plugin with the installed
# fonts, under a virtual display, connected to a simulated drive (ui/qt/tour_main.cpp).
# Usage: tests/ui/screenshot.sh [build-dir] [output-dir]
set -eu
build=${1:-build}
out=${2:-$build/screenshots}
mkdir -p "$out"
exec env QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
  "$build/ui/qt/drivedesk_tour" "$out"
