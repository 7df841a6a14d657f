#!/usr/bin/env bash
# The demo, from a fresh clone: installs what is missing, prepares Wine, builds the win64 preset,
# registers the servers, runs examples/demo.xml offline (white noise -> FFT -> band-pass Filter ->
# inverse FFT -> GraphWindow -> WAV) with a snapshot of the graph window, and leaves the filtered
# noise as a WAV file (shown as soxi sees it) and the picture in build/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
blocks="${1:-200}"
scripts/setup.sh
source scripts/wine-session.sh
[ -f build/win64/build.ninja ] || cmake --preset win64 >/dev/null
cmake --build --preset win64 --target vento
out=build/demo
rm -rf "$out" && mkdir -p "$out/snapshot"
cp examples/demo.xml "$out/demo.xml"
vento() { timeout -k 5 300 "$VENTO_WINE" "$root/build/win64/bin/vento.exe" "$@" </dev/null; }
vento register
# The WAV module writes where vento runs: the demo's folder.
(cd "$out" && vento run demo.xml --offline --blocks "$blocks" --snapshot snapshot)
echo
soxi "$out/filtered.wav"
echo "demo outputs in $out/:"
echo "  filtered.wav     the band-passed noise: $blocks blocks of 128 samples, mono 16-bit at 11025 Hz"
for png in "$out"/snapshot/*.png; do echo "  ${png#$out/}   the graph window at the end"; done
echo "  demo.xml         the graph that ran (examples/demo.xml)"
