#!/usr/bin/env bash
# Installs every Debian package the build and the tests need, and makes apt know the source
# package PCRE2 is built from (scripts/fetch-pcre2.sh): a deb-src entry beside the deb ones.
# Idempotent: when everything is present it only runs dpkg-query and apt-cache and returns.
set -euo pipefail

PACKAGES=(
  cmake ninja-build gcc g++ make pkg-config
  g++-mingw-w64-x86-64-posix mingw-w64-tools
  doctest-dev clang-format
  wine wine64 fonts-wine
  xvfb xauth x11-utils x11-xkb-utils socat
  nsis
  python3 python3-pytest
  dpkg-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

pcre2_source_known() { apt-cache showsrc pcre2 2>/dev/null | grep -c '^Version: 10\.42-' > /dev/null; }

if [ ${#missing[@]} -eq 0 ] && pcre2_source_known; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
updated=0
if ! pcre2_source_known; then
  src_entry=/etc/apt/sources.list.d/dorvane-src.sources
  if [ ! -f "$src_entry" ]; then
    echo "setup-deps: adding the deb-src entries $src_entry"
    "$(dirname "$0")/deb-src-entries.sh" | $SUDO tee "$src_entry" > /dev/null
  fi
  $SUDO apt-get update -q
  updated=1
fi
if [ ${#missing[@]} -ne 0 ]; then
  echo "setup-deps: installing ${missing[*]}"
  if [ "$updated" -eq 0 ]; then $SUDO apt-get update -q; fi
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
