#!/usr/bin/env bash
# Runs the benchmarks and prints their figures; JSON copies go to build/bench/.
#   1. the native pipeline (optimised build, real worker thread, no sanitizer): readings per
#      second typed and recorded, burst-to-first-key latency;
#   2. the real Dorvane.exe under Wine with a pty as COM12: latency, typing and recording
#      throughput with a byte-exact check, idle cost, start-up, memory, size, and the time from a
#      pulled-out device's return to its first typed key; first of all the CPU per 1000 typed
#      characters and the first key's latency over the floor for this build and, back to back,
#      for the build before the foreground checks (commit 2c9b587, built once into
#      build/bench/baseline) (about 20 minutes).
#   The time from a request reaching the device ("Send Command") to the first key of its answer.
# Usage: scripts/bench.sh [native|compare|request]   (compare: only the comparison with the
# baseline; request: only the request's figures, about two minutes)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
scripts/fetch-pcre2.sh

if [ ! -f build/native-release/build.ninja ]; then
  cmake -S . -B build/native-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DDORVANE_WERROR=ON -DDORVANE_BENCH=ON > /dev/null
fi
cmake --build build/native-release --target pipeline_bench > /dev/null
mkdir -p build/bench
build/native-release/pipeline_bench build/bench/pipeline.json
if [ "${1:-}" = native ]; then
  exit 0
fi

scripts/build.sh windows > build/bench/build.log 2>&1 || { tail -30 build/bench/build.log; exit 1; }
source scripts/wine-env.sh
if [ "${1:-}" = compare ]; then
  exec python3 bench/e2e_bench.py --compare
fi
if [ "${1:-}" = request ]; then
  exec python3 bench/e2e_bench.py --request
fi
exec python3 bench/e2e_bench.py
