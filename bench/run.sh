#!/usr/bin/env bash
# Builds and runs the benchmarks; prints one table.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target zev_bench >/dev/null
build/bin/zev_bench --benchmark_counters_tabular=true "$@"
