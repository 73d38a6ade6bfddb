#!/usr/bin/env bash
# Runs the end-to-end suites under valgrind memcheck: no error and no definite
# leak may be reported. The soak test runs a short cycle count here
# (ZEV_SOAK_CYCLES, default 5 per model).
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/quiet.sh
bash tools/deps.sh --ci
quiet cmake -S . -B build -G Ninja
quiet cmake --build build
export ZEV_SOAK_CYCLES=${ZEV_SOAK_CYCLES:-5}
for test in addin_frame_test deleting_host_test driver_test reliability_test soak_test; do
  log=$(mktemp)
  # The wrong-weight count weighs hundreds of times for its figures, not for memory.
  if valgrind --error-exitcode=3 --leak-check=full --errors-for-leak-kinds=definite \
      --show-leak-kinds=definite -q "build/bin/$test" --gtest_filter='-*WrongWeight*' \
      >"$log" 2>&1; then
    echo "$test under valgrind: $(grep '^\[  PASSED  \]' "$log"), no error, no definite leak"
  else
    cat "$log"
    echo "$test under valgrind: FAILED"
    exit 1
  fi
  rm -f "$log"
done
