#!/usr/bin/env bash
# Installs the Debian packages Pallimor needs that are missing (Debian 12, as root or with sudo).
#   deps.sh run       building and running the two programs (scripts/run.sh)
#   deps.sh package   that, and building the Debian package (cmake --build build --target package)
#   deps.sh [test]    all of it, and building and running every test (scripts/test.sh)
set -euo pipefail
run_packages=(g++ cmake ninja-build pkg-config zlib1g-dev libdeflate-dev libjpeg62-turbo-dev libpng-dev
  qt6-base-dev libopenexr-dev nettle-dev) # nettle: SHA-256 of the manifests
# dpkg-shlibdeps (dpkg-dev) and file are what CPack uses to find the package's dependencies.
package_packages=(dpkg-dev file
  python3-dev pybind11-dev python3-numpy) # the Python module pallimor, built where pybind11 is found
test_packages=(libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth x11-apps x11-utils xdotool
  imagemagick fonts-dejavu-core lintian desktop-file-utils appstream strace
  openexr openimageio-tools # exrheader and oiiotool, to check the OpenEXR maps
  clang-14 libclang-rt-14-dev # clang and libFuzzer for the fuzz targets (scripts/fuzz.sh)
  emscripten chromium chromium-driver python3-selenium  # the browser build and its page test (scripts/web.sh)
  python3-pytest python3-pil python3-distributed) # the Python module's tests and its Dask example
case "${1:-test}" in
run) packages=("${run_packages[@]}") ;;
package) packages=("${run_packages[@]}" "${package_packages[@]}") ;;
test) packages=("${run_packages[@]}" "${package_packages[@]}" "${test_packages[@]}") ;;
*)
  echo "usage: deps.sh [run|package|test]" >&2
  exit 2
  ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# Node.js and npm for the glTF Validator below, from Debian where the machine has neither.
if [ "${1:-test}" = test ] && ! command -v npm >/dev/null; then missing+=(nodejs npm); fi
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  $sudo_cmd apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends "${missing[@]}"
fi
# The Khronos glTF Validator (npm package gltf-validator) checks the glTF materials the exports
# write (tests/sh/material_gltf.sh); installed beside the builds, in build-node/.
if [ "${1:-test}" = test ]; then
  root=$(cd "$(dirname "$0")/.." && pwd)
  if [ ! -f "$root/build-node/node_modules/gltf-validator/package.json" ]; then
    npm install --prefix "$root/build-node" --no-audit --no-fund --loglevel=error gltf-validator
  fi
fi
