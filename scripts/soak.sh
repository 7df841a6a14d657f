#!/usr/bin/env bash
# The long soak: examples/showcase.xml (every module) run offline for a million blocks of its
# sources, then for a minute in real time with its windows open, each with vento's process figures
# (--stats). Writes build/soak/report.txt: the figures once the graph was loaded, after the first
# second and at the end of each run, and whether they stayed flat from the first second to the end.
#
#   scripts/soak.sh [--32] [BLOCKS] [SECONDS]     (default 1000000 and 60; needs the win64 build)
#
# Runs in build/soak on a copy of the graph (the Image window writes its placement into the file).
# --32 (or VENTO_BITS=32) soaks the 32-bit build in its own prefix instead, in build/soak32.
set -euo pipefail
long_run=soak source "$(dirname "$0")/long-run.sh"
blocks="${1:-1000000}"
seconds="${2:-60}"
mkdir -p "$out/examples"
cp examples/showcase.xml "$out/showcase.xml"
cp examples/picture.bmp "$out/examples/picture.bmp"
cd "$out"
timeout -k 5 120 "$VENTO_WINE" "$vento_exe" register -q </dev/null

# One run: its output in NAME.out and NAME.err, its wall time in seconds on stdout.
soak_run() {
  local name="$1" limit="$2"
  shift 2
  local start end status=0
  start=$(date +%s.%N)
  timeout -k 10 "$limit" "$VENTO_WINE" "$vento_exe" run showcase.xml --stats "$@" </dev/null >"$name.out" 2>"$name.err" || status=$?
  end=$(date +%s.%N)
  echo "$name: exit $status, $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.0f", b - a }') s wall" >"$name.time"
  return $status
}

# A figure of one line of the process figures ("after 1 s", "at the end").
figure() { # FILE LINE FIELD
  awk -v line="$2" -v field="$3" 'index($0, "  " line) == 1 {
      n = split($0, parts, ", "); for (i = 1; i <= n; ++i) if (index(parts[i], field)) { gsub(/[^0-9.]/, "", parts[i]); print parts[i] } }' "$1" |
    head -1
}

# Flat: handles, GDI objects and windows no more at the end than after the first second, private
# memory within 1 MiB of it.
verdict() { # FILE
  local f="$1" verdict="flat" a b field
  for field in "handles" "GDI objects" "windows"; do
    a=$(figure "$f" "after 1 s" "$field")
    b=$(figure "$f" "at the end" "$field")
    [ -n "$a" ] && [ -n "$b" ] || { echo "no figures"; return; }
    [ "$b" -le "$a" ] || verdict="NOT FLAT: $field $a -> $b"
  done
  a=$(figure "$f" "after 1 s" "private")
  b=$(figure "$f" "at the end" "private")
  [ "$b" -le $((a + 1024)) ] || verdict="NOT FLAT: private $a -> $b KiB"
  echo "$verdict"
}

echo "soak: $blocks blocks offline (progress in $out/offline.err)"
offline_status=0
soak_run offline 7200 --offline --blocks "$blocks" || offline_status=$?
echo "soak: $seconds s in real time with windows"
realtime_status=0
soak_run realtime $((seconds + 120)) --seconds "$seconds" --windows || realtime_status=$?

{
  echo "soak of examples/showcase.xml, $bits-bit build, $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo
  echo "== $blocks blocks offline: vento run showcase.xml --stats --offline --blocks $blocks"
  cat offline.time
  sed -n '/^process figures:/,$p' offline.out
  echo "verdict: $(verdict offline.out)"
  grep -v '^running:' offline.err | head -20 || true
  echo
  echo "== $seconds s real time: vento run showcase.xml --stats --seconds $seconds --windows"
  cat realtime.time
  sed -n '/^process figures:/,$p' realtime.out
  echo "verdict: $(verdict realtime.out)"
  grep -v '^running:' realtime.err | head -20 || true
  echo
  echo "blocks sent per module (offline):"
  sed -n '/^blocks sent per module:/,/^[^ b]/p' offline.out | grep '^  ' || true
} >report.txt
cat report.txt
[ "$offline_status" = 0 ] && [ "$realtime_status" = 0 ]
