#!/usr/bin/env bash
# The main job: build the Windows deliverables and split a sample FCG container.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$(nproc)"
echo "Main job: the window program is not built yet; see the README."
