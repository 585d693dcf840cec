#!/usr/bin/env bash
# Runs every benchmark of the native build (medians of repeated runs).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)"
for b in build/native/bin/bench_*; do
  [ -x "$b" ] || continue
  echo "=== $b"
  "$b" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
done
