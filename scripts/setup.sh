#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing when all are present.
set -euo pipefail
packages=(g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools wine wine64 libwine-dev fonts-wine
          xvfb cmake ninja-build googletest g++ sox imagemagick graphviz libfftw3-dev clang-14 libclang-rt-14-dev
          libboost-dev nlohmann-json3-dev python3 chromium)
# The studio's editor is built with node and npm; the machine may bring its own.
command -v npm >/dev/null || packages+=(nodejs npm)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The studio's editor: the packages package-lock.json pins, when they are missing or older than it.
studio="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/studio"
if [ ! -f "$studio/node_modules/.package-lock.json" ] || [ "$studio/package-lock.json" -nt "$studio/node_modules/.package-lock.json" ]; then
  echo "setup: npm ci in studio/"
  (cd "$studio" && npm ci --no-audit --no-fund --loglevel=error)
fi
