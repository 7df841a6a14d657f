#!/usr/bin/env bash
# The demo, from a fresh clone: installs what is missing, prepares Wine, builds the win64 preset,
# registers the servers, runs examples/demo.xml offline (white noise -> FFT -> band-pass Filter ->
# inverse FFT -> GraphWindow) with a tap on the filtered signal and a snapshot of the graph window,
# and leaves both in build/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
blocks="${1:-200}"
scripts/setup.sh
source scripts/wine-env.sh
# The wineserver is left to end by itself when idle: other Wine programs may share the prefix.
cleanup() {
  if [ -n "${VENTO_XVFB_STARTED:-}" ]; then kill "$VENTO_XVFB_STARTED" 2>/dev/null || true; fi
}
trap cleanup EXIT
scripts/wine-prefix.sh
[ -f build/win64/build.ninja ] || cmake --preset win64 >/dev/null
cmake --build --preset win64 --target vento
out=build/demo
rm -rf "$out" && mkdir -p "$out/snapshot"
cp examples/demo.xml "$out/demo.xml"
vento() { timeout -k 5 300 "$VENTO_WINE" build/win64/bin/vento.exe "$@" </dev/null; }
vento register
vento run "$out/demo.xml" --offline --blocks "$blocks" --tap "ifft.Default=$out/filtered.raw" --snapshot "$out/snapshot"
echo
echo "demo outputs in $out/:"
echo "  filtered.raw     the band-passed noise: $blocks blocks of 128 little-endian 32-bit floats"
for png in "$out"/snapshot/*.png; do echo "  ${png#$out/}   the graph window at the end"; done
echo "  demo.xml         the graph that ran (examples/demo.xml)"
