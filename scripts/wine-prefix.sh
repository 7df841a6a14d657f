#!/usr/bin/env bash
# Makes the Wine prefix of the build VENTO_BITS names once, with that build's loader: wineboot, Wine's own fonts (without them dialog metrics differ from
# Windows), the X11 display driver (the default: wine-env.sh provides the Xvfb display; a prefix made
# with the null driver is switched over), and the X11 driver unmanaged (otherwise every hide waits
# ~2 s for a window manager under Xvfb). A driver change takes effect only with a new wineserver.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
if why="$(vento_wine_missing)"; then
  echo "setup: no Wine prefix for the $VENTO_BITS-bit build: $why" >&2
  exit 1
fi
stamp="$WINEPREFIX/.vento-ready"
[ "$(cat "$stamp" 2>/dev/null)" = "x11" ] && exit 0
mkdir -p "$WINEPREFIX"
echo "setup: preparing Wine prefix $WINEPREFIX"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout -k 5 300 "$VENTO_WINE" wineboot -i >/dev/null 2>&1 || true
fi
cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
timeout -k 5 60 "$VENTO_WINE" reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 || true
timeout -k 5 60 "$VENTO_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
"$VENTO_WINESERVER" -k || true
"$VENTO_WINESERVER" -w || true
echo x11 >"$stamp"
