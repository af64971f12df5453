#!/usr/bin/env bash
# Installs what is missing, builds Pallimor, installs it under build/stage and starts the window.
# Without a display it says so and writes one texture with the command-line tool instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PWD/build/stage"
cmake --build build -j"$(nproc)"
cmake --install build >/dev/null
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found; writing one texture with the command-line tool instead: texture.png"
  exec build/stage/bin/pallimor-cli generate --size 512 --out texture.png
fi
exec build/stage/bin/pallimor
