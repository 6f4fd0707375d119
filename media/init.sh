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
exec /sbin/init "$@"
