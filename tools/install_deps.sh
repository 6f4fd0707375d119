#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need, once per machine.
set -euo pipefail
packages=(cmake g++ make zlib1g-dev libgtest-dev googletest clang libclang-rt-dev
          python3-pytest python3-pexpect bash-static busybox-static e2fsprogs fdisk util-linux
          nasm qemu-system-x86 gcc-multilib g++-multilib lib32z1-dev time cpio
          dosfstools mtools)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
