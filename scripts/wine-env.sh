# Sourced by the scripts that run Windows binaries: one fixed prefix inside the build folder for
# each Windows build. VENTO_BITS chooses the build: 64 (the default) runs build/win64 with Wine's
# 64-bit loader in build/wineprefix; 32 runs build/win32 with the 32-bit loader (Debian's wine32) in
# build/wineprefix32, a prefix that loader made (one made by wine64 alone has no 32-bit system).
VENTO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export VENTO_BITS="${VENTO_BITS:-64}"
case "$VENTO_BITS" in
  64) VENTO_WINE=/usr/lib/wine/wine64 vento_prefix=wineprefix ;;
  32) VENTO_WINE=/usr/lib/wine/wine vento_prefix=wineprefix32 ;;
  *) echo "wine-env: VENTO_BITS is 32 or 64, not '$VENTO_BITS'" >&2; return 2 2>/dev/null || exit 2 ;;
esac
export WINEPREFIX="${VENTO_WINEPREFIX:-$VENTO_ROOT/build/$vento_prefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# One wineserver serves both kinds of program.
VENTO_WINESERVER=/usr/lib/wine/wineserver

# Why the programs of a build (BITS, else this one) cannot run here, in one line; nothing (and
# status 1) when they can.
vento_wine_missing() { # [BITS]
  local why
  [ "${1:-$VENTO_BITS}" = 32 ] || return 1
  if ! why="$("$VENTO_ROOT/scripts/probe-32bit.sh")"; then
    echo "this machine cannot run 32-bit code: $why"
  elif [ ! -x /usr/lib/wine/wine ]; then
    echo "this machine cannot run 32-bit code: Wine's 32-bit loader /usr/lib/wine/wine (wine32:i386) is not installed"
  else
    return 1
  fi
}

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
