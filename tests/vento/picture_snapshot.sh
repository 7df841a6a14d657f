#!/usr/bin/env bash
# The snapshot of the picture example's Image window against the picture it shows:
#   picture_snapshot.sh SNAPSHOT.png PICTURE.bmp
# The picture's magenta border marks where it was drawn in the window; the source picture, scaled
# to that rectangle, must match the window's pixels but for the odd pixel at the edges of its
# tiles (the window may leave out a row or column where the source scales by one).
set -euo pipefail
convert=${VENTO_IMAGEMAGICK_CONVERT:-convert}
compare=$(dirname "$convert")/compare
[ -x "$compare" ] || compare=compare
snapshot=$1 picture=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
where=$("$convert" "$snapshot" -fill black +opaque "#FF00FF" -format "%@" info:)
size=${where%%+*}
echo "picture drawn at $where (source $("$convert" "$picture" -format "%wx%h" info:))"
"$convert" "$snapshot" -crop "$where" +repage "$work/drawn.png"
"$convert" "$picture" -sample "$size!" "$work/scaled.png"
differ=$("$compare" -metric AE -fuzz 10% "$work/drawn.png" "$work/scaled.png" null: 2>&1 || true)
total=$(( ${size%x*} * ${size#*x} ))
echo "$differ of $total pixels differ"
[ "${differ%.*}" -le $(( total / 50 )) ]
