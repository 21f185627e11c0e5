# Sourced by the scripts: the Wine environment every run of the product and its tests uses.
# No Mono/Gecko prompts, no debug channel noise, a UTF-8 host locale.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=C.UTF-8

DORVANE_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# A prepared prefix that runs copy (cp -a, ~2 s) instead of booting a new one (~13 s).
DORVANE_WINE_TEMPLATE="${DORVANE_WINE_TEMPLATE:-$DORVANE_ROOT/build/wine-template}"
