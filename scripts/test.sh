#!/usr/bin/env bash
# The one test command: installs what is missing, prepares Wine, builds all three presets and runs
# every test. Re-running is incremental.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/wine-prefix.sh
source scripts/wine-env.sh

for preset in win64 win32 native; do
  [ -f "build/$preset/build.ninja" ] || cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

"$VENTO_WINESERVER" -p 2>/dev/null || true
trap '"$VENTO_WINESERVER" -k 2>/dev/null || true' EXIT
status=0
ctest --preset native || status=1
ctest --preset win64 || status=1
exit $status
