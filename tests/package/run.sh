#!/usr/bin/env bash
# The packages as a user gets them: scripts/package.sh builds them, then
#  - the two .debs' files as shipped: desktop entry, metadata, icons, copyright, bash completion (the
#    port names of --list-ports against umockdev's serial devices);
#  - the .debs in a clean Debian 12 root, installed, used, removed and upgraded (tests/package/debian-root.sh,
#    the one part that runs as root: through sudo for a normal user, skipped when root cannot be had);
#  - the .msi (tests/package/msi.sh).
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

scripts/deps.sh debootstrap desktop-file-utils appstream bash-completion umockdev xvfb x11-utils wine wine64 || exit 1
bash scripts/package.sh || { echo "FAIL building the packages"; exit 1; }

source tests/support/e2e_check.sh
version=$(build-package/bin/vantrel-update-cli --version | awk '{print $2}')
console_deb=$(ls dist/vantrel-update-cli_"$version"_*.deb)
window_deb=$(ls dist/vantrel-update_"$version"_*.deb)
devices=$root/tests/package/serial-devices.umockdev
work=$root/build-package/package-test
# Root's scratch is never in here (a removal never crosses into another file system all the same).
rm -rf --one-file-system "$work" || { echo "FAIL cannot remove $work: remove it as root"; exit 1; }
mkdir -p "$work"

# ---------------------------------------------------------------------------------------------------------
# The .debs' files as shipped.
shipped=$work/shipped
dpkg-deb -x "$console_deb" "$shipped"
dpkg-deb -x "$window_deb" "$shipped"
desktop-file-validate "$shipped"/usr/share/applications/*.desktop >"$work/desktop.out" 2>&1
check "desktop entry valid" 0 $?
metainfo=$shipped/usr/share/metainfo/com.velmora.VantrelUpdate.metainfo.xml
appstreamcli validate --no-net --pedantic "$metainfo" >"$work/metainfo.out" 2>&1
check "metainfo valid" 0 $? "$version" "$metainfo" "<screenshot" "$metainfo" '<url type="homepage">' "$metainfo"
missing_icons=""
for size in 16 24 32 48 64 128 256; do
  icon=$shipped/usr/share/icons/hicolor/${size}x$size/apps/com.velmora.VantrelUpdate.png
  file "$icon" 2>/dev/null | grep -q "$size x $size" || missing_icons+=" $size"
done
[ -f "$shipped/usr/share/icons/hicolor/scalable/apps/com.velmora.VantrelUpdate.svg" ] || missing_icons+=" scalable"
check "icons in every size${missing_icons:+ (missing:$missing_icons)}" 0 "${missing_icons:+1}${missing_icons:-0}"
# Each package's copyright names the libraries compiled into the programs, in the machine-readable form.
for package in vantrel-update-cli vantrel-update; do
  copyright=$shipped/usr/share/doc/$package/copyright
  head -n 1 "$copyright" 2>/dev/null | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/'
  check "$package: machine-readable copyright" 0 $? "University of Cincinnati" "$copyright" "Niels Lohmann" "$copyright"
done
# What each package holds: the console package no toolkit and no desktop file, the window's package no
# console program.
console_window_files=$(dpkg-deb -c "$console_deb" | grep -c -e 'bin/vantrel-update$' -e 'share/applications' -e 'icons/hicolor')
window_console_files=$(dpkg-deb -c "$window_deb" | grep -c -e 'bin/vantrel-update-cli$' -e 'bin/vantrel-sim$' -e 'rules.d')
console_qt=$(dpkg-deb -f "$console_deb" Depends | grep -ci qt)
check "console package without the toolkit, window package without the console programs" "0 0 0" \
  "$console_qt $console_window_files $window_console_files"
dpkg-deb -f "$window_deb" Depends Recommends Homepage >"$work/window-control.out"
check "window package's relations" 0 $? "vantrel-update-cli (= $version)" "$work/window-control.out" \
  "Recommends: qt6-wayland, hicolor-icon-theme" "$work/window-control.out" "Homepage: https://" "$work/window-control.out"

# Bash completion: the options and the start-up keys come from the program's --help, the ports from
# --list-ports (run against umockdev's serial devices, whose details must not become words).
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
export shipped
export -f complete_line
umockdev-run -d "$devices" -- bash -c 'complete_line vantrel-update-cli --port ""' >"$work/complete-ports.out" 2>&1
status=$?
other_words=$(grep -cv '^/dev/tty' "$work/complete-ports.out")
check "completion of --port: the port names only" "0 0" "$status $other_words" "/dev/ttyUSB0" "$work/complete-ports.out"

# ---------------------------------------------------------------------------------------------------------
# The .debs in a clean Debian 12 root: debootstrap, chroot and mounts need root, which the caller gives
# through scripts/as-root.sh (sudo for a normal user); without it that part is skipped, and says so.
source scripts/as-root.sh
skipped=""
if root_access "for the clean Debian 12 root of the package test"; then
  as_root env VANTREL_DEBOOTSTRAP_CACHE="${VANTREL_DEBOOTSTRAP_CACHE:-/var/cache/vantrel-debootstrap}" \
    bash tests/package/debian-root.sh "$root/$console_deb" "$root/$window_deb" "$version" "$work" "$(id -u):$(id -g)" ||
    failures=$((failures + 1))
else
  echo "needs root: skipped the .debs in a clean Debian 12 root (debootstrap, chroot, mounts): $root_refusal"
  skipped=", the clean Debian 12 root skipped (needs root)"
fi

# ---------------------------------------------------------------------------------------------------------
if [ -z "${VANTREL_PACKAGE_NO_MSI:-}" ]; then
  bash tests/package/msi.sh "$root/build-package" "$work/msi" "$version"
  msi_status=$?
  [ $msi_status = 0 ] || failures=$((failures + 1))
fi

echo "$passed passed, $failures failed$skipped"
[ "$failures" = 0 ]
