#!/usr/bin/env bash
# Builds what is missing and weighs on a simulated scale of every model, through
# the real add-in loaded the way the platform loads it.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/quiet.sh
bash tools/deps.sh
quiet cmake -S . -B build -G Ninja
quiet cmake --build build --target ZEVScale zevscale
for model in ZEV-U ZEV-AW "ZEV-NT(N)"; do
  build/bin/zevscale weigh --model "$model" --port 3 --simulate --sim-weight 0.5
done
