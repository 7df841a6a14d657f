#!/usr/bin/env bash
# Makes the Wine prefix once: wineboot, Wine's own fonts (without them dialog metrics differ from
# Windows), the null display driver (tests that need pixels start Xvfb and switch per run), and the
# X11 driver unmanaged (otherwise every hide waits ~2 s for a window manager under Xvfb).
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
stamp="$WINEPREFIX/.vento-ready"
[ -f "$stamp" ] && exit 0
mkdir -p "$WINEPREFIX"
echo "setup: preparing Wine prefix $WINEPREFIX"
timeout -k 5 300 "$VENTO_WINE" wineboot -i >/dev/null 2>&1 || true
cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
timeout -k 5 60 "$VENTO_WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
timeout -k 5 60 "$VENTO_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
"$VENTO_WINESERVER" -k || true
"$VENTO_WINESERVER" -w || true
touch "$stamp"
