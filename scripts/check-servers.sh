#!/usr/bin/env bash
# Checks the module servers as built, without running them, so also where 32-bit code cannot run:
# each exports exactly its four entry points under their plain names (a decorated
# "DllRegisterServer@0" cannot be found by regsvr32 or CoCreateInstance), and imports only from
# Windows' own DLLs (a server that needs libgcc_s or libstdc++ beside it does not load on a clean
# machine).
#
#   scripts/check-servers.sh               the servers of build/win32 and build/win64
#   scripts/check-servers.sh DIR|DLL...    the servers in these build folders, or these DLLs
#
# Prints one line per DLL that fails, naming what is wrong, and a summary; exits 1 if any failed.
set -uo pipefail
cd "$(dirname "$0")/.."

# The deliverables, from the identity table.
servers=$(sed -n 's/^vento_server_identity(\([a-z0-9_]*\) .*/\1/p' cmake/servers.cmake)
[ -n "$servers" ] || { echo "check-servers: no server in cmake/servers.cmake" >&2; exit 1; }

# The Windows DLLs a server may import from (lower case), and the API sets.
system_dlls="kernel32.dll user32.dll gdi32.dll advapi32.dll ole32.dll oleaut32.dll comctl32.dll comdlg32.dll
shell32.dll shlwapi.dll winmm.dll msvcrt.dll ucrtbase.dll version.dll msimg32.dll"
allowed_import() {
  case "$1" in api-ms-win-*.dll) return 0 ;; esac
  tr ' ' '\n' <<<"$system_dlls" | grep -qxF "$1"
}

failed=0 checked=0
check_dll() {
  local dll="$1" dump problems=() exports imports name
  checked=$((checked + 1))
  # The 64-bit binutils read 32-bit PE files too.
  if ! dump="$(x86_64-w64-mingw32-objdump -p "$dll" 2>&1)"; then
    echo "FAIL $dll: objdump cannot read it"
    failed=$((failed + 1))
    return
  fi
  # The export name table: lines "[   0] Name" after "[Ordinal/Name Pointer] Table".
  exports="$(awk '/\[Ordinal\/Name Pointer\] Table/ {on = 1; next} on && /^\t\[ *[0-9]+\]/ {print $NF; next} on {on = 0}' <<<"$dump" | sort | tr '\n' ' ')"
  if [ "$exports" != "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ]; then
    problems+=("exports '${exports% }' (expected exactly DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer)")
  fi
  imports="$(awk '/DLL Name:/ {print tolower($3)}' <<<"$dump" | sort -u)"
  [ -n "$imports" ] || problems+=("no import table")
  for name in $imports; do
    allowed_import "$name" || problems+=("imports $name, not a system DLL")
  done
  if [ ${#problems[@]} -gt 0 ]; then
    failed=$((failed + 1))
    local p
    for p in "${problems[@]}"; do echo "FAIL $dll: $p"; done
  fi
}

targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(build/win32 build/win64)
for target in "${targets[@]}"; do
  if [ -d "$target" ]; then
    for server in $servers; do
      dll="$target/bin/$server.dll"
      if [ -f "$dll" ]; then check_dll "$dll"
      else
        echo "FAIL $dll: missing (build the preset first)"
        failed=$((failed + 1))
      fi
    done
  elif [ -f "$target" ]; then
    check_dll "$target"
  else
    echo "FAIL $target: no such build folder or DLL"
    failed=$((failed + 1))
  fi
done
echo "check-servers: $checked DLLs checked, $failed failed"
[ "$failed" -eq 0 ]
