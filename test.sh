#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; ends with ctest's summary.
# --sanitize builds and runs the suite under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh

build=build
flags=()
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  flags=(-DBG_SANITIZE=ON -DBG_WITH_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  # System libraries (GL driver, Qt, SDL, ...) keep allocations until exit; our code is never listed.
  export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${flags[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
if [ "$build" = build-asan ]; then
  # Mesa unloads its GL driver before exit, and LSan can neither name nor suppress what an
  # unloaded library leaked: a preloaded no-op dlclose keeps every library mapped to the end.
  printf 'int dlclose(void *handle) { (void)handle; return 0; }\n' |
    cc -x c -shared -fPIC -O2 -o "$build/keep-libraries.so" -
  export LD_PRELOAD="$PWD/$build/keep-libraries.so"
  # The preloaded library comes before the ASan runtime, which is harmless as it allocates nothing.
  export ASAN_OPTIONS="$ASAN_OPTIONS:verify_asan_link_order=0"
fi
cd "$build"
ctest --output-on-failure -j"$(nproc)" --timeout 300
