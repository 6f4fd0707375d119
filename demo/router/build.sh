#!/usr/bin/env bash
# Builds the package files of the demo router that boots: the packages of demo/packages/ with the
# files a real machine needs added from Debian's i386 packages (busybox, the kernel and its disk
# modules, extlinux) and the static i386 builds of installer and installer-query.
#
#   demo/router/build.sh BUILD_DIR MEDIA_DIR OUTPUT_DIR
#
# MEDIA_DIR is an installation system made by media/build.sh: its downloaded Debian packages and its
# i386 build are used again. OUTPUT_DIR/packages receives one .vrp file per package folder (the
# bundle excepted); extlinux's package is downloaded into OUTPUT_DIR/debs and kept.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "$1")
media=$(realpath "$2")
out=$(realpath -m "$3")
extracted=$media/extracted
mkvrp=$build/tools/mkvrp/mkvrp
[ -d "$extracted/lib/modules" ] && [ -f "$media/i386/CMakeCache.txt" ] ||
    { echo "build.sh: $media is not made by media/build.sh" >&2; exit 1; }
[ -x "$mkvrp" ] || { echo "build.sh: no $mkvrp" >&2; exit 1; }
mkdir -p "$out/debs"
rm -rf "$out/trees" "$out/packages" "$out/initrd"
mkdir -p "$out/trees" "$out/packages"

download_loader() {
    (cd "$out/debs" && apt-get download -qq extlinux:i386 2>&1) | grep -v '^W: Download is performed unsandboxed' || true
    ls "$out"/debs/extlinux_*_i386.deb >/dev/null 2>&1
}
if ! ls "$out"/debs/extlinux_*_i386.deb >/dev/null 2>&1 && ! download_loader; then
    # Package lists of an earlier day may name a version the archive no longer has.
    if [ "$(id -u)" -ne 0 ]; then sudo apt-get update -qq; else apt-get update -qq; fi
    download_loader || { echo "build.sh: could not download extlinux:i386" >&2; exit 1; }
fi
cmake --build "$media/i386" --target installer-query -j2 >/dev/null

copy_package() {  # NAME: a copy of demo/packages/NAME whose tree can be filled
    cp -a "$source_dir/demo/packages/$1" "$out/trees/$1"
    mkdir -p "$out/trees/$1/tree"
}
applets() {  # FOLDER APPLET...: busybox under those names
    local folder=$1
    shift
    mkdir -p "$folder"
    for applet in "$@"; do ln -sf /bin/busybox "$folder/$applet"; done
}

# The base system: busybox, the /bin/bash scripts are started with, installer and installer-query,
# device nodes.
copy_package system
tree=$out/trees/system/tree
install -D -m 0755 "$extracted/bin/busybox" "$tree/bin/busybox"
gcc -m32 -static -Os -s -o "$tree/bin/bash" "$source_dir/demo/router/bash_shim.c"
applets "$tree/bin" sh ash cat chmod chown cp cut date dd df dmesg du echo false find free grep gunzip \
    gzip head hostname kill less ln login ls mkdir mknod more mount mv ps pwd readlink rm rmdir sed sleep \
    sort stat stty sync tail tar tee test touch tr true umount uname uptime usleep vi wc base64 md5sum
applets "$tree/sbin" init getty halt poweroff reboot insmod lsmod ifconfig ip route sulogin
install -D -s -m 0755 "$media/i386/installer/installer" "$tree/sbin/installer"
install -D -s -m 0755 "$media/i386/installer/installer-query" "$tree/sbin/installer-query"
mkdir -p "$tree"/{dev/pts,proc,sys,ram,var/pckg}
install -d -m 1777 "$tree/tmp"
# Package scripts and the post-installation script run inside the new system during the
# installation, before the router's start-up mounts its own /dev; these are what they need (and the
# running router's /dev has them all too).
node() { mknod -m "$1" "$tree/dev/$2" "$3" "$4" "$5"; }
node 0600 console c 5 1
node 0666 null c 1 3
node 0666 zero c 1 5
node 0666 tty c 5 0
node 0600 ttyS0 c 4 64

# The kernel and its start-up archive with the modules for IDE disks and ext2/ext3.
copy_package kernel
tree=$out/trees/kernel/tree
kernel_version=$(ls "$extracted/lib/modules")
module_tree=$extracted/lib/modules/$kernel_version
initrd=$out/initrd
mkdir -p "$initrd"/{bin,dev,etc,proc,sys,root}
install -m 0755 "$extracted/bin/busybox" "$initrd/bin/busybox"
for applet in sh cat insmod ls ln mkdir mount umount usleep switch_root; do ln -s busybox "$initrd/bin/$applet"; done
mknod -m 0600 "$initrd/dev/console" c 5 1
install -m 0755 "$source_dir/demo/packages/kernel/initrd/init" "$initrd/init"
python3 "$source_dir/media/module_order.py" "$module_tree" ata_piix sd_mod crc32c_generic crct10dif_generic ext4 \
    > "$initrd/etc/modules.order"
while read -r module; do
    install -D -m 0644 "$module_tree/$module" "$initrd/lib/modules/$module"
done < "$initrd/etc/modules.order"
install -D -m 0644 "$extracted/boot/vmlinuz-$kernel_version" "$tree/boot/vmlinuz"
(cd "$initrd" && find . | LC_ALL=C sort | cpio -o -H newc -R 0:0 --quiet) | gzip -9 > "$tree/boot/initrd.img"
chmod 0644 "$tree/boot/initrd.img"

# The boot loader: extlinux and the C library it is linked with.
copy_package bootloader
tree=$out/trees/bootloader/tree
loader=$out/extlinux
rm -rf "$loader"
dpkg-deb -x "$(ls "$out"/debs/extlinux_*_i386.deb | head -n1)" "$loader"
install -D -m 0755 "$loader/usr/bin/extlinux" "$tree/sbin/extlinux"
install -D -m 0755 "$extracted/lib/i386-linux-gnu/ld-linux.so.2" "$tree/lib/ld-linux.so.2"
install -D -m 0755 "$extracted/lib/i386-linux-gnu/libc.so.6" "$tree/lib/i386-linux-gnu/libc.so.6"

for folder in "$source_dir"/demo/packages/*/; do
    name=$(basename "$folder")
    manifest=$folder/manifest
    [ -d "$out/trees/$name" ] && manifest=$out/trees/$name/manifest
    "$mkvrp" build --owner 0:0 "$manifest" "$out/packages/$name.vrp" >/dev/null
done
