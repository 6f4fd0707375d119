#!/usr/bin/env bash
# The main job: build the programs, then run the demo of a router's package life.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install_deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target installer installer-query mkvrp setup >/dev/null
bash demo/run_demo.sh "$PWD/build"
