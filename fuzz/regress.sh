#!/usr/bin/env bash
# Runs a fuzz target once over each given directory that exists (seeds, saved crashes);
# fails on the first input that crashes, leaks, times out or trips a check.
# usage: regress.sh FUZZ_BINARY DIR...
set -euo pipefail
bin=$1
shift
dirs=()
for d in "$@"; do [ -d "$d" ] && dirs+=("$d"); done
[ ${#dirs[@]} -gt 0 ] || { echo "no input directories"; exit 1; }
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
# -runs=0: execute the given inputs and stop, without fuzzing or writing anything.
exec "$bin" -runs=0 -timeout=30 -rss_limit_mb=2560 "${dirs[@]}"
