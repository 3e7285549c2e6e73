#!/usr/bin/env bash
# The packages as a user gets them: scripts/package.sh builds them, then
#  - the two .debs' files as shipped: desktop entry, metadata, icons, copyright, the documents the manual
#    pages name, bash completion (a table of what each word offers; the port names of --list-ports against
#    umockdev's serial devices), Debian's build flags and hardening-check, and the same .debs from a second
#    build in another folder (reproducible);
#  - the .debs in a clean Debian 12 root, installed, used, removed and upgraded (tests/package/debian-root.sh,
#    the one part that runs as root: through sudo for a normal user, skipped when root cannot be had);
#  - the .msi (tests/package/msi.sh).
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

scripts/deps.sh debootstrap desktop-file-utils appstream bash-completion umockdev xvfb python3 x11-utils wine wine64 \
  devscripts openssl ccache || exit 1
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
# The documents the manual pages point to are shipped.
unshipped=""
for page in "$shipped"/usr/share/man/man1/*.1.gz; do
  for named in $(zcat "$page" | sed 's/\\-/-/g; s/\\f[BIRP]//g' | grep -oE '/usr/share/doc/[^ ,;]*[a-z]'); do
    [ -f "$shipped$named" ] || unshipped+=" $named"
  done
done
[ -z "$unshipped" ]
check "the documents the manual pages name are shipped${unshipped:+ (not:$unshipped)}" 0 $?
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
# What a word offers, in a folder holding one file, bench.log: after an option that takes a value, only
# that value (file names, or nothing), never the start-up keys, which would be taken for the value.
# Rows: the words after the program ('' an empty last word) | must offer | must not offer, one word each.
completion_rows=(
  "--li|--list-ports --list-images|--yes"
  "--yes ''|mf:+ mf:- cc:- f:+|"
  "--yes mf:|+ -|mf:+"
  "--log ''|bench.log|mf:+ f:+"
  "--log be|bench.log|"
  "--file ''|bench.log|mf:+"
  "--port-serial ''||mf:+ f:+ bench.log"
  "--timeout ''||mf:+ f:+ bench.log"
  "--wait-for-port ''||mf:+ f:+ bench.log"
  "--max-restarts ''||mf:+ f:+ bench.log"
)
completion_folder=$work/completion-folder
mkdir -p "$completion_folder"
touch "$completion_folder/bench.log"
for row in "${completion_rows[@]}"; do
  IFS='|' read -r words offer refuse <<<"$row"
  read -ra line <<<"$words"
  [ "${line[-1]}" = "''" ] && line[-1]=""
  offered=$(cd "$completion_folder" && complete_line vantrel-update-cli "${line[@]}")
  wrong=""
  for word in $offer; do grep -qxF -- "$word" <<<"$offered" || wrong+=" missing $word"; done
  for word in $refuse; do grep -qxF -- "$word" <<<"$offered" && wrong+=" offers $word"; done
  [ -z "$wrong" ]
  check "completion after '$words'${wrong:+ (${wrong# }; offered: $(tr '\n' ' ' <<<"$offered"))}" 0 $?
done
export shipped
export -f complete_line
umockdev-run -d "$devices" -- bash -c 'complete_line vantrel-update-cli --port ""' >"$work/complete-ports.out" 2>&1
status=$?
other_words=$(grep -cv '^/dev/tty' "$work/complete-ports.out")
check "completion of --port: the port names only" "0 0" "$status $other_words" "/dev/ttyUSB0" "$work/complete-ports.out"

# Built as Debian builds: its flags alone (build type None: nothing of CMake's appended, such as -O3
# -DNDEBUG), and the programs hardened. Control-flow protection is not asked of them: Debian 12's
# dpkg-buildflags does not set -fcf-protection (its "branch" feature came later), so no Debian 12 package has it.
grep -hoE -- ' -(O[0-3s]|DNDEBUG)( |$)' build-package/build.ninja build-package/CMakeFiles/rules.ninja 2>/dev/null |
  sort | uniq -c >"$work/build-flags.out"
[ "$(awk '{print $2}' "$work/build-flags.out" | tr '\n' ' ')" = "-O2 " ]
check "package tree: -O2 from Debian's flags, no -O3 or -DNDEBUG after them" 0 $?
hardening-check --nocfprotection "$shipped/usr/bin/vantrel-update-cli" "$shipped/usr/bin/vantrel-sim" "$shipped/usr/bin/vantrel-update" \
  >"$work/hardening.out" 2>&1
check "hardening-check on the shipped programs" 0 $?

# Reproducible: the same sources built again in another folder give the same .debs, byte for byte. The copy
# lies inside this checkout, so that git gives it the same commit, time and version (+dirty included);
# the compiler cache (its paths relative to each folder) spares the second build most of its compiling.
second=$work/second-folder
mkdir -p "$second"
git ls-files -z --cached --others --exclude-standard | tar --null -T - --ignore-failed-read -cf - 2>/dev/null |
  tar -xf - -C "$second"
(cd "$second" && VANTREL_PACKAGE_NO_MSI=1 bash scripts/package.sh) >"$work/second-build.log" 2>&1
check "the packages built again in another folder" 0 $?
differing=""
for deb in "$console_deb" "$window_deb"; do
  cmp -s "$deb" "$second/$deb" && continue
  differing+=" $(basename "$deb")"
  if command -v diffoscope >/dev/null; then
    diffoscope --text "$work/diffoscope-$(basename "$deb").txt" "$deb" "$second/$deb" >/dev/null 2>&1
    head -n 40 "$work/diffoscope-$(basename "$deb").txt" | sed 's/^/    /'
  else
    echo "    $(basename "$deb") differs (install diffoscope to see where)"
  fi
done
[ -z "$differing" ]
check "reproducible: the .debs of both folders are identical${differing:+ (not:$differing)}" 0 $?
rm -rf "$second"

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
