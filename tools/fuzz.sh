#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UBSan) and
# runs each for a while, starting from the seed corpus in fuzz/corpus.
#   tools/fuzz.sh [SECONDS_PER_TARGET]   (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/quiet.sh
seconds=${1:-20}
bash tools/deps.sh --ci
cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DZEV_FUZZ=ON >/dev/null
quiet cmake --build build-fuzz --target parsers_fuzz rfc2217_fuzz text_fuzz driver_fuzz
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
for target in parsers rfc2217 text driver; do
  work=$(mktemp -d)
  log=$work/log
  if ! build-fuzz/bin/${target}_fuzz -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$work/" "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
    cat "$log"
    echo "${target}_fuzz: FAILED (the crashing input is in $work)"
    exit 1
  fi
  runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
  echo "${target}_fuzz: $runs executions in ${seconds} s, no failure"
  rm -rf "$work"
done
