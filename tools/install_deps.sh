#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need, once per machine.
# Says in one line what it installs and keeps apt's output in a log that is shown only when
# something fails; on a machine that has everything it says nothing.
set -euo pipefail
packages=(cmake g++ make zlib1g-dev libgtest-dev googletest clang libclang-rt-dev
          python3-pytest python3-pexpect bash-static busybox-static e2fsprogs fdisk util-linux
          nasm qemu-system-x86 gcc-multilib g++-multilib lib32z1-dev time cpio
          xorriso dosfstools mtools iproute2 nftables atftpd atftp man-db groff-base)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
log=$(mktemp "${TMPDIR:-/tmp}/install_deps.XXXXXX.log")
echo "Installing the Debian packages this project needs: ${missing[*]}"
# -q drops the progress bars, which would only fill the log.
install_missing() {
  $SUDO apt-get update -q &&
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}
if ! install_missing >"$log" 2>&1 </dev/null; then
  echo "install_deps.sh: apt-get failed; its output is in $log, ending with:" >&2
  tail -n 15 "$log" | sed 's/^/  /' >&2
  exit 1
fi
rm -f "$log"
