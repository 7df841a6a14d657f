#!/usr/bin/env bash
# ImageMagick on both sides of the BMP module's tests.
#
#   bitmapio_imagemagick.sh make  DIR   BMP files written by ImageMagick, each NAME.bmp with
#                                       ImageMagick's own decoding of it (NAME.bgra: blue, green,
#                                       red, alpha bytes per pixel, bottom row first, as the image
#                                       signal orders them); the module test reads the files and
#                                       compares its pixels with the decodings.
#   bitmapio_imagemagick.sh check DIR   every NAME.bmp the module test saved there must show
#                                       `identify` the size in NAME.size ("W H") and give `convert`
#                                       the blue, green and red of NAME.bgra.
set -euo pipefail
mode=$1 dir=$2
convert=${VENTO_IMAGEMAGICK_CONVERT:-convert}
identify=$(dirname "$convert")/identify
[ -x "$identify" ] || identify=identify

decode() { "$convert" "$1" -flip -depth 8 "BGRA:$2"; }

if [ "$mode" = make ]; then
  rm -rf "$dir" && mkdir -p "$dir"
  cd "$dir"
  for picture in rose logo; do
    "$convert" "$picture:" -type TrueColor "BMP3:${picture}_24.bmp"
    "$convert" "$picture:" -type Palette "BMP3:${picture}_8.bmp"               # 8-bit runs
    "$convert" "$picture:" -type Palette -compress None "BMP3:${picture}_8_plain.bmp"
    "$convert" "$picture:" -alpha set -define bmp3:alpha=true "BMP3:${picture}_32.bmp"
    "$convert" "$picture:" "BMP:${picture}_default.bmp"                         # version 5 header
    "$convert" "$picture:" -alpha on "BMP:${picture}_32_bitfields.bmp"
  done
  # Odd widths and single pixels, cut out of the picture: a cut of a palette picture keeps all its
  # colours, so ImageMagick still writes 8 bits per pixel (it writes fewer for fewer colours).
  for size in 13x7 1x1; do
    cut="-crop $size+20+10 +repage"
    "$convert" rose: $cut -type TrueColor "BMP3:rose_${size}_24.bmp"
    "$convert" rose: -type Palette $cut "BMP3:rose_${size}_8.bmp"
    "$convert" rose: -type Palette $cut -compress None "BMP3:rose_${size}_8_plain.bmp"
    "$convert" rose: $cut -alpha set -define bmp3:alpha=true "BMP3:rose_${size}_32.bmp"
    "$convert" rose: $cut "BMP:rose_${size}_default.bmp"
  done
  for f in *.bmp; do decode "$f" "${f%.bmp}.bgra"; done
  exit 0
fi

# check
cd "$dir"
shopt -s nullglob
files=(*.bmp)
[ ${#files[@]} -gt 0 ] || { echo "no saved files in $dir"; exit 1; }
failed=0
for f in "${files[@]}"; do
  name=${f%.bmp}
  size=$("$identify" -format "%w %h" "$f")
  if [ "$size" != "$(cat "$name.size")" ]; then
    echo "$f: identify says $size, saved $(cat "$name.size")"; failed=1; continue
  fi
  decode "$f" "$name.decoded"
  # Blue, green and red of every pixel (ImageMagick makes its own alpha of the fourth byte).
  if ! cmp -s <(od -An -v -tx1 -w4 "$name.decoded" | cut -c1-9) <(od -An -v -tx1 -w4 "$name.bgra" | cut -c1-9); then
    echo "$f: convert reads other pixels than were saved"; failed=1; continue
  fi
  echo "$f: $size, pixels as saved"
done
exit $failed
