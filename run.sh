#!/usr/bin/env bash
# Installs what is missing, builds the game and starts it.
set -euo pipefail
cd "$(dirname "$0")"
fail() { echo "run.sh: $1" >&2; exit 1; }
./scripts/deps.sh || fail "installing the required packages failed"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null ||
  fail "configuring the build failed (see the messages above)"
cmake --build build -j"$(nproc)" --target blastgrid || fail "building the game failed"
[ -x build/app/blastgrid ] || fail "the build finished but build/app/blastgrid is missing"
exec build/app/blastgrid "$@"
