#!/bin/sh
# First process of the installation system. The kernel has no drivers for disks, CD-ROM drives and
# their file systems built in: load them, wait for the first disk to show up, and hand over to
# setup, which runs as /sbin/init so that it knows it is the first process.
PATH=/bin:/sbin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
modules=/lib/modules/$(uname -r)
while read -r module; do
    /bin/insmod "$modules/$module" 2>/dev/null
done < /etc/modules.order
# Disks are probed in the background; a machine without one must not keep us waiting long.
tries=0
while [ ! -e /sys/block/sda ] && [ $tries -lt 30 ]; do
    usleep 100000
    tries=$((tries + 1))
done
# The other drives (a second disk, a CD-ROM) are found in the background as well: go on once the set
# of block devices has stayed the same for half a second.
seen=$(ls /sys/block)
steady=0
while [ $steady -lt 5 ] && [ $tries -lt 60 ]; do
    usleep 100000
    tries=$((tries + 1))
    now=$(ls /sys/block)
    if [ "$now" = "$seen" ]; then steady=$((steady + 1)); else steady=0; seen=$now; fi
done
# setup knows disks by their IDE position: primary master "hda", primary slave "hdb", secondary
# master "hdc", secondary slave "hdd". The kernel numbers its disks in the order their probes end,
# which is not always that order, so the nodes are made from each disk's address (host = channel,
# target = master or slave) rather than taken from the archive.
rm -f /dev/hd[a-d] /dev/hd[a-d][1-4]
for address in /sys/class/scsi_device/*; do
    [ -d "$address/device/block" ] || continue
    hcil=${address##*/}
    host=${hcil%%:*}
    target=${hcil#*:*:}
    target=${target%%:*}
    case $((host * 2 + target)) in 0) letter=a;; 1) letter=b;; 2) letter=c;; 3) letter=d;; *) continue;; esac
    name=$(ls "$address/device/block")
    numbers=$(cat "/sys/block/$name/dev")
    major=${numbers%%:*}
    minor=${numbers##*:}
    mknod -m 0660 "/dev/hd$letter" b "$major" "$minor"
    case $name in
        sd*) for partition in 1 2 3 4; do
                 mknod -m 0660 "/dev/hd$letter$partition" b "$major" $((minor + partition))
             done;;
    esac
done
exec /sbin/init "$@"
