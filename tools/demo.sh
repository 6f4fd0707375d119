#!/usr/bin/env bash
# The main job: build the programs, then run the demo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install_deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
echo "(the demo arrives with mkvrp)"
