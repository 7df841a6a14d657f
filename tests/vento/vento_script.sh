#!/usr/bin/env bash
# ./vento as a user types it, from other folders than the checkout: graph files named by relative
# and absolute Linux paths, exit codes passed through, Ctrl+C ending a real-time recording with a
# complete WAV file, and the bash completion. Usage: vento_script.sh REPOSITORY
set -uo pipefail
root="$1"
vento="$root/vento"
export VENTO_TIMEOUT=120
failures=0
check() { # DESCRIPTION COMMAND...
  local what="$1"
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$root/examples/demo.xml" "$root/examples/ring-modulator.xml" "$work/"
mkdir -p "$work/sub"

"$vento" register -q || { echo "FAILED: register"; exit 1; }

# Relative paths, from the graph's folder and from below it.
cd "$work"
check "dot by a relative path" "$vento" dot demo.xml -o demo.dot
check "the DOT file is written where asked" grep -q 'digraph "demo"' demo.dot
if command -v dot >/dev/null; then
  check "the SVG beside it" grep -q '<svg' demo.svg
fi
cd "$work/sub"
check "run by ../" "$vento" run ../ring-modulator.xml --offline --blocks 3 -q --tap ring.Default=tap.raw
check "the tap is written in the current folder" test $(($(stat -c %s tap.raw) % 512)) = 0 -a -s tap.raw

# Absolute paths, from a folder that Wine maps to another drive than Z: (C:), and from /.
prefix="$root/build/wineprefix"
[ "${VENTO_BITS:-64}" = 32 ] && prefix="$root/build/wineprefix32"
cd "$prefix/drive_c"
check "save by an absolute path from drive C:" "$vento" save "$work/demo.xml"
check "the saved file holds every SignalW setting" grep -q 'name="Phase"' "$work/demo.xml"
check "tap by an absolute path" "$vento" run "$work/ring-modulator.xml" --offline --blocks 2 -q --tap "ring.Default=$work/abs.raw"
check "the absolute tap" test $(($(stat -c %s "$work/abs.raw") % 512)) = 0 -a -s "$work/abs.raw"
check "a file setting of a launch description by an absolute path" \
  "$vento" launch "SignalW ! WAV FileName=$work/launched.wav Record=1" --offline --blocks 20 -q
check "... is where it was named, 20 blocks long" test "$(soxi -s "$work/launched.wav")" = $((20 * 128))
mkdir -p "$work/ü dir" && cp "$root/examples/demo.xml" "$work/ü dir/"
check "a folder name beyond ASCII" "$vento" dot "$work/ü dir/demo.xml" -o "$work/ü dir/demo.dot"
check "... is found and written in" grep -q 'digraph "demo"' "$work/ü dir/demo.dot"
cd /
check "dot from / to an absolute file" "$vento" dot "$work/ring-modulator.xml" -o "$work/ring.dot"
check "the absolute DOT file" grep -q '"carrier" -> "ring"' "$work/ring.dot"

# Exit codes: 0 done, 1 an error, 2 a usage error; messages on standard error.
cd "$work"
"$vento" run >/dev/null 2>&1
check "a usage error exits 2" test $? = 2
"$vento" run nothing.xml >/dev/null 2>err.txt
check "a missing file exits 1" test $? = 1
check "... saying so in one line" test "$(tr -d '\r' <err.txt)" = "vento: nothing.xml: no such file"
check "--help exits 0" "$vento" --help >/dev/null

# Ctrl+C during a real-time recording: vento ends as its end would, and the WAV file is complete.
set -m # the run gets a process group of its own and SIGINT as a terminal would send it
"$vento" launch "SignalW Shape=4 ! WAV FileName=interrupted.wav Record=1" --seconds 100 -q &
pid=$!
set +m
sleep 6
kill -INT "$pid"
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && { kill -KILL "$pid"; echo "FAILED: Ctrl+C did not end the run"; failures=$((failures + 1)); }
wait "$pid"
check "Ctrl+C ends the run as its end would (exit 0)" test $? = 0
samples="$(soxi -s interrupted.wav 2>/dev/null || echo 0)"
check "the WAV file is complete (soxi reads $samples samples)" test "$samples" -gt 0
check "... as many as its data chunk holds" test "$(stat -c %s interrupted.wav)" = $((44 + 2 * samples))

# Completion: verbs, module types, instance names of the graph named before.
source "$root/scripts/vento-completion.bash"
complete_words() { # WORDS... (the last one is being completed)
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _vento
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}
check "verbs" test "$(complete_words "$vento" in)" = "inspect "
check "module types" test "$(complete_words "$vento" inspect Sig)" = "SignalW "
check "types in a launch description" test "$(complete_words "$vento" launch SignalW ! Mu)" = "Multiplier "
check "instance names for panel" test "$(complete_words "$vento" panel demo.xml "")" = "band fft file ifft scope tone "
check "instance names for --tap" test "$(complete_words "$vento" run demo.xml --tap s)" = "scope. "
check "instance names of a launch description for --tap" \
  test "$(complete_words "$vento" launch "SignalW name=tone ! FFT name=fft ! GraphWindow" --offline --tap "")" = "fft. tone. "
check "options" test "$(complete_words "$vento" launch SignalW --sa)" = "--save "
check "the 32-bit build's switch" test "$(complete_words "$vento" --3)" = "--32 "
check "verbs after --32" test "$(complete_words "$vento" --32 in)" = "inspect "
check "instance names after --32" test "$(complete_words "$vento" --32 panel demo.xml "")" = "band fft file ifft scope tone "

echo "$failures failed"
test "$failures" = 0
