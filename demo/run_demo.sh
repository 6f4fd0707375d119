#!/usr/bin/env bash
# A router's life in four steps, on a throw-away root folder: first boot with a repository full
# of packages, a second boot that carries out scheduled changes, collection of stray files, and a
# look at the database and the post log. Run as root (installer changes its root with chroot).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
installer=$build/installer/installer
installer_query=$build/installer/installer-query
mkvrp=$build/tools/mkvrp/mkvrp
work=${DEMO_DIR:-$build/demo}
root=$work/root

heading() { printf '\n\033[1m== %s ==\033[0m\n' "$*"; }
say() { printf '%s\n' "$*" | fold -s -w 100; }

# Looks at the database the way a user would; the command is shown as typed.
query() {
  printf '  $ installer-query -r ROOT %s\n' "$*"
  "$installer_query" -r "$root" "$@" | sed 's/^/    /'
}

# installer reads /proc inside its root to learn which files running programs hold.
boot() {
  unshare --mount --propagation private sh -c 'mount --bind /proc "$0/proc" && exec "$@"' "$root" \
    "$installer" -r "$root" "$@"
}

heading "Building the sample packages with mkvrp"
rm -rf "$work"; mkdir -p "$work/packages"
for manifest in "$here"/packages/*/manifest; do
  name=$(basename "$(dirname "$manifest")")
  # Their files come from Debian's packages (demo/router/build.sh), for the router that boots in
  # the CD demo; this demo needs no kernel.
  case $name in kernel|bootloader) continue;; esac
  "$mkvrp" build --owner 0:0 "$manifest" "$work/packages/$name.vrp"
  printf '  %-22s %6d bytes\n' "$name.vrp" "$(stat -c %s "$work/packages/$name.vrp")"
done
say "What is inside a package file (mkvrp list):"
"$mkvrp" list "$work/packages/webadmin.vrp" | sed 's/^/    /'

heading "A fresh router root"
mkdir -p "$root"/{var/pdb,var/pckg,ram,bin,tmp,dev,proc}
cp /bin/bash-static "$root/bin/bash"   # package scripts run with /bin/bash inside the root
mknod -m 666 "$root/dev/null" c 1 3
cp "$work"/packages/*.vrp "$root/var/pckg/"
say "The repository /var/pckg holds: $(ls "$root/var/pckg" | tr '\n' ' ')"

heading "First boot: installer -r ROOT processes the repository"
say "Of the two firewall files only the newer is taken; dependencies go first; snmp-lite conflicts with snmpd, so one of the two ends up disabled (its files kept under /x/)."
boot
say ""
say "Left in the repository (not installed, kept for the next start): $(ls "$root/var/pckg" | tr '\n' ' ')"
query list
say "Install scripts wrote: $(tr '\n' ';' < "$root/var/log/install.log")"

heading "Other software schedules changes for the next start"
echo disable > "$root/var/pdb/webadmin/schedule"
echo uninstall > "$root/var/pdb/vpn/schedule"
say "webadmin: disable; vpn (a bundle): uninstall. The database shows the requests:"
query list

heading "Second boot"
boot
query list
say "vpn and its two members are gone. A disabled package keeps its files under /x:"
query files webadmin

heading "Collecting files that no package owns: installer -r ROOT --filegc /etc /usr"
echo "left over" > "$root/etc/stray.conf"
mkdir -p "$root/usr/share/old" && echo junk > "$root/usr/share/old/leftover"
say "before: $(cd "$root" && find etc usr -type f | sort | tr '\n' ' ')"
"$installer" -r "$root" --filegc /etc /usr
say "after:  $(cd "$root" && find etc usr -type f | sort | tr '\n' ' ')"
say "The files on disk still match the database:"
query verify

heading "/postlog: the messages of the last boot"
say "A boot that had packages to install keeps the previous boot's lines too; they follow the changes carried out at start."
sed 's/^/  /' "$root/postlog"
say ""
say "The demo root stays in $root for a closer look."
