#!/usr/bin/env bash
# Builds and runs the benchmarks; prints one table.
#   bench/run.sh [BENCHMARK OPTIONS]           the driver's benchmarks (zev_bench)
#   bench/run.sh rfc2217 [BENCHMARK OPTIONS]   weighings through ser2net in RFC 2217 mode
set -euo pipefail
cd "$(dirname "$0")/.."
program=zev_bench
if [ "${1:-}" = rfc2217 ]; then
  program=zev_bench_rfc2217
  shift
fi
bash tools/deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target "$program" >/dev/null
build/bin/$program --benchmark_counters_tabular=true "$@"
