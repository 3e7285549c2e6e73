#!/usr/bin/env bash
# The packages as a user gets them: scripts/package.sh builds them, then
#  - the .deb: its desktop entry, metadata, icons and bash completion checked as shipped; installed with
#    apt into a clean Debian 12 root (debootstrap, kept in $VANTREL_DEBOOTSTRAP_CACHE, by default
#    /var/cache/vantrel-debootstrap, and reused; each run works on an overlay of it), over an older
#    version and a second time, the installed programs run a whole update, the manual pages open, then
#    removed and purged while the window runs, leaving no file behind;
#  - the .msi: installed silently under Wine over an older version and a second time, the installed
#    console front end runs a whole update against the simulator, the Start-menu shortcut and the
#    uninstall entry exist, and uninstalling leaves no file behind.
# Needs root (debootstrap, chroot, mounts). Set VANTREL_PACKAGE_NO_MSI=1 to leave the Windows installer out.
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

scripts/deps.sh debootstrap desktop-file-utils appstream bash-completion wine wine64 || exit 1
bash scripts/package.sh || { echo "FAIL building the packages"; exit 1; }

source tests/support/e2e_check.sh
version=$(build-package/bin/vantrel-update-cli --version | awk '{print $2}')
deb=$(ls dist/vantrel-update_"$version"_*.deb)
work=$root/build-package/package-test
# A run that was killed may have left a root's mounts (this machine's /dev among them): they go before
# the root does, and a removal never crosses into another file system.
unmount_under() { findmnt -rn -o TARGET | grep "^$1/" | sort -r | while read -r mounted; do umount -l "$mounted"; done; }
unmount_under "$work"
rm -rf --one-file-system "$work"
mkdir -p "$work"

# ---------------------------------------------------------------------------------------------------------
# The .deb's files as shipped.
shipped=$work/shipped
dpkg-deb -x "$deb" "$shipped"
desktop-file-validate "$shipped"/usr/share/applications/*.desktop >"$work/desktop.out" 2>&1
check "desktop entry valid" 0 $?
appstreamcli validate --no-net "$shipped"/usr/share/metainfo/*.metainfo.xml >"$work/metainfo.out" 2>&1
check "metainfo valid" 0 $? "$version" "$shipped"/usr/share/metainfo/com.velmora.VantrelUpdate.metainfo.xml
missing_icons=""
for size in 16 24 32 48 64 128 256; do
  icon=$shipped/usr/share/icons/hicolor/${size}x$size/apps/com.velmora.VantrelUpdate.png
  file "$icon" 2>/dev/null | grep -q "$size x $size" || missing_icons+=" $size"
done
[ -f "$shipped/usr/share/icons/hicolor/scalable/apps/com.velmora.VantrelUpdate.svg" ] || missing_icons+=" scalable"
check "icons in every size${missing_icons:+ (missing:$missing_icons)}" 0 "${missing_icons:+1}${missing_icons:-0}"

# Bash completion: the options and the start-up keys come from the program's --help.
complete_line() {  # words... -> the completions of the last word, one a line
  PATH="$shipped/usr/bin:$PATH" bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$0"
    COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="${COMP_WORDS[*]}"; COMP_POINT=${#COMP_LINE}
    _vantrel_update_cli vantrel-update-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf "%s\n" "${COMPREPLY[@]}"' "$shipped/usr/share/bash-completion/completions/vantrel-update-cli" "$@"
}
complete_line vantrel-update-cli --li >"$work/complete-options.out"
check "completion of options" 0 $? --list-ports "$work/complete-options.out" --list-images "$work/complete-options.out"
complete_line vantrel-update-cli --yes "" >"$work/complete-keys.out"
check "completion of start-up keys" 0 $? "mf:+" "$work/complete-keys.out" "cc:-" "$work/complete-keys.out" \
  "f:+" "$work/complete-keys.out"
complete_line vantrel-update-cli --yes mf: >"$work/complete-colon.out"
check "completion after the colon" 0 $? "+" "$work/complete-colon.out"
grep -qx -- - "$work/complete-colon.out" || { echo "FAIL completion after the colon: no -"; failures=$((failures + 1)); }

# ---------------------------------------------------------------------------------------------------------
# A clean Debian 12 root, cached. The package's libraries are put into the cache (they are Debian's, not
# ours), so that a run installs and removes only the package itself.
cache=${VANTREL_DEBOOTSTRAP_CACHE:-/var/cache/vantrel-debootstrap}
base=$cache/bookworm
started=$(date +%s)
unmount_under "$base"
if [ ! -f "$base/.vantrel-complete" ]; then
  rm -rf --one-file-system "$base" "$base.tmp"
  mkdir -p "$cache"
  echo "Making a Debian 12 root in $base (once)"
  debootstrap --variant=minbase --include=man-db,udev bookworm "$base.tmp" http://deb.debian.org/debian \
    >"$work/debootstrap.log" 2>&1 || { tail -n 20 "$work/debootstrap.log"; echo "FAIL debootstrap"; exit 1; }
  mv "$base.tmp" "$base"
  touch "$base/.vantrel-complete"
fi

mounts=()
unmount_all() {
  local i
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount -l "${mounts[i]}" 2>/dev/null; done
  mounts=()
}
sims=()
window=""
cleanup() {
  for pid in "${sims[@]}" $window; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  unmount_all
}
trap cleanup EXIT

# The root's system mounts, for a chroot at $1.
mount_system() {
  mount -t proc proc "$1/proc" && mounts+=("$1/proc")
  mount --bind /dev "$1/dev" && mounts+=("$1/dev")
  mount --bind /dev/pts "$1/dev/pts" && mounts+=("$1/dev/pts")
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

cp /etc/resolv.conf "$base/etc/resolv.conf"
depends=$(dpkg-deb -f "$deb" Depends)
enter_root "$base"
mount_system "$base"
if ! in_root apt-get satisfy -y -qq "$depends" >"$work/satisfy.log" 2>&1; then
  in_root apt-get update -qq >>"$work/satisfy.log" 2>&1
  in_root apt-get satisfy -y -qq "$depends" >>"$work/satisfy.log" 2>&1 ||
    { tail -n 20 "$work/satisfy.log"; echo "FAIL the package's dependencies in the root"; exit 1; }
fi
in_root apt-get clean
unmount_all

# Each run works on an overlay of the cached root (a copy where overlays cannot be mounted).
enter_root "$work/root"
mkdir -p "$target" "$work/upper" "$work/overlay-work"
if mount -t overlay overlay -o "lowerdir=$base,upperdir=$work/upper,workdir=$work/overlay-work" "$target" 2>/dev/null; then
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

# An older version of the package: the same files under version 0.9, and one more the upgrade must take away.
old=$work/old
dpkg-deb -R "$deb" "$old"
sed -i 's/^Version: .*/Version: 0.9.0/' "$old/DEBIAN/control"
echo "left by 0.9.0" >"$old/usr/share/doc/vantrel-update/only-in-0.9.0"
(cd "$old" && find usr -type f -exec md5sum {} + >DEBIAN/md5sums)
dpkg-deb -b --root-owner-group "$old" "$target/tmp/vantrel-update-old.deb" >/dev/null
cp "$deb" "$target/tmp/vantrel-update.deb"

in_root apt-get install -y -qq /tmp/vantrel-update-old.deb >"$work/install-old.log" 2>&1
check "install of the older version" 0 $?
in_root apt-get install -y -qq /tmp/vantrel-update.deb >"$work/upgrade.log" 2>&1
check "install over the older version" 0 $?
in_root dpkg-query -W -f='${Version}\n' vantrel-update >"$work/version.out"
check "the newer version is installed" 0 $? "$version" "$work/version.out"
[ ! -e "$target/usr/share/doc/vantrel-update/only-in-0.9.0" ] ||
  { echo "FAIL the upgrade left a file of the older version"; failures=$((failures + 1)); }
in_root apt-get install -y -qq --reinstall /tmp/vantrel-update.deb >"$work/reinstall.log" 2>&1
check "second install" 0 $?

# The installed programs.
in_root vantrel-update-cli --version >"$work/cli-version.out" 2>&1
check "installed vantrel-update-cli --version" 0 $? "vantrel-update-cli $version" "$work/cli-version.out"
in_root vantrel-update --version >"$work/window-version.out" 2>&1
check "installed vantrel-update --version" 0 $? "vantrel-update $version" "$work/window-version.out"
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
for program in vantrel-update vantrel-update-cli vantrel-sim; do
  in_root env MANPAGER=cat MANWIDTH=100 man "$program" >"$work/man-$program.out" 2>&1
  check "man $program" 0 $? "$program" "$work/man-$program.out" "--version" "$work/man-$program.out"
done
rule=$target/usr/lib/udev/rules.d/70-vantrel-update.rules
[ -f "$rule" ] || { echo "FAIL the udev rule is not installed"; failures=$((failures + 1)); }
# The rule's syntax: udevadm verify where there is one; otherwise the root's udevadm test reads every rule
# file and names each line it cannot parse. It runs on the root's own /dev and a read-only /sys, so that
# nothing it simulates reaches this machine's devices.
if udevadm verify --help >/dev/null 2>&1; then
  udevadm verify "$rule" >"$work/udev.out" 2>&1
  check "udev rule syntax (udevadm verify)" 0 $?
else
  umount "$target/dev/pts" "$target/dev" || exit 1
  mount --bind /sys "$target/sys" && mounts+=("$target/sys") && mount -o remount,ro,bind "$target/sys"
  device=$(ls -d /sys/class/tty/* | head -n 1)
  in_root udevadm test --action=add "$device" >"$work/udev.out" 2>&1
  status=$?
  umount "$target/sys"
  mount --bind /dev "$target/dev" && mount --bind /dev/pts "$target/dev/pts"
  parse_errors=$(grep -cF "70-vantrel-update.rules:" "$work/udev.out")
  check "udev rule syntax (udevadm test, no verify here)" "0 0" "$status $parse_errors" \
    "Reading rules file: /usr/lib/udev/rules.d/70-vantrel-update.rules" "$work/udev.out"
fi

# Removal while the window runs: the running program keeps its file open, the package goes all the same.
"${root_command[@]}" QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/tmp vantrel-update >"$work/window.out" 2>&1 &
window=$!
sleep 2
kill -0 "$window" 2>/dev/null || { echo "FAIL the window did not stay up:"; tail -n 5 "$work/window.out"; failures=$((failures + 1)); }
in_root apt-get remove -y -qq vantrel-update >"$work/remove.log" 2>&1
check "remove while the window runs" 0 $?
root_files >"$work/files-removed"
diff "$work/files-before" "$work/files-removed" >"$work/files-removed.diff"
check "remove leaves no file behind" 0 $? 
[ -s "$work/files-removed.diff" ] && sed 's/^/    /' "$work/files-removed.diff" | head -n 20
in_root apt-get purge -y -qq vantrel-update >"$work/purge.log" 2>&1
check "purge" 0 $?
kill "$window" 2>/dev/null
wait "$window" 2>/dev/null
window=""
in_root dpkg-query -W -f='${Status}\n' vantrel-update >"$work/status.out" 2>&1
grep -q 'install ok' "$work/status.out" && { echo "FAIL still installed after purge"; failures=$((failures + 1)); }
root_files >"$work/files-after"
diff "$work/files-before" "$work/files-after" >"$work/files-after.diff"
check "purge leaves no file behind" 0 $?
[ -s "$work/files-after.diff" ] && sed 's/^/    /' "$work/files-after.diff" | head -n 20
unmount_all
echo "Debian package stage: $(($(date +%s) - started)) s"

# ---------------------------------------------------------------------------------------------------------
if [ -z "${VANTREL_PACKAGE_NO_MSI:-}" ]; then
  bash tests/package/msi.sh "$root/build-package" "$work/msi" "$version"
  msi_status=$?
  [ $msi_status = 0 ] || failures=$((failures + 1))
fi

echo "$passed passed, $failures failed"
[ "$failures" = 0 ]
