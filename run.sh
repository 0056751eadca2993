#!/usr/bin/env bash
# Installs what is missing, builds, and starts the game.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if ! cmake --build build --target help | grep -q '\bblastgrid\b'; then
  echo "The game's windows are not built yet: nothing to start."
  exit 0
fi
cmake --build build -j"$(nproc)" --target blastgrid
exec build/app/blastgrid "$@"
