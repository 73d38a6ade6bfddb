#!/usr/bin/env bash
# Builds what is missing and weighs on a simulated scale of every model, through
# the real add-in loaded the way the platform loads it.
set -euo pipefail
cd "$(dirname "$0")/.."
# Runs a command with its output kept back; on failure the output is shown
# (ninja writes its errors to standard output).
quiet() {
  local log
  log=$(mktemp)
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    return 1
  fi
  rm -f "$log"
}
bash tools/deps.sh
quiet cmake -S . -B build -G Ninja
quiet cmake --build build --target ZEVScale zevscale
for model in ZEV-U ZEV-AW "ZEV-NT(N)"; do
  build/bin/zevscale weigh --model "$model" --port 3 --simulate --sim-weight 0.5
done
