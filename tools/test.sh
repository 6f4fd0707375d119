#!/usr/bin/env bash
# Builds everything and runs every test: unit tests, end-to-end tests of the real programs, the
# virtual-machine suites and the replays of the fuzz seeds.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install_deps.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
