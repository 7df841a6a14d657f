#!/usr/bin/env bash
# WAV files made by sox for the WAV module's playback tests, with the 16-bit values sox wrote (raw,
# interleaved, little-endian) beside each file the module decodes.
set -euo pipefail
cd "$1"
make() { # name rate channels bits samples [encoding]
  local name=$1 rate=$2 channels=$3 bits=$4 samples=$5 encoding=${6:-signed-integer}
  sox -R -D -r "$rate" -c "$channels" -n -r "$rate" -c "$channels" -b "$bits" -e "$encoding" "$name.wav" synth "${samples}s" whitenoise vol 0.9
  if [ "$bits" = 16 ]; then sox -R "$name.wav" -t raw -e signed-integer -b 16 -L "$name.raw"; fi
}
make mono_8000_1000 8000 1 16 1000
make stereo_8000_300 8000 2 16 300
make mono_22050_700 22050 1 16 700
make stereo_22050_513 22050 2 16 513
make mono_44100_512 44100 1 16 512
make stereo_44100_2000 44100 2 16 2000
make u8_11025_600 11025 1 8 600 unsigned-integer
make s24_22050_300 22050 1 24 300
make f32_44100_300 44100 1 32 300 floating-point
make quad_8000_300 8000 4 16 300
