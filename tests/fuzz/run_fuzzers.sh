#!/usr/bin/env bash
# Builds every fuzz target with clang's libFuzzer and runs each for the given number of seconds.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-30}
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DROUTER_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
for target in "$build"/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds="tests/fuzz/seeds/$name"
  [ -d "$seeds" ] || seeds=
  echo "fuzzing $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len=65536 "$corpus" $seeds 2>"$build/$name.log" \
    || { tail -40 "$build/$name.log"; exit 1; }
done
