#!/usr/bin/env bash
# Shows Dorvane doing its job: installs what it needs, builds, and plays scanner and scale
# readings through a virtual serial port into a text window under Wine (on your display when
# one is set, else on a private Xvfb). Exit status 0 only when every reading arrived exactly.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
mkdir -p build
scripts/build.sh windows > build/demo-build.log 2>&1 || { tail -30 build/demo-build.log; exit 1; }
source scripts/wine-env.sh
exec python3 scripts/demo.py
