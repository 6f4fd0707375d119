#!/usr/bin/env bash
# The second main job: builds the programs and the installation system, puts the demo packages on
# a CD image and installs a router from it in qemu, unattended; then shows the new disk.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install_deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target installer mkvrp setup >/dev/null
echo "building the installation system (media/build.sh) ..."
bash media/build.sh build-media | tail -n 3
/usr/bin/python3 demo/cd/cd_demo.py build build-media build/cd-demo
