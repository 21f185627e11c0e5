#!/usr/bin/env bash
# Builds everything: the native sanitizer builds of the portable core and its tests, and the
# Windows target (product libraries, Windows unit tests, test helpers) with mingw-w64.
# Warnings are errors. Usage: scripts/build.sh [native|windows]   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
scripts/fetch-pcre2.sh

what="${1:-all}"
configure_and_build() {
  local dir="$1"; shift
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja -DDORVANE_WERROR=ON "$@" > /dev/null
  fi
  cmake --build "$dir"
}

if [ "$what" = all ] || [ "$what" = native ]; then
  configure_and_build build/native-asan -DCMAKE_BUILD_TYPE=Debug -DDORVANE_SANITIZE=address
  configure_and_build build/native-tsan -DCMAKE_BUILD_TYPE=Debug -DDORVANE_SANITIZE=thread
fi
if [ "$what" = all ] || [ "$what" = windows ]; then
  configure_and_build build/mingw -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
  # The modem-line shim the serial end-to-end tests preload into Wine (a Linux library).
  mkdir -p build/shim
  if [ tests/tools/modemshim.c -nt build/shim/libmodemshim.so ]; then
    gcc -O2 -Wall -Wextra -Werror -shared -fPIC -o build/shim/libmodemshim.so tests/tools/modemshim.c -ldl
  fi
fi
