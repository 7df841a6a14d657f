# Sourced by the long-running scripts (soak, mutate-graphs) with long_run set to their name: goes
# to the project's root, takes a leading --32 from the script's arguments (VENTO_BITS=32 does the
# same), sets bits, root, vento_exe (refusing to go on without that build) and out, the script's own
# folder below build/ (build/NAME, or build/NAME32 for the 32-bit build), emptied; then starts the
# Wine session.
cd "$(dirname "$0")/.."
[ "${1:-}" = --32 ] && export VENTO_BITS=32 && shift
bits="${VENTO_BITS:-64}"
root="$(pwd)"
vento_exe="$root/build/win$bits/bin/vento.exe"
[ -f "$vento_exe" ] || { echo "$long_run: build the win$bits preset first (cmake --build --preset win$bits)" >&2; exit 1; }
out="$root/build/$long_run"
[ "$bits" = 32 ] && out="$root/build/${long_run}32"
rm -rf "$out"
source "$root/scripts/wine-session.sh"
