#!/usr/bin/env bash
# The one test command: installs what is missing, prepares Wine, builds every preset and runs every
# test (the 32-bit Windows suite where this machine runs 32-bit code), each fuzz target for a bounded
# time included, and checks the exports and imports of every server of both Windows builds.
# Re-running is incremental.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
# First, so that the Xvfb display it starts (if none runs) belongs to this run and is stopped with it.
source scripts/wine-session.sh

for preset in win64 win32 native fuzz; do
  [ -f "build/$preset/build.ninja" ] || cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

# One wineserver for the whole run, so that CTest never waits on Wine's background services.
vento_persistent_wineserver
status=0
# The servers of both Windows builds, checked without running them.
scripts/check-servers.sh build/win32 build/win64 || status=1
ctest --preset native || status=1
ctest --preset win64 || status=1
# The 32-bit suite, alone (it runs under a wineserver and in a prefix of its own), where this
# machine runs 32-bit code.
if why="$(vento_wine_missing 32)"; then
  echo "32-bit tests skipped: $why"
else
  start=$SECONDS
  (
    export VENTO_BITS=32
    unset VENTO_XVFB_STARTED # the display is this script's, stopped by it
    source scripts/wine-session.sh
    vento_persistent_wineserver
    ctest --preset win32
  ) || status=1
  echo "32-bit tests: $((SECONDS - start)) s"
fi
ctest --preset fuzz || status=1
exit $status
