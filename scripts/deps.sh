#!/usr/bin/env bash
# Installs the Debian packages Pallimor needs to build, test and run (Debian 12, as root).
set -euo pipefail
packages=(g++ cmake ninja-build pkg-config zlib1g-dev libjpeg62-turbo-dev qt6-base-dev
  libgtest-dev libgmock-dev libbenchmark-dev libpng-dev xvfb xauth x11-apps x11-utils xdotool imagemagick fonts-dejavu-core
  clang-14 libclang-rt-14-dev) # clang and libFuzzer for the fuzz targets (scripts/fuzz.sh)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends "${missing[@]}"
fi
