#!/usr/bin/env bash
# A WAV file the WAV module recorded, read back by sox: 1 channel, 16 bits, the rate and sample count
# the test expected, and every 16-bit value equal to the expected one. The expected file holds the
# rate, then the count, then one value a line.
set -euo pipefail
wav=$1 expected=$2
rate=$(sed -n 1p "$expected" | tr -d '\r') count=$(sed -n 2p "$expected" | tr -d '\r')
[ "$(soxi -c "$wav")" = 1 ] || { echo "channels: $(soxi -c "$wav")"; exit 1; }
[ "$(soxi -b "$wav")" = 16 ] || { echo "bits: $(soxi -b "$wav")"; exit 1; }
[ "$(soxi -r "$wav")" = "$rate" ] || { echo "rate: $(soxi -r "$wav"), expected $rate"; exit 1; }
[ "$(soxi -s "$wav")" = "$count" ] || { echo "samples: $(soxi -s "$wav"), expected $count"; exit 1; }
if ! diff <(sox "$wav" -t raw -e signed-integer -b 16 -L - | od -An -v -td2 -w2 | tr -d ' ') <(tail -n +3 "$expected") >/dev/null; then
  echo "samples differ from the expected values"; exit 1
fi
echo "$wav: 1 channel, 16 bits, $rate Hz, $count samples, every value as expected"
