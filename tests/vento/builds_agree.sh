#!/usr/bin/env bash
# The 32-bit and the 64-bit build compute the same blocks: every example graph runs offline through
# both vento.exe (./vento --32 and ./vento --64, each in its own prefix), with a tap on every pin that
# feeds a connection, and each tap file, like every file the graph itself writes, must be equal byte
# for byte. Usage: builds_agree.sh REPOSITORY (both builds built).
set -uo pipefail
root="$1"
export VENTO_TIMEOUT=300
for bits in 32 64; do
  [ -f "$root/build/win$bits/bin/vento.exe" ] || { echo "build the win$bits preset first"; exit 1; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Blocks per graph: enough for every module to pass through its start and into its steady state;
# the demo as long as it was first compared by hand. A graph that plays files ends with them.
blocks_of() {
  case "$1" in
    demo) echo 2000 ;;
    gain-chart) echo 401 ;; # one whole sweep
    picture) echo 1 ;;      # the picture is sent once
    filter-wav) echo 0 ;;
    *) echo 300 ;;
  esac
}

for bits in 32 64; do
  "$root/vento" "--$bits" register -q || { echo "FAILED: registering the $bits-bit servers"; exit 1; }
done

# Each graph runs in a folder of its own for each build, with what it reads (examples/picture.bmp,
# and input.wav for filter-wav.xml); everything it leaves there is then compared.
failures=0
for graph in "$root"/examples/*.xml; do
  name="$(basename "$graph" .xml)"
  blocks="$(blocks_of "$name")"
  pins=($(sed -n 's/.*<connect[^>]*from="\([^"]*\)".*/\1/p' "$graph" | sort -u))
  for bits in 32 64; do
    dir="$work/$bits/$name"
    mkdir -p "$dir/examples" "$dir/taps"
    cp "$graph" "$dir/"
    cp "$root/examples/picture.bmp" "$dir/examples/"
    sox -R -D -r 22050 -c 1 -n -b 16 "$dir/input.wav" synth 5000s whitenoise vol 0.5 ||
      { echo "sox could not make input.wav"; exit 1; }
    run=(run "$name.xml" --offline -q)
    [ "$blocks" != 0 ] && run+=(--blocks "$blocks")
    for pin in "${pins[@]}"; do run+=(--tap "$pin=taps/$pin.raw"); done
    (cd "$dir" && "$root/vento" "--$bits" "${run[@]}") >"$work/$name.$bits.out" 2>&1 ||
      { echo "FAILED: $name: the $bits-bit run: $(tail -1 "$work/$name.$bits.out")"; failures=$((failures + 1)); }
  done
  differing=0
  for pin in "${pins[@]}"; do
    a="$work/32/$name/taps/$pin.raw" b="$work/64/$name/taps/$pin.raw"
    if [ ! -s "$a" ] || [ ! -s "$b" ]; then
      echo "FAILED: $name: $pin tapped nothing"
      differing=$((differing + 1))
    fi
  done
  # The taps, and what the graph wrote itself (WAV files, pictures, its graph file with window
  # places): the same files, each the same bytes.
  files=0
  while IFS= read -r file; do
    files=$((files + 1))
    cmp -s "$work/32/$name/$file" "$work/64/$name/$file" ||
      { echo "FAILED: $name: $file differs: $(cmp "$work/32/$name/$file" "$work/64/$name/$file" 2>&1 | head -1)"
        differing=$((differing + 1)); }
  done < <(cd "$work" && find 32/"$name" 64/"$name" -type f | cut -d/ -f3- | sort -u)
  echo "$name: ${#pins[@]} taps, $(cat "$work/64/$name/taps/"* 2>/dev/null | wc -c) bytes of them, $files files compared, $differing differing"
  failures=$((failures + differing))
done

echo "$failures failed"
test "$failures" = 0
