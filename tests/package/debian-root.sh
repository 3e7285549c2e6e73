#!/usr/bin/env bash
# The .debs in a clean Debian 12 root, as root (tests/package/run.sh runs it through scripts/as-root.sh):
# debootstrap, kept in $VANTREL_DEBOOTSTRAP_CACHE (by default /var/cache/vantrel-debootstrap) and reused; it
# holds the dependencies' downloaded files but installs none of them, so that every run installs exactly
# what the packages declare, without recommends; each run works on an overlay of it. The console package
# alone (no toolkit comes with it) runs a whole update and opens its manual pages; the window's package
# added, its window starts on X11 (an Xvfb display of this machine) and shows its class and icon; the udev
# rule against umockdev's devices; both removed while the window runs and purged, leaving no file behind;
# then both installed together over an older single package, and a second time.
#
# Usage: debian-root.sh CONSOLE_DEB WINDOW_DEB VERSION LOG_DIR OWNER
# Everything root makes goes outside the checkout, into a scratch folder of its own under /var/tmp that
# goes at the end, mounts first; into LOG_DIR (the caller's) it writes only plain files, the logs, which
# are handed to OWNER (uid:gid) at the end.
set -uo pipefail
console_deb=$1
window_deb=$2
version=$3
work=$4
owner=$5
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
source "$source_dir/tests/support/e2e_check.sh"
devices=$source_dir/tests/package/serial-devices.umockdev

# Mounts go before their folders do, and a removal never crosses into another file system.
unmount_under() { findmnt -rn -o TARGET | grep "^$1/" | sort -r | while read -r mounted; do umount -l "$mounted"; done; }
# What a run that was killed left behind: its scratch folder, once its process is gone.
for stale in /var/tmp/vantrel-package-root.*; do
  [ -d "$stale" ] || continue
  pid=$(cat "$stale/pid" 2>/dev/null)
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && continue
  unmount_under "$stale"
  rm -rf --one-file-system "$stale"
done
mounts=()
unmount_all() {
  local i
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount -l "${mounts[i]}" 2>/dev/null; done
  mounts=()
}
sims=()
window=""
xvfb=""
scratch=""
cleanup() {
  for pid in "${sims[@]}" $window $xvfb; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  unmount_all
  if [ -n "$scratch" ]; then
    unmount_under "$scratch"
    rm -rf --one-file-system "$scratch"
  fi
  find "$work" -maxdepth 1 -type f -user 0 -exec chown "$owner" {} +
}
trap cleanup EXIT

scratch=$(mktemp -d /var/tmp/vantrel-package-root.XXXXXX)
echo $$ >"$scratch/pid"

# A clean Debian 12 root, cached, with the dependencies' files downloaded but not installed. It is made
# again when it holds any package debootstrap did not put there (a run of another test may have installed
# into it), so that what the packages leave out cannot come from the cache.
cache=${VANTREL_DEBOOTSTRAP_CACHE:-/var/cache/vantrel-debootstrap}
base=$cache/bookworm-minbase
started=$(date +%s)
unmount_under "$base"
if [ -f "$base/.vantrel-complete" ] &&
  ! chroot "$base" dpkg-query -W -f='${Package}\n' | sort | cmp -s - "$base/.vantrel-packages"; then
  echo "The cached Debian 12 root holds packages it was not made with: made again"
  rm -f "$base/.vantrel-complete"
fi
if [ ! -f "$base/.vantrel-complete" ]; then
  rm -rf --one-file-system "$base" "$base.tmp"
  mkdir -p "$cache"
  echo "Making a Debian 12 root in $base"
  debootstrap --variant=minbase --include=man-db,udev bookworm "$base.tmp" http://deb.debian.org/debian \
    >"$work/debootstrap.log" 2>&1 || { tail -n 20 "$work/debootstrap.log"; echo "FAIL debootstrap"; exit 1; }
  chroot "$base.tmp" dpkg-query -W -f='${Package}\n' | sort >"$base.tmp/.vantrel-packages"
  mv "$base.tmp" "$base"
  touch "$base/.vantrel-complete"
fi

# The root's system mounts, for a chroot at $1: a /dev of its own (the few nodes the programs use, a
# pseudo-terminal instance of its own), so that nothing done in the root reaches this machine's devices.
mount_system() {
  mount -t proc proc "$1/proc" && mounts+=("$1/proc")
  mount -t tmpfs -o mode=755 tmpfs "$1/dev" && mounts+=("$1/dev")
  local node
  for node in null zero full random urandom tty; do
    touch "$1/dev/$node" && mount --bind "/dev/$node" "$1/dev/$node" && mounts+=("$1/dev/$node")
  done
  mkdir -p "$1/dev/pts" "$1/dev/shm"
  mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts "$1/dev/pts" && mounts+=("$1/dev/pts")
  ln -s pts/ptmx "$1/dev/ptmx"
}
# A command in the root. In the background it must not run through this function, whose subshell would
# take the process number: "${root_command[@]}" COMMAND & instead, so that $! is the program's own.
root_command=()
enter_root() {
  target=$1
  root_command=(chroot "$target" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8
    DEBIAN_FRONTEND=noninteractive)
}
in_root() { "${root_command[@]}" "$@"; }
apt_install() { in_root apt-get install -y -qq --no-install-recommends "$@"; }

# The dependencies' files, and umockdev's for the udev rule's test (installed after the window's test).
cp /etc/resolv.conf "$base/etc/resolv.conf"
window_depends=$(dpkg-deb -f "$window_deb" Depends | sed -E 's/vantrel-update-cli \([^)]*\)(, )?//')
depends="$(dpkg-deb -f "$console_deb" Depends), $window_depends, umockdev"
enter_root "$base"
mount_system "$base"
if ! in_root apt-get satisfy -d -y -qq --no-install-recommends "$depends" >"$work/satisfy.log" 2>&1; then
  in_root apt-get update -qq >>"$work/satisfy.log" 2>&1
  in_root apt-get satisfy -d -y -qq --no-install-recommends "$depends" >>"$work/satisfy.log" 2>&1 ||
    { tail -n 20 "$work/satisfy.log"; echo "FAIL the packages' dependencies for the root"; exit 1; }
fi
unmount_all

# Each run works on an overlay of the cached root (a copy where overlays cannot be mounted).
enter_root "$scratch/root"
mkdir -p "$target" "$scratch/upper" "$scratch/overlay-work"
if mount -t overlay overlay -o "lowerdir=$base,upperdir=$scratch/upper,workdir=$scratch/overlay-work" "$target" 2>/dev/null; then
  mounts+=("$target")
else
  cp -a "$base/." "$target/"
fi
mount_system "$target"
echo "Debian 12 root ready after $(($(date +%s) - started)) s"

# Every file of the root outside the places that change on their own (logs, apt's and dpkg's state).
root_files() {
  (cd "$target" && find . -xdev \( -path ./proc -o -path ./dev -o -path ./run -o -path ./tmp -o -path ./var \
    -o -path ./root \) -prune -o -print | sort)
}
root_files >"$work/files-before"
cp "$console_deb" "$target/tmp/vantrel-update-cli.deb"
cp "$window_deb" "$target/tmp/vantrel-update.deb"

# The console package alone: no toolkit, a whole update, the manual pages, the udev rule.
apt_install /tmp/vantrel-update-cli.deb >"$work/install-console.log" 2>&1
check "install of the console package alone" 0 $?
toolkit_packages=$(in_root dpkg-query -W -f='${Package}\n' | grep -c -i -e qt -e libx11)
check "no toolkit comes with the console package" 0 "$toolkit_packages"
in_root vantrel-update-cli --version >"$work/cli-version.out" 2>&1
check "installed vantrel-update-cli --version" 0 $? "vantrel-update-cli $version" "$work/cli-version.out"
in_root vantrel-update-cli --list-images >"$work/images.out" 2>&1
check "installed --list-images" 0 $? "Vantrel" "$work/images.out"
"${root_command[@]}" vantrel-sim >"$work/sim.out" 2>/dev/null &
sims+=($!)
for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
port=$(head -n 1 "$work/sim.out")
in_root vantrel-update-cli --port "$port" --yes </dev/null >"$work/update.out" 2>"$work/update.err"
check "whole update with the installed programs" 0 $? "-> Vector table is programmed." "$work/update.out" \
  "succesfully completed." "$work/update.out"
for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
sims=()
for program in vantrel-update-cli vantrel-sim; do
  in_root env MANPAGER=cat MANWIDTH=100 man "$program" >"$work/man-$program.out" 2>&1
  check "man $program" 0 $? "$program" "$work/man-$program.out" "--version" "$work/man-$program.out"
done
[ -f "$target/usr/lib/udev/rules.d/70-vantrel-update.rules" ]
check "the udev rule is installed with the console package" 0 $?

# The window's package added: its window starts on X11 on what the packages declare and nothing else
# (no recommends, no offscreen platform), and names itself to the desktop: its class and its icon.
apt_install /tmp/vantrel-update.deb >"$work/install-window.log" 2>&1
check "install of the window's package beside it" 0 $?
in_root vantrel-update --version >"$work/window-version.out" 2>&1
check "installed vantrel-update --version" 0 $? "vantrel-update $version" "$work/window-version.out"
in_root env MANPAGER=cat MANWIDTH=100 man vantrel-update >"$work/man-vantrel-update.out" 2>&1
check "man vantrel-update" 0 $? "vantrel-update" "$work/man-vantrel-update.out"
source "$source_dir/tests/support/virtual_display.sh"
start_virtual_display "$work" || { echo "FAIL no X display"; failures=$((failures + 1)); }
xvfb=$virtual_display_pid
display=${DISPLAY:-}
mkdir -p "$target/tmp/.X11-unix" "$target/tmp/xdg"
chmod 700 "$target/tmp/xdg"
mount --bind /tmp/.X11-unix "$target/tmp/.X11-unix" && mounts+=("$target/tmp/.X11-unix")
"${root_command[@]}" DISPLAY="$display" XDG_RUNTIME_DIR=/tmp/xdg vantrel-update >"$work/window.out" 2>&1 &
window=$!
window_id=""
for _ in $(seq 300); do
  window_id=$(DISPLAY=$display xwininfo -root -tree 2>/dev/null | awk '/\("vantrel-update" / {print $1; exit}')
  [ -n "$window_id" ] && break
  kill -0 "$window" 2>/dev/null || break
  sleep 0.1
done
DISPLAY=$display xprop -id "${window_id:-0}" WM_CLASS _NET_WM_ICON >"$work/window-props.out" 2>&1
kill -0 "$window" 2>/dev/null && [ -n "$window_id" ]
check "the window starts on X11 on the declared dependencies alone" 0 $? \
  'WM_CLASS(STRING) = "vantrel-update"' "$work/window-props.out" "_NET_WM_ICON(CARDINAL) = " "$work/window-props.out"
[ -n "$window_id" ] || tail -n 5 "$work/window.out"

# The udev rule against umockdev's serial devices (umockdev installed now, after the window's test): the
# converter maker's standard converter is the logger's port; a device of another maker on the same driver,
# one of the converter maker's vendor ID with a product ID of its own, a converter of another family, a
# USB modem and a built-in port are not; a site's drop-in rule adds its own IDs.
apt_install umockdev >"$work/install-umockdev.log" 2>&1 || tail -n 5 "$work/install-umockdev.log"
cp "$devices" "$target/tmp/serial-devices.umockdev"
udev_case() {  # tty -> matched, partly-matched or not-matched, from the settings udevadm test shows
  in_root umockdev-run -d /tmp/serial-devices.umockdev -- udevadm test --action=add "/sys/class/tty/$1" \
    >"$work/udev-$1.out" 2>&1 || { echo "udevadm-test-failed"; return; }
  if grep -qx 'ID_MM_DEVICE_IGNORE=1' "$work/udev-$1.out" && grep -q '^TAGS=.*:uaccess:' "$work/udev-$1.out" &&
    grep -q "device/latency_timer' writing '1'" "$work/udev-$1.out"; then
    echo matched
  elif grep -q -e ID_MM_DEVICE_IGNORE -e ':uaccess:' -e "latency_timer' writing" "$work/udev-$1.out"; then
    echo partly-matched
  else
    echo not-matched
  fi
}
udev_cases() {
  local tty expected what
  while read -r tty expected what; do
    check "udev rule: $what ($tty) $expected" "$expected" "$(udev_case "$tty")"
  done
}
udev_cases <<'CASES'
ttyUSB0 matched     the converter maker's standard converter, 0403:6001
ttyUSB1 not-matched another maker's device on ftdi_sio, 1cf1:0001
ttyUSB2 not-matched a device with the converter maker's vendor ID and a product ID of its own, 0403:f850
ttyUSB3 not-matched a converter of another family, cp210x
ttyACM0 not-matched a USB modem, cdc_acm
ttyS0   not-matched a built-in serial port
CASES
# The drop-in the documentation shows, for a logger whose converter carries its maker's IDs.
echo 'SUBSYSTEM=="tty", ATTRS{idVendor}=="1cf1", ATTRS{idProduct}=="0001", ENV{VANTREL_UPDATE_PORT}="1"' \
  >"$target/etc/udev/rules.d/69-vantrel-update-local.rules"
udev_cases <<'CASES'
ttyUSB1 matched     a site's drop-in rule with the IDs of its loggers, 1cf1:0001
ttyUSB3 not-matched a converter of another family beside the drop-in, cp210x
CASES
rm "$target/etc/udev/rules.d/69-vantrel-update-local.rules"
in_root apt-get purge -y -qq --autoremove umockdev >"$work/purge-umockdev.log" 2>&1

# Removal while the window runs: the running program keeps its file open, the packages go all the same;
# purged with the dependencies they brought, the root is as before.
in_root apt-get remove -y -qq vantrel-update vantrel-update-cli >"$work/remove.log" 2>&1
check "remove both while the window runs" 0 $?
in_root apt-get purge -y -qq --autoremove vantrel-update vantrel-update-cli >"$work/purge.log" 2>&1
check "purge" 0 $?
kill "$window" 2>/dev/null
wait "$window" 2>/dev/null
window=""
in_root dpkg-query -W -f='${Package} ${Status}\n' 'vantrel-update*' >"$work/status.out" 2>&1
grep -q 'install ok' "$work/status.out" && { echo "FAIL still installed after purge"; failures=$((failures + 1)); }
root_files >"$work/files-after"
diff "$work/files-before" "$work/files-after" >"$work/files-after.diff"
check "purge leaves no file behind" 0 $?
[ -s "$work/files-after.diff" ] && sed 's/^/    /' "$work/files-after.diff" | head -n 20

# Both together over an older version, which was one package holding all files (and one file more, which
# the upgrade must take away), then a second time.
old=$scratch/old
mkdir -p "$old"
dpkg-deb -R "$window_deb" "$old"
dpkg-deb -x "$console_deb" "$old"
sed -i -e 's/^Version: .*/Version: 0.9.0/' -e "s/^Depends: .*/Depends: $window_depends/" "$old/DEBIAN/control"
dpkg-deb -e "$console_deb" "$scratch/console-control"
cp "$scratch/console-control/postinst" "$scratch/console-control/postrm" "$old/DEBIAN/"
echo "left by 0.9.0" >"$old/usr/share/doc/vantrel-update/only-in-0.9.0"
(cd "$old" && find usr -type f -exec md5sum {} + >DEBIAN/md5sums)
dpkg-deb -b --root-owner-group "$old" "$target/tmp/vantrel-update-old.deb" >/dev/null
apt_install /tmp/vantrel-update-old.deb >"$work/install-old.log" 2>&1
check "install of the older single package" 0 $?
apt_install /tmp/vantrel-update-cli.deb /tmp/vantrel-update.deb >"$work/upgrade.log" 2>&1
check "both packages together over the older version" 0 $?
in_root dpkg-query -W -f='${Package} ${Version}\n' vantrel-update vantrel-update-cli >"$work/versions.out"
check "the newer versions are installed" 0 $? "vantrel-update $version" "$work/versions.out" \
  "vantrel-update-cli $version" "$work/versions.out"
[ ! -e "$target/usr/share/doc/vantrel-update/only-in-0.9.0" ] ||
  { echo "FAIL the upgrade left a file of the older version"; failures=$((failures + 1)); }
in_root apt-get install -y -qq --no-install-recommends --reinstall /tmp/vantrel-update-cli.deb /tmp/vantrel-update.deb \
  >"$work/reinstall.log" 2>&1
check "second install" 0 $?
in_root vantrel-update-cli --version >"$work/cli-version-again.out" 2>&1
check "vantrel-update-cli after the upgrade" 0 $? "vantrel-update-cli $version" "$work/cli-version-again.out"
in_root apt-get purge -y -qq --autoremove vantrel-update vantrel-update-cli >"$work/purge-again.log" 2>&1
check "purge after the upgrade" 0 $?
root_files >"$work/files-after-upgrade"
diff "$work/files-before" "$work/files-after-upgrade" >"$work/files-after-upgrade.diff"
check "purge after the upgrade leaves no file behind" 0 $?
[ -s "$work/files-after-upgrade.diff" ] && sed 's/^/    /' "$work/files-after-upgrade.diff" | head -n 20
unmount_all
echo "Debian package stage: $(($(date +%s) - started)) s"

echo "Debian 12 root: $passed passed, $failures failed"
[ "$failures" = 0 ]
