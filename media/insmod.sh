#!/bin/sh
# setup names kernel modules without a path; look the file up in the running kernel's tree.
# Names are written with "-" or "_" interchangeably.
modules=/lib/modules/$(uname -r)
for name in "$1" "$(echo "$1" | tr - _)" "$(echo "$1" | tr _ -)"; do
    for module in $(find "$modules" -name "$name.ko"); do
        exec /bin/insmod "$module"
    done
done
exit 1
