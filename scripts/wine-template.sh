#!/usr/bin/env bash
# Builds the template Wine prefix once: booted, every window inside one virtual desktop of
# 1024x768 (no window manager needed, focus stays where the tests put it). Prints its path.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"

template="$DORVANE_WINE_TEMPLATE"
stamp="$template/.dorvane-template-v1"
if [ -f "$stamp" ]; then
  echo "$template"
  exit 0
fi

rm -rf "$template"
mkdir -p "$(dirname "$template")"
log="$(dirname "$template")/wine-template.log"
export WINEPREFIX="$template"
# The prefix is built without a display; Wine falls back to its null driver for that.
(
  unset DISPLAY
  timeout 180 wineboot -i
  timeout 60 wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f
  timeout 60 wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f
  timeout 60 wineserver -w
) > "$log" 2>&1 || { echo "wine-template: building the prefix failed, see $log" >&2; exit 1; }
touch "$stamp"
echo "$template"
