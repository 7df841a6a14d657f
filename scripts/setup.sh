#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and Wine's 32-bit loader where the
# kernel runs 32-bit code; does nothing when all are present.
set -euo pipefail
packages=(g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools wine wine64 libwine-dev fonts-wine
          xvfb cmake ninja-build googletest g++ sox imagemagick graphviz libfftw3-dev clang-14 libclang-rt-14-dev
          libboost-dev nlohmann-json3-dev python3 chromium)
# The studio's editor is built with node and npm; the machine may bring its own.
command -v npm >/dev/null || packages+=(nodejs npm)
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The 32-bit build runs under Wine's 32-bit loader (Debian's wine32, architecture i386), which only
# works where the kernel executes 32-bit code: probe first, and add nothing to the system otherwise.
# A mirror whose i386 indexes do not match its amd64 ones leaves wine32 uninstallable; the
# architecture is then taken away again, so that apt stays as it was, and the 32-bit tests skip.
if [ ! -x /usr/lib/wine/wine ]; then
  if reason="$("$(dirname "$0")/probe-32bit.sh")"; then
    echo "setup: this machine runs 32-bit code: installing wine32:i386"
    added=0
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      $sudo_cmd dpkg --add-architecture i386
      added=1
    fi
    # An index that fails to download is reported by apt; whether what is there suffices shows below.
    $sudo_cmd apt-get update -qq || true
    if ! DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends wine32:i386; then
      echo "setup: wine32:i386 could not be installed from this machine's package sources; the 32-bit tests will skip"
      if [ "$added" = 1 ]; then
        $sudo_cmd dpkg --remove-architecture i386 || true
        $sudo_cmd apt-get update -qq || true
      fi
    fi
  else
    echo "setup: wine32 not installed: this machine cannot run 32-bit code ($reason)"
  fi
fi

# The studio's editor: the packages package-lock.json pins, when they are missing or older than it.
studio="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/studio"
if [ ! -f "$studio/node_modules/.package-lock.json" ] || [ "$studio/package-lock.json" -nt "$studio/node_modules/.package-lock.json" ]; then
  echo "setup: npm ci in studio/"
  (cd "$studio" && npm ci --no-audit --no-fund --loglevel=error)
fi
