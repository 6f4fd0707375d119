# Read by every package script before it runs.
PATH=/sbin:/bin:/usr/sbin:/usr/bin
export PATH
