#!/usr/bin/env bash
# Builds the installation system: an i386 kernel and an initramfs holding static i386 builds of
# setup and installer, busybox, mke2fs, the partitioning tool with our cylinder layer in front of
# it, the kernel modules for IDE disks, CD-ROMs and their file systems, and the device nodes.
#
#   media/build.sh [OUTPUT_DIR]      (default: build-media)
#
# Output: OUTPUT_DIR/vmlinuz and OUTPUT_DIR/initramfs.cpio.gz, plus OUTPUT_DIR/disk_test_driver,
# the stand-in first process that the virtual-machine tests put in place of setup. Downloaded
# packages are kept in OUTPUT_DIR/debs and reused.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$source_dir/build-media}")
debs=$out/debs
extracted=$out/extracted
root=$out/root
build=$out/i386
mkdir -p "$debs" "$build"

if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi

# apt's own output goes to a log, shown (its path and last lines) only when a step fails for good.
apt_log=$out/apt.log
: > "$apt_log"
quietly() { "$@" >>"$apt_log" 2>&1 </dev/null; }
apt_failed() {
    echo "build.sh: $1; apt's output is in $apt_log, ending with:" >&2
    tail -n 15 "$apt_log" | sed 's/^/  /' >&2
    exit 1
}

# Debian's i386 packages: the kernel, busybox, mke2fs, the partitioning tool and the libraries the
# last two are linked with.
packages=(busybox-static e2fsprogs fdisk libc6 libblkid1 libcom-err2 libext2fs2 libfdisk1
          libreadline8 libsmartcols1 libtinfo6 libuuid1)
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
if ! apt-cache show linux-image-686:i386 >/dev/null 2>&1; then
    quietly $SUDO apt-get update -q || apt_failed "apt-get update failed"
fi
kernel_package=$(apt-cache depends linux-image-686:i386 | awk '/Depends: linux-image-/{print $2; exit}')
wanted=("$kernel_package" "${packages[@]/%/:i386}")
stamp=$debs/packages.txt
download() {
    rm -f "$debs"/*.deb
    (cd "$debs" && quietly apt-get download -q "${wanted[@]}") || true
    [ "$(ls "$debs" | grep -c '\.deb$')" -eq ${#wanted[@]} ]
}
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "${wanted[*]}" ]; then
    # Package lists of an earlier day may name versions the archive no longer has.
    if ! download; then
        quietly $SUDO apt-get update -q || apt_failed "apt-get update failed"
        kernel_package=$(apt-cache depends linux-image-686:i386 | awk '/Depends: linux-image-/{print $2; exit}')
        wanted=("$kernel_package" "${packages[@]/%/:i386}")
        download || apt_failed "could not download ${wanted[*]}"
    fi
    echo "${wanted[*]}" > "$stamp"
    rm -rf "$extracted"
fi
if [ ! -d "$extracted" ]; then
    mkdir -p "$extracted.tmp"
    for deb in "$debs"/*.deb; do dpkg-deb -x "$deb" "$extracted.tmp"; done
    mv "$extracted.tmp" "$extracted"
fi

# Static i386 builds of our programs. A build directory made from another checkout is started anew.
if [ -f "$build/CMakeCache.txt" ] && ! grep -qx "CMAKE_HOME_DIRECTORY:INTERNAL=$source_dir" "$build/CMakeCache.txt"; then
    rm -rf "$build"
fi
cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_C_FLAGS=-m32 -DCMAKE_CXX_FLAGS=-m32 -DROUTER_STATIC=ON -DROUTER_TESTS=OFF \
      -DZLIB_LIBRARY=/usr/lib32/libz.a -DZLIB_INCLUDE_DIR=/usr/include >/dev/null
cmake --build "$build" --target setup installer sfdisk_layer disk_test_driver -j"$(nproc)" >/dev/null
install -m 0755 "$build/tests/vm/disk_test_driver" "$out/disk_test_driver"

# The file tree of the installation system.
rm -rf "$root"
mkdir -p "$root"/{bin,sbin,etc,dev,proc,sys,mnt,floppy,tmp,lib/i386-linux-gnu}
install -m 0755 "$extracted/bin/busybox" "$root/bin/busybox"
for applet in sh mount umount ls cat echo mkdir dd sleep usleep sync find tr uname insmod grep \
              head tail cp mv rm ln chmod chown stat reboot poweroff mknod; do
    ln -s busybox "$root/bin/$applet"
done
install -m 0755 "$build/setup/setup" "$root/sbin/setup"
ln -s setup "$root/sbin/init"
install -m 0755 "$build/installer/installer" "$root/sbin/installer"
install -m 0755 "$build/media/sfdisk" "$root/sbin/sfdisk"
install -m 0755 "$extracted/sbin/sfdisk" "$root/sbin/sfdisk.sectors"
install -m 0755 "$extracted/sbin/mke2fs" "$root/sbin/mke2fs.real"
install -m 0755 "$source_dir/media/mke2fs.sh" "$root/sbin/mke2fs"
install -m 0755 "$source_dir/media/insmod.sh" "$root/sbin/insmod"
install -m 0755 "$source_dir/media/init.sh" "$root/init"
install -m 0644 "$extracted/etc/mke2fs.conf" "$root/etc/mke2fs.conf"

# The shared libraries of the two dynamically linked tools, found by following their needs.
install -m 0755 "$extracted/lib/ld-linux.so.2" "$root/lib/ld-linux.so.2"
pending=("$root/sbin/sfdisk.sectors" "$root/sbin/mke2fs.real")
while [ ${#pending[@]} -gt 0 ]; do
    binary=${pending[0]}
    pending=("${pending[@]:1}")
    for library in $(objdump -p "$binary" | awk '/NEEDED/{print $2}'); do
        [ -e "$root/lib/i386-linux-gnu/$library" ] && continue
        found=$(find "$extracted/lib/i386-linux-gnu" "$extracted/usr/lib/i386-linux-gnu" \
                     -maxdepth 1 -name "$library" | head -n1)
        [ -n "$found" ] || { echo "build.sh: $library (needed by $binary) not found" >&2; exit 1; }
        cp -L "$found" "$root/lib/i386-linux-gnu/$library"
        pending+=("$root/lib/i386-linux-gnu/$library")
    done
done

# Kernel and modules: those for IDE disks, CD-ROMs and floppies and their file systems, each after the
# modules it needs, in the order /init loads them.
kernel_version=$(ls "$extracted/lib/modules")
module_tree=$extracted/lib/modules/$kernel_version
# The floppy drive, and the code pages that mounting a FAT floppy asks for.
floppy_modules=(floppy nls_cp437 nls_ascii)
python3 "$source_dir/media/module_order.py" "$module_tree" \
    ata_piix sd_mod sr_mod crc32c_generic crct10dif_generic ext4 isofs fat vfat "${floppy_modules[@]}" > "$root/etc/modules.order"
while read -r module; do
    install -D -m 0644 "$module_tree/$module" "$root/lib/modules/$kernel_version/$module"
done < "$root/etc/modules.order"
# Network drivers for the emulated cards and what they need. /init leaves them alone: the network
# installation loads them itself through /sbin/insmod, by name.
python3 "$source_dir/media/module_order.py" "$module_tree" e1000 8139too ne2k-pci pcnet32 e100 \
    > "$out/network.modules"
while read -r module; do
    install -D -m 0644 "$module_tree/$module" "$root/lib/modules/$kernel_version/$module"
done < "$out/network.modules"
cp "$extracted/boot/vmlinuz-$kernel_version" "$out/vmlinuz"

# Device nodes under the names setup expects: the first IDE disk and its partitions carry the
# numbers of the first SCSI disk, which is how this kernel drives it; the secondary master is the
# first CD-ROM drive. There is no /dev/tty0, so setup takes the serial line as its console.
node() { mknod -m "$1" "$root/dev/$2" "$3" "$4" "$5"; }
node 0600 console c 5 1
node 0666 null c 1 3
node 0666 zero c 1 5
node 0666 tty c 5 0
node 0600 ttyS0 c 4 64
node 0660 hda b 8 0
for partition in 1 2 3 4; do node 0660 "hda$partition" b 8 "$partition"; done
node 0660 hdb b 8 16
node 0660 hdc b 11 0
node 0660 fd0 b 2 0

(cd "$root" && find . | LC_ALL=C sort | cpio -o -H newc -R 0:0 --quiet) | gzip -9 > "$out/initramfs.cpio.gz.tmp"
mv "$out/initramfs.cpio.gz.tmp" "$out/initramfs.cpio.gz"

# The variants a person boots. The mode comes from "/TYPE": the CD-ROM variant adds that file to the
# archive (the kernel unpacks archives one after another, later files win); the hard disk variant is
# the plain archive with "-hdd-install" on the kernel command line, which the kernel hands on to
# /init and /init to setup.
type_variant() {  # NAME: initramfs-NAME.cpio.gz, the base archive with "/TYPE" holding NAME
    local variant=$out/variant-$1
    rm -rf "$variant" && mkdir -p "$variant"
    printf '%s\n' "$1" > "$variant/TYPE"
    (cd "$variant" && find . | LC_ALL=C sort | cpio -o -H newc -R 0:0 --quiet) | gzip -9 \
        | cat "$out/initramfs.cpio.gz" - > "$out/initramfs-$1.cpio.gz"
    rm -rf "$variant"
}
type_variant cdrom
# The network variant: a router that installs itself from a server on its Ethernet.
type_variant net
printf 'console=ttyS0 -hdd-install\n' > "$out/cmdline-hdd"
printf 'console=ttyS0\n' > "$out/cmdline-cdrom"
echo "installation system: $out/vmlinuz $out/initramfs.cpio.gz"
echo "  CD-ROM variant:    $out/initramfs-cdrom.cpio.gz, kernel command line: $(cat "$out/cmdline-cdrom")"
echo "  hard disk variant: $out/initramfs.cpio.gz, kernel command line: $(cat "$out/cmdline-hdd")"
echo "  network variant:   $out/initramfs-net.cpio.gz, kernel command line: $(cat "$out/cmdline-cdrom")"
