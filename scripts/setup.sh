#!/usr/bin/env bash
# Installs what DriveDesk needs on Debian 12 (as root, only what is missing) and builds it.
# Safe to run again. Usage: scripts/setup.sh [build-dir] [extra cmake args...]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
shift || true

packages=(build-essential cmake ninja-build pkg-config ccache
          qt6-base-dev qt6-charts-dev libqt6opengl6-dev qt6-qpa-plugins libgl1-mesa-dev libxkbcommon-dev
          libgtest-dev libgmock-dev libbenchmark-dev libmodbus-dev mbpoll
          g++-mingw-w64-x86-64 wine64 googletest xvfb xauth fonts-noto-cjk fonts-wqy-zenhei fonts-arphic-uming
          qt6-translations-l10n
          clang libclang-rt-14-dev locales nsis unzip imagemagick)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages need root: sudo apt-get install ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A comma-decimal locale: the tests show that numbers do not follow the machine's locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: the locale de_DE.UTF-8 needs root: sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8" >&2
    exit 1
  fi
  echo "setup: generating the locale de_DE.UTF-8"
  localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi

# Wine shows Chinese message boxes (texts and the "确定" button) only under a Chinese
# locale: the Windows window tests and the screenshot tour run under it.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: the locale zh_CN.UTF-8 needs root: sudo localedef -i zh_CN -f UTF-8 zh_CN.UTF-8" >&2
    exit 1
  fi
  echo "setup: generating the locale zh_CN.UTF-8"
  localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi

# The cache is shared by every checkout: paths below the checkout count as relative.
export CCACHE_BASEDIR="$here" CCACHE_NOHASHDIR=1
cmake -S "$here" -B "$build" -G Ninja "$@" >/dev/null
ninja -C "$build" -j"$(nproc)"
