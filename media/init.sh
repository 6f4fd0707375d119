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
exec /sbin/init "$@"
