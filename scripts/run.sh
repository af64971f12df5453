#!/usr/bin/env bash
# Installs what building and running need, builds the two programs and the brush archive (no
# tests, no benchmarks) in build-run/, installs them under build-run/stage and starts the window.
# Without a display it says so and writes one texture with the command-line tool instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh run
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release -DPALLIMOR_TESTS=OFF -DPALLIMOR_BENCH=OFF \
  -DCMAKE_INSTALL_PREFIX="$PWD/build-run/stage"
cmake --build build-run -j"$(nproc)"
cmake --install build-run >/dev/null
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found; writing one texture with the command-line tool instead: texture.png"
  exec build-run/stage/bin/pallimor-cli generate --size 512 --out texture.png --force
fi
exec build-run/stage/bin/pallimor
