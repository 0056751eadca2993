#!/usr/bin/env bash
# Builds and runs every benchmark; prints Google Benchmark's tables.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBG_WITH_BENCH=ON >/dev/null
cmake --build build-bench -j"$(nproc)"
# Benchmarks that open windows run under Xvfb (Mesa's software OpenGL there).
find build-bench/bench -type f -executable -name 'bench_*' | sort | while read -r b; do
  echo "== $(basename "$b")"
  case "$(basename "$b")" in
    *gl*) xvfb-run -a -s "-screen 0 1280x1024x24" "$b" --benchmark_min_time=0.2 "$@" ;;
    *) "$b" --benchmark_min_time=0.2 "$@" ;;
  esac
done
