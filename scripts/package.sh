#!/usr/bin/env bash
# Builds the Debian package drivedesk_VERSION_ARCH.deb in the build directory.
#   scripts/package.sh [build-dir] [--check]
# --check unpacks it into a scratch root (dpkg -x) and runs the unpacked drivectl and
# drivedesk with --version there, with no path into the build tree, and checks that
# dpkg-shlibdeps gave it its dependencies. Install it with: sudo apt install ./drivedesk_*.deb
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
check="${2:-}"
ninja -C "$build" drivedesk drivectl drivesim >/dev/null
log="$build/cpack.log"
(cd "$build" && cpack -G DEB >"$log" 2>&1) || { cat "$log" >&2; exit 1; }
deb="$(ls -t "$build"/drivedesk_*.deb | head -n 1)"
echo "package: $deb"
[ "$check" = "--check" ] || exit 0

root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
for f in usr/bin/drivedesk usr/bin/drivectl usr/bin/drivesim usr/share/applications/drivedesk.desktop \
         usr/share/icons/hicolor/scalable/apps/drivedesk.svg lib/udev/rules.d/60-drivedesk-latency.rules; do
  [ -e "$root/$f" ] || { echo "package: $f missing" >&2; exit 1; }
done
depends="$(dpkg-deb -f "$deb" Depends)"
case "$depends" in *libqt6widgets6*qt6-qpa-plugins*|*qt6-qpa-plugins*libqt6widgets6*) ;; *) echo "package: no Qt in Depends: $depends" >&2; exit 1 ;; esac
version="$(dpkg-deb -f "$deb" Version)"
# A clean environment and a working directory outside the tree: only the package's files.
got="$(cd "$root" && env -i "$root/usr/bin/drivectl" --version | head -n 1)"
[ "$got" = "drivectl $version" ] || { echo "package: drivectl --version said '$got'" >&2; exit 1; }
got="$(cd "$root" && env -i "$root/usr/bin/drivedesk" --version | head -n 1)"
[ "$got" = "drivedesk $version" ] || { echo "package: drivedesk --version said '$got'" >&2; exit 1; }
echo "package: $(basename "$deb") unpacks and runs (Depends: $depends)"
