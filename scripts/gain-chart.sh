#!/usr/bin/env bash
# The gain chart, from a fresh clone: installs what is missing, prepares Wine, builds the win64
# preset, registers the servers, runs examples/gain-chart.xml offline for one sweep (Sweep ->
# SignalW -> FIR band pass -> Spectrum -> GraphWindow) and leaves the chart as CSV and a picture of
# the graph window in build/gain-chart/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
source scripts/wine-session.sh
[ -f build/win64/build.ninja ] || cmake --preset win64 >/dev/null
cmake --build --preset win64 --target vento
out=build/gain-chart
rm -rf "$out" && mkdir -p "$out"
cp examples/gain-chart.xml "$out/gain-chart.xml" # the run may write settings back into its graph
vento() { timeout -k 5 300 "$VENTO_WINE" build/win64/bin/vento.exe "$@" </dev/null; }
vento register -q
vento run "$out/gain-chart.xml" --offline --blocks 401 --chart "chart.Default=$out/gain.csv" --bin-hz 40 \
  --snapshot "$out/snapshot"
echo
echo "gain chart in $out/:"
echo "  gain.csv              frequency_hz,gain: one row per 40 Hz bin, 0 to 4000 Hz"
echo "  snapshot/scope.png    the graph window showing the chart"
