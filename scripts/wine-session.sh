# Sourced by the scripts that run Windows programs: the Wine environment (wine-env.sh), the prefix
# made once (wine-prefix.sh), and on exit the Xvfb display stopped if this script started it.
# A script that runs many programs calls vento_persistent_wineserver: one wineserver then serves them
# all and is stopped on exit. Otherwise the wineserver ends by itself when idle, so that other Wine
# programs may share the prefix.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
vento_session_server=0
vento_session_end() {
  if [ "$vento_session_server" = 1 ]; then "$VENTO_WINESERVER" -k >/dev/null 2>&1 || true; fi
  if [ -n "${VENTO_XVFB_STARTED:-}" ]; then kill "$VENTO_XVFB_STARTED" 2>/dev/null || true; fi
}
trap vento_session_end EXIT
"$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh"

# Wine's background services start with the first program and outlive it, as long as the
# persistent wineserver does; started here by a program of no consequence, away from a test
# runner's output pipes, they never hold a runner waiting.
vento_persistent_wineserver() {
  "$VENTO_WINESERVER" -p >/dev/null 2>&1 || true
  vento_session_server=1
  timeout -k 5 120 "$VENTO_WINE" reg query 'HKCU\Software\Wine' >/dev/null 2>&1 </dev/null || true
}
