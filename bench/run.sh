#!/usr/bin/env bash
# Runs the benchmarks of an existing build and prints their ratios. Builds nothing.
# usage: bench/run.sh BUILD_DIR [NAME...]    (no names: every benchmark below)
#
# To add a benchmark: write a function bench_NAME that runs it (its output should end in lines
# "ratio ... (target ...) ok|OVER") and add NAME to ALL.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: bench/run.sh BUILD_DIR [NAME...]}" && pwd) || exit 2
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ALL=(read filegc query install many_files repository package_list floppy feed netinstall fleet)

bench_read() {
  "$build/bench/read_bench" "$work/read" 5
}

bench_filegc() {
  "$build/bench/filegc_bench" "$build/installer/installer" "$work/filegc" 3
}

bench_query() {
  "$build/bench/query_bench" "$build/installer/installer-query" "$work/query" 5
}

bench_floppy() {
  "$build/bench/floppy_bench" "$work/floppy" 20
}

bench_install() {
  /usr/bin/python3 "$here/install_bench.py" "$build"
}

bench_many_files() {
  /usr/bin/python3 "$here/many_files_bench.py" "$build"
}

bench_package_list() {
  "$build/bench/package_list_bench" "$work/package_list" 5
}

bench_repository() {
  /usr/bin/python3 "$here/repository_bench.py" "$build"
}

bench_feed() {
  /usr/bin/python3 "$here/feed_bench.py" "$build"
}

bench_netinstall() {
  /usr/bin/python3 "$here/netinstall_bench.py" "$build"
}

bench_fleet() {
  /usr/bin/python3 "$here/fleet_bench.py" "$build"
}

names=("$@")
[ ${#names[@]} -gt 0 ] || names=("${ALL[@]}")
failed=0
summary=""
for name in "${names[@]}"; do
  if ! declare -F "bench_$name" >/dev/null; then
    echo "unknown benchmark: $name (known: ${ALL[*]})" >&2
    failed=1
    continue
  fi
  echo "== $name"
  output=$("bench_$name" 2>&1)
  status=$?
  echo "$output"
  if [ $status -ne 0 ]; then
    echo "!! $name failed (exit status $status)"
    failed=1
  fi
  summary+=$(echo "$output" | grep -E '^ratio|^memory|ratio:' | sed "s/^/$name: /")$'\n'
done
echo "== ratios"
printf '%s' "$summary"
exit $failed
