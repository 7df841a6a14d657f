# Sourced by the scripts that run Windows binaries: one fixed prefix inside the build folder.
VENTO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${VENTO_WINEPREFIX:-$VENTO_ROOT/build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
VENTO_WINE=/usr/lib/wine/wine64
VENTO_WINESERVER=/usr/lib/wine/wineserver
