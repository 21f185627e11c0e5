#!/usr/bin/env bash
# Runs the benchmarks and prints their figures; JSON copies go to build/bench/.
# So far: the native pipeline (optimised build, real worker thread, no sanitizer).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh

if [ ! -f build/native-release/build.ninja ]; then
  cmake -S . -B build/native-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DDORVANE_WERROR=ON -DDORVANE_BENCH=ON > /dev/null
fi
cmake --build build/native-release --target pipeline_bench > /dev/null
mkdir -p build/bench
build/native-release/pipeline_bench build/bench/pipeline.json
