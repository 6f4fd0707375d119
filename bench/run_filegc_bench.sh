#!/usr/bin/env bash
# Builds the installer and the file-collection benchmark, runs it and prints its ratios.
# usage: bench/run_filegc_bench.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-3}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target installer filegc_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/filegc_bench" "$build/installer/installer" "$work/root" "$rounds"
