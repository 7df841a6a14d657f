# Sourced by the scripts that run Windows binaries: one fixed prefix inside the build folder.
VENTO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${VENTO_WINEPREFIX:-$VENTO_ROOT/build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
VENTO_WINE=/usr/lib/wine/wine64
VENTO_WINESERVER=/usr/lib/wine/wineserver

# Windows programs draw through Wine's X11 driver on one headless X server, shared by every run.
# Whoever sources this first starts it: detached, input and output away from the caller's pipes
# (CTest would otherwise wait for it), and exports VENTO_XVFB_STARTED with its pid, so that a script
# can stop the server it started. A server already running on that display is used as it is.
export VENTO_DISPLAY="${VENTO_DISPLAY:-:91}"
export DISPLAY="$VENTO_DISPLAY"
vento_xvfb_pid() {
  local pid
  pid="$(tr -d ' \n' 2>/dev/null <"/tmp/.X${VENTO_DISPLAY#:}-lock")" || return 1
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && [ -S "/tmp/.X11-unix/X${VENTO_DISPLAY#:}" ] && echo "$pid"
}
if ! vento_xvfb_pid >/dev/null; then
  mkdir -p "$VENTO_ROOT/build"
  setsid -f Xvfb "$VENTO_DISPLAY" -screen 0 1280x1024x24 -nolisten tcp \
    </dev/null >>"$VENTO_ROOT/build/xvfb.log" 2>&1 || true
  for _ in $(seq 100); do
    VENTO_XVFB_STARTED="$(vento_xvfb_pid)" && break
    sleep 0.05
  done
  [ -n "${VENTO_XVFB_STARTED:-}" ] && export VENTO_XVFB_STARTED ||
    echo "wine-env: Xvfb $VENTO_DISPLAY did not start (see build/xvfb.log)" >&2
fi
