#!/usr/bin/env bash
# Builds and runs every test tier, in order, and prints each tier's summary and time:
#   1. native unit tests (ASan + UBSan, and ThreadSanitizer)
#   2. Windows unit tests under Wine
#   3. end-to-end tests of the real programs under Wine on Xvfb (pytest)
#   4. scripts/demo.sh, the README's first command
# Every tier runs even when an earlier one failed; the exit status is non-zero if any failed.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-env.sh

scripts/build.sh || { echo "test.sh: build failed"; exit 1; }

failed=()
summary=()
run_tier() {
  local name="$1"; shift
  local start=$SECONDS
  echo "=== $name"
  if "$@"; then result=passed; else result=FAILED; failed+=("$name"); fi
  summary+=("$name: $result in $((SECONDS - start)) s")
}

native_tests() {
  (cd build/native-asan && ctest --output-on-failure --no-tests=error) &&
  (cd build/native-tsan && ctest --output-on-failure --no-tests=error)
}

windows_tests() {
  local template prefix status
  template="$(scripts/wine-template.sh)" || return 1
  prefix="$PWD/build/wine-unit"
  rm -rf "$prefix" && cp -a "$template" "$prefix"
  # A private display: the window layer's tests create (hidden) windows, which Wine refuses
  # without one.
  (cd build/mingw && WINEPREFIX="$prefix" xvfb-run -a -s "-screen 0 1024x768x24" \
    ctest --output-on-failure --no-tests=error --timeout 300)
  status=$?
  WINEPREFIX="$prefix" timeout 60 wineserver -k > /dev/null 2>&1
  return $status
}

e2e_tests() {
  local python=python3
  "$python" -c 'import pytest' 2> /dev/null || python=/usr/bin/python3
  (cd tests/e2e && timeout 1800 "$python" -m pytest -p no:cacheprovider -v --tb=short .)
}

# The README's first command, as a new user runs it (on a private Xvfb, whatever display is set).
demo() {
  env -u DISPLAY timeout 900 scripts/demo.sh
}

run_tier "tier 1: native unit tests" native_tests
run_tier "tier 2: Windows unit tests (Wine)" windows_tests
run_tier "tier 3: end-to-end (Wine, Xvfb)" e2e_tests
run_tier "tier 4: the demo (scripts/demo.sh)" demo

echo "=== summary"
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -ne 0 ]; then
  echo "test.sh: failed: ${failed[*]}"
  exit 1
fi
echo "test.sh: all tiers passed"
