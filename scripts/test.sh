#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything (also the Windows build, whose
# tests run under Wine) and runs every test. Safe to run again.
#   scripts/test.sh            normal build
#   scripts/test.sh address    under AddressSanitizer + UndefinedBehaviorSanitizer
#   scripts/test.sh thread     under ThreadSanitizer
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
sanitize="${1:-}"
build="$here/build${sanitize:+-$sanitize}"
# Our own checks treat warnings as errors; a user's build (option off) never fails on one.
"$here/scripts/setup.sh" "$build" -DDRIVEDESK_SANITIZE="$sanitize" -DDRIVEDESK_WARNINGS_AS_ERRORS=ON

export CCACHE_BASEDIR="$here" CCACHE_NOHASHDIR=1
if [ -z "$sanitize" ]; then
  echo "test: cross-compiling for Windows with release flags (build-win)"
  cmake -S "$here" -B "$here/build-win" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DDRIVEDESK_WARNINGS_AS_ERRORS=ON \
        -DDRIVEDESK_LINK_ONLY=OFF -DBUILD_TESTING=ON -DDRIVEDESK_NATIVE_BUILD="$build" >/dev/null
  ninja -C "$here/build-win" -j"$(nproc)"
  # What a user or a distribution builds: optimised, and the package comes from it.
  echo "test: the release build (build-release) and the Debian package from it"
  cmake -S "$here" -B "$here/build-release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DDRIVEDESK_WARNINGS_AS_ERRORS=ON -DBUILD_TESTING=OFF >/dev/null
  ninja -C "$here/build-release" -j"$(nproc)" drivedesk drivectl drivesim
  "$here/scripts/package.sh" "$here/build-release" --check
fi

export QT_QPA_PLATFORM=offscreen
export TSAN_OPTIONS="suppressions=$here/tests/tsan.supp ${TSAN_OPTIONS:-}"
# Each test gets its own port directory; nothing may touch the machine's real serial ports.
export DRIVEDESK_PORT_DEFAULTS=0
cd "$build"
ctest --output-on-failure -j"$(nproc)" --timeout 300
if [ -z "$sanitize" ]; then
  echo "test: the Windows build under Wine"
  cd "$here/build-win"
  ctest --output-on-failure -j"$(nproc)" --timeout 300
  echo "test: screenshots of the Windows window (build-win/screenshots)"
  "$here/tests/windows/screenshot.sh" "$here/build-win" "$here/build-win/screenshots"
fi
