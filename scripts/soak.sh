#!/usr/bin/env bash
# Builds blastgrid-soak (without the GUI, in its own build directory) and runs
# it; every argument goes to the tool. Loopback only; it stops by itself.
#   scripts/soak.sh                  # 30 s, the default load
#   scripts/soak.sh --minutes 10     # the long run
#   scripts/soak.sh --help           # the load's knobs
# The report judges the host's tick p99 against 15 ms (pass --max-p99-ms to change it);
# the soak.short ctest test only reports it.
# BG_SOAK_BUILD picks the build directory (default build-soak).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
build="${BG_SOAK_BUILD:-build-soak}"
cmake -S . -B "$build" -DBG_WITH_GUI=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
# Two jobs: the machines this runs on have two cores.
cmake --build "$build" -j2 --target blastgrid-soak >/dev/null
exec "$build/tools/soak/blastgrid-soak" --max-p99-ms 15 "$@"
