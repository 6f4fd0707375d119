#!/usr/bin/env bash
# Builds every fuzz target with clang's libFuzzer and runs each for the given number of seconds.
# The libraries under test are instrumented too (fuzzer-no-link): coverage of the harness alone
# would leave libFuzzer blind to the parsers it is meant to explore.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-30}
build=${ROUTER_FUZZ_BUILD:-build-fuzz}
targets=()
for source in tests/fuzz/fuzz_*.cpp; do
  targets+=("$(basename "$source" .cpp)")
done
CC=clang CXX=clang++ cmake -S . -B "$build" -DROUTER_FUZZ=ON -DROUTER_SANITIZE=ON \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >/dev/null
for name in "${targets[@]}"; do
  target="$build/tests/fuzz/$name"
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds="tests/fuzz/seeds/$name"
  [ -d "$seeds" ] || seeds=
  echo "fuzzing $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 "$corpus" $seeds \
    2>"$build/$name.log" || { tail -40 "$build/$name.log"; exit 1; }
  grep -E '^(Done|#[0-9]+ *DONE)' "$build/$name.log" | tail -1 || true
done
