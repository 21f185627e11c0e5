#!/usr/bin/env bash
# Installs every Debian package the build and the tests need.
# Idempotent: when everything is present it only runs dpkg-query and returns.
set -euo pipefail

PACKAGES=(
  cmake ninja-build gcc g++ make pkg-config
  g++-mingw-w64-x86-64-posix mingw-w64-tools
  doctest-dev clang-format
  wine wine64 fonts-wine
  xvfb xauth x11-utils x11-xkb-utils socat
  nsis
  python3 python3-pytest
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
