#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and fuzzes each for a bounded time.
# usage: scripts/fuzz.sh [--seconds N] [--target NAME]... [--build DIR] [--no-keep]
#   --seconds N   time per target (default 60)
#   --target NAME only this target (settings, images, fonts, frames, wav, listserver, listclient, host_messages,
#                 player_messages, replay); repeatable
#   --build DIR   build directory (default build-fuzz)
#   --no-keep     leave new crash inputs in the work directory instead of fuzz/regressions/
# Prints per target: executions, executions per second, coverage (libFuzzer's "cov:") and
# crashes. Inputs that crash are copied to fuzz/regressions/<target>/, where the
# fuzz-regress tests of the fuzz build run them (ctest -L fuzz-regress in the build directory).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds=60
build="$root/build-fuzz"
keep=1
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --target) targets+=("$2"); shift 2 ;;
    --build) build=$2; shift 2 ;;
    --no-keep) keep=0; shift ;;
    -h|--help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done

"$root/scripts/deps.sh"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DBG_FUZZ=ON -DBG_WITH_GUI=OFF \
  -DBG_WITH_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target fuzz_all >/dev/null
[ ${#targets[@]} -gt 0 ] || read -r -a targets <<<"$(tr ';' ' ' <"$build/fuzz_targets.txt")"

export UBSAN_OPTIONS=print_stacktrace=1
summary=()
for t in "${targets[@]}"; do
  bin="$build/fuzz/fuzz_$t"
  [ -x "$bin" ] || { echo "no fuzz target $t" >&2; exit 2; }
  work="$build/fuzz-work/$t"
  mkdir -p "$work/corpus" "$work/crashes"
  # Committed seeds, seeds the build made (fuzz/make_seeds.cpp) and inputs that once crashed.
  seeds=()
  for d in "$root/fuzz/corpus/$t" "$build/fuzz-seeds/$t" "$root/fuzz/regressions/$t"; do
    [ -d "$d" ] && seeds+=("$d")
  done
  log="$work/fuzz.log"
  echo "== $t: fuzzing for ${seconds}s (log: $log)"
  # Fork mode keeps going after a crash, so one run finds more than the first one;
  # new inputs go to the work corpus, never into the committed seeds.
  "$bin" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 -max_len=65536 \
    -artifact_prefix="$work/crashes/" "$work/corpus" "${seeds[@]}" >"$log" 2>&1 || true
  # Fork mode's status lines: "#RUNS: cov: C ft: F corp: N exec/s E oom/timeout/crash: a/b/c ..."
  last=$(grep -E '^#[0-9]+: cov:' "$log" | tail -n 1 || true)
  runs=$(sed -nE 's/^#([0-9]+):.*/\1/p' <<<"$last")
  cov=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$last")
  took=$(sed -nE 's/.* time: ([0-9]+)s.*/\1/p' <<<"$last")
  # Over the whole run: the status line's own exec/s is that of its last job only.
  eps=$([ -n "$runs" ] && [ "${took:-0}" -gt 0 ] && echo $((runs / took)) || true)
  oomtc=$(sed -nE 's/.*oom\/timeout\/crash: ([0-9]+\/[0-9]+\/[0-9]+).*/\1/p' <<<"$last")
  found=()
  for f in "$work/crashes"/*; do [ -f "$f" ] && found+=("$f"); done
  if [ "$keep" = 1 ] && [ ${#found[@]} -gt 0 ]; then
    mkdir -p "$root/fuzz/regressions/$t"
    cp -n "${found[@]}" "$root/fuzz/regressions/$t/"
  fi
  line=$(printf '%-9s executions %-10s exec/s %-7s cov %-6s oom/timeout/crash %-8s inputs kept %s' \
    "$t" "${runs:-?}" "${eps:-?}" "${cov:-?}" "${oomtc:-?}" "${#found[@]}")
  echo "$line"
  summary+=("$line")
  for f in "${found[@]}"; do echo "   $(basename "$f")"; done
done
# Scratch directories of fuzzing processes that ended abruptly.
for d in /dev/shm/bg-fuzz-* /tmp/bg-fuzz-*; do
  [ -d "$d" ] && ! kill -0 "${d##*-}" 2>/dev/null && rm -rf "$d"
done
echo
echo "== summary (${seconds}s per target)"
printf '%s\n' "${summary[@]}"
