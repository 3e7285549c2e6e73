#!/usr/bin/env bash
# The Windows installer under Wine: installed silently over an older version and a second time, the
# installed console front end updates the simulated logger (its pseudo-terminal linked as COM5), the
# Start-menu shortcut and the uninstall entry are there, and uninstalling leaves no file behind.
# Usage: msi.sh HOST_BUILD_DIR WORK_DIR VERSION   (after scripts/package.sh; the prefix is kept in
# HOST_BUILD_DIR/wineprefix and reused)
set -uo pipefail
host=$1
work=$2
version=$3
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
source "$source_dir/tests/support/e2e_check.sh"
msi=$(ls "$source_dir"/dist/vantrel-update-"$version"-x64.msi)
rm -rf "$work"
mkdir -p "$work"

# A prefix of its own, so that the Windows tests' prefix never holds an installed copy. No desktop
# entries for the shortcuts (winemenubuilder), no Mono or Gecko offers.
export WINEPREFIX=$host/wineprefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout 300 wineboot --init >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; exit 1; }
fi
sim=""
cleanup() {
  [ -z "$sim" ] || { kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; }
  rm -f "$WINEPREFIX/dosdevices/com5"
  wineserver -k >/dev/null 2>&1
}
trap cleanup EXIT
wineserver -w
wineserver -p >/dev/null 2>&1

installed="$WINEPREFIX/drive_c/Program Files/Vantrel Firmware Update"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
prefix_files() { (cd "$WINEPREFIX/drive_c" && find . \( -path ./windows -o -path './users/*/Temp' \) -prune -o -print | sort); }
entries() { wine reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r' | grep -c "DisplayName.*Vantrel Firmware Update"; }
# What the registry says of the installed product: its version, or nothing.
installed_version() {
  wine reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r' |
    awk '/^HKEY/ {key = $0} /DisplayName.*Vantrel Firmware Update/ {found[key] = 1}
         /DisplayVersion/ {v[key] = $NF} END {for (k in found) print v[k]}'
}

# Nothing of an earlier run.
if [ "$(entries)" != 0 ]; then wine msiexec /x "$msi" /qn >/dev/null 2>&1; fi
prefix_files >"$work/files-before"

# An older version: the same installer source, the version before.
old=$work/vantrel-update-0.9.0-x64.msi
(cd "$source_dir" && wixl --arch x64 -D Version=0.9.0 -D BinDir=build-win/bin \
  -D IconFile=build-win/ui/win32/vantrel-update.ico -D SourceDir=. -o "$old" packaging/windows/vantrel-update.wxs)
wine msiexec /i "$old" /qn >"$work/install-old.log" 2>&1
check "msi: install of the older version" 0 $?
[ "$(installed_version)" = 0.9.0 ] || { echo "FAIL msi: 0.9.0 not registered"; failures=$((failures + 1)); }

project_version=${version%%+*}
wine msiexec /i "$msi" /qn >"$work/upgrade.log" 2>&1
check "msi: install over the older version" 0 $?
[ "$(installed_version)" = "$project_version" ] && [ "$(entries)" = 1 ]
check "msi: one uninstall entry, of the newer version" 0 $?
wine msiexec /i "$msi" /qn >"$work/again.log" 2>&1
check "msi: second install" 0 $?
[ "$(entries)" = 1 ]
check "msi: still one uninstall entry" 0 $?

for file in vantrel-update.exe vantrel-update-cli.exe LICENSE.txt README.md; do
  [ -f "$installed/$file" ] || { echo "FAIL msi: $file not installed"; failures=$((failures + 1)); }
done
# Windows puts a per-machine product's shortcut into the common Start menu; Wine puts it into the user's.
find "$WINEPREFIX/drive_c" -path '*/Start Menu/Programs/Vantrel Firmware Update.lnk' | grep -q .
check "msi: Start-menu shortcut" 0 $?

cli='C:\Program Files\Vantrel Firmware Update\vantrel-update-cli.exe'
timeout 120 wine "$cli" --version </dev/null >"$work/version.out" 2>&1
check "msi: installed vantrel-update-cli.exe --version" 0 $? "vantrel-update-cli $version" "$work/version.out"
"$host/bin/vantrel-sim" >"$work/sim.out" 2>/dev/null &
sim=$!
for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
ln -sfn "$(head -n 1 "$work/sim.out")" "$WINEPREFIX/dosdevices/com5"
timeout 120 wine "$cli" --port COM5 --yes </dev/null >"$work/update.out" 2>"$work/update.err"
check "msi: whole update with the installed console front end" 0 $? "-> Vector table is programmed." "$work/update.out" \
  "succesfully completed." "$work/update.out"

wine msiexec /x "$msi" /qn >"$work/uninstall.log" 2>&1
check "msi: uninstall" 0 $?
prefix_files >"$work/files-after"
diff "$work/files-before" "$work/files-after" >"$work/files.diff"
check "msi: uninstall leaves no file behind" 0 $?
[ -s "$work/files.diff" ] && sed 's/^/    /' "$work/files.diff" | head -n 20
[ "$(entries)" = 0 ]
check "msi: no uninstall entry left" 0 $?

echo "msi: $passed passed, $failures failed"
[ "$failures" = 0 ]
