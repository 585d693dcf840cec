#!/usr/bin/env bash
# Runs every libFuzzer harness for longer than the test command does (default 10 minutes
# each; FUZZ_SECONDS overrides). New inputs stay in the build tree; a crash leaves its input
# in build/fuzz/findings/, to be added to that harness's corpus folder as a regression file.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
seconds=${FUZZ_SECONDS:-600}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
mkdir -p build/fuzz/findings
status=0
for area in fuzz/*/; do
  area=$(basename "$area")
  for target in $(sed -n 's/^vantrel_fuzzer(\([A-Za-z0-9_]*\).*/\1/p' "fuzz/$area/CMakeLists.txt"); do
    work="build/fuzz/long-$target"
    mkdir -p "$work"
    echo "=== $target for $seconds s"
    "build/fuzz/bin/$target" -max_total_time="$seconds" -max_len=65536 \
      -artifact_prefix="build/fuzz/findings/$target-" "$work" "fuzz/$area/corpus" || status=1
  done
done
exit $status
