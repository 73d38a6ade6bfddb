#!/usr/bin/env bash
# Builds everything and runs the tests.
#   tools/test.sh             the default build in build/
#   tools/test.sh --sanitize  the same under AddressSanitizer and UBSan, in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh

dir=build
flags=()
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan
  flags=(-DZEV_SANITIZE=ON -DZEV_BENCH=OFF)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir"
ctest --test-dir "$dir" -j2 --output-on-failure --timeout 120
