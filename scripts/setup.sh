#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build and test Tavro (native, sanitizers,
# fuzzing, benchmarks, the Debian package and its lintian check, Windows cross build
# run under Wine). Does nothing when they are all installed; as non-root it prints the
# command to run instead.
# 64-bit Wine only: never add the i386 architecture or wine32.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  googletest libgtest-dev
  mingw-w64 wine wine64 fonts-wine fonts-liberation
  xvfb xauth x11-utils imagemagick xdotool
  libbotan-2-dev libssl-dev openssl bc
  xdg-utils shared-mime-info libfile-mimeinfo-perl desktop-file-utils
  dpkg-dev file lintian man-db
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages installed"
  exit 0
fi

echo "setup: missing packages: ${missing[*]}"
apt_install=(apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${missing[@]}")
if [ "$(id -u)" != 0 ]; then
  echo "setup: not root; run as root:" >&2
  echo "  apt-get -o DPkg::Lock::Timeout=600 update && DEBIAN_FRONTEND=noninteractive ${apt_install[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get -o DPkg::Lock::Timeout=600 update
"${apt_install[@]}"
echo "setup: installed ${missing[*]}"
