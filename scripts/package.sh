#!/usr/bin/env bash
# Builds the release and writes it to dist/:
#   Dorvane-<version>-win64.zip     Dorvane.exe (stripped), the user guide (with its picture) and an empty Dorvane.ini
#                                   (UTF-16): the unzipped copy keeps its settings beside itself
#   Dorvane-<version>-setup.exe     the per-user installer (NSIS, 64-bit)
# The version comes from res/version.h, which also feeds the version record and the About box.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
scripts/build.sh windows > /dev/null

major=$(sed -n 's/^#define DORVANE_VERSION_MAJOR \([0-9]*\)$/\1/p' res/version.h)
minor=$(sed -n 's/^#define DORVANE_VERSION_MINOR \([0-9]*\)$/\1/p' res/version.h)
version="$major.$minor"
[ -n "$major" ] && [ -n "$minor" ] || { echo "package.sh: no version in res/version.h"; exit 1; }

stage=build/package
rm -rf "$stage" dist
mkdir -p "$stage" dist
x86_64-w64-mingw32-strip -o "$stage/Dorvane.exe" build/mingw/Dorvane.exe
cp docs/UserGuide.html docs/readings.png "$stage/"
cp build/mingw/icons/idle.ico "$stage/Dorvane.ico"

python3 - "$stage" "dist/Dorvane-$version-win64.zip" <<'PY'
import sys
import zipfile
from pathlib import Path
stage, target = Path(sys.argv[1]), sys.argv[2]
with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as archive:
    for name in ("Dorvane.exe", "UserGuide.html", "readings.png"):
        archive.write(stage / name, f"Dorvane/{name}")
    # The UTF-16 mark alone: the system keeps such a file in UTF-16, so every character of a
    # setting survives (a file it creates itself is in the ANSI code page).
    archive.writestr("Dorvane/Dorvane.ini", b"\xff\xfe")
PY

makensis -V2 -DVERSION="$version" -DSOURCE="$(pwd)/$stage" -DOUTFILE="$(pwd)/dist/Dorvane-$version-setup.exe" \
  installer/dorvane.nsi
ls -l dist
