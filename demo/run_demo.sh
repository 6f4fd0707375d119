#!/usr/bin/env bash
# A router's life in four steps, on a throw-away root folder: first boot with a repository full
# of packages, a second boot that carries out scheduled changes, collection of stray files, and a
# look at the database and the post log. Run as root (installer changes its root with chroot).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
installer=$build/installer/installer
mkvrp=$build/tools/mkvrp/mkvrp
work=${DEMO_DIR:-$build/demo}
root=$work/root

heading() { printf '\n\033[1m== %s ==\033[0m\n' "$*"; }
say() { printf '%s\n' "$*" | fold -s -w 100; }

version_text() {  # the packed decimal version of a record as people write it
  local v=$1 major=$(( $1 >> 24 )) minor=$(( ($1 >> 16) & 255 )) stage=$(( ($1 >> 8) & 255 )) build=$(( $1 & 255 ))
  local word=""
  case $stage in 102) [ $build -eq 0 ] && echo "$major.$minor" || echo "$major.$minor.$build"; return;;
                 97) word=alpha;; 98) word=beta;; 99) word=rc;; esac
  [ $build -eq 0 ] && echo "$major.$minor$word" || echo "$major.$minor$word$build"
}

show_database() {
  printf '  %-12s %-10s %-9s %s\n' PACKAGE VERSION STATE FILES
  for record in "$root"/var/pdb/*/; do
    [ -d "$record" ] || continue
    local name state files
    name=$(basename "$record")
    state=enabled; [ -e "$record/disabled" ] && state=disabled
    if [ -e "$record/files" ]; then files=$(wc -l < "$record/files"); else files="(bundle)"; fi
    [ -e "$record/bundle" ] && state="$state, in $(cat "$record/bundle")"
    printf '  %-12s %-10s %-9s %s\n' "$name" "$(version_text "$(cut -d' ' -f1 "$record/version")")" "$state" "$files"
  done
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
show_database
say "Install scripts wrote: $(tr '\n' ';' < "$root/var/log/install.log")"

heading "Other software schedules changes for the next start"
echo disable > "$root/var/pdb/webadmin/schedule"
echo uninstall > "$root/var/pdb/vpn/schedule"
say "webadmin: disable; vpn (a bundle): uninstall"

heading "Second boot"
boot
show_database
say "vpn and its two members are gone; disabled packages keep their files in /x: $(cd "$root/x" && find . -type f | sed 's|^\./|/x/|' | tr '\n' ' ')"

heading "Collecting files that no package owns: installer -r ROOT --filegc /etc /usr"
echo "left over" > "$root/etc/stray.conf"
mkdir -p "$root/usr/share/old" && echo junk > "$root/usr/share/old/leftover"
say "before: $(cd "$root" && find etc usr -type f | sort | tr '\n' ' ')"
"$installer" -r "$root" --filegc /etc /usr
say "after:  $(cd "$root" && find etc usr -type f | sort | tr '\n' ' ')"

heading "/postlog: the messages of the last boot"
say "A boot that had packages to install keeps the previous boot's lines too; they follow the changes carried out at start."
sed 's/^/  /' "$root/postlog"
say ""
say "The demo root stays in $root for a closer look."
