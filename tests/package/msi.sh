#!/usr/bin/env bash
# The Windows installer under Wine: its tables as mended after wixl; installed silently over an older
# version, a second time, and then another build of the same version (which replaces the installed one);
# the installed console front end updates the simulated logger (its pseudo-terminal linked as COM5); the
# Start-menu shortcut and the uninstall entry with its links and folder are there; an installation while a
# job runs waits for the job, which ends undisturbed, and closes the idle window, saying so in its log;
# uninstalling leaves no file behind.
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
xvfb=""
cleanup() {
  for pid in $sim $xvfb; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  rm -f "$WINEPREFIX/dosdevices/com5"
  wineserver -k >/dev/null 2>&1
}
trap cleanup EXIT
wineserver -w
wineserver -p >/dev/null 2>&1

installed="$WINEPREFIX/drive_c/Program Files/Vantrel Firmware Update"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
# (The operator's job history is the operator's, which no removal takes away: not the installer's files.)
prefix_files() {
  (cd "$WINEPREFIX/drive_c" && find . \( -path ./windows -o -path './users/*/Temp' -o -path './users/*/AppData/Local/vantrel' \) \
    -prune -o -print | sort)
}
entries() { wine reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r' | grep -c "DisplayName.*Vantrel Firmware Update"; }
# What the registry says of the installed product: its version, or nothing.
installed_version() {
  wine reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r' |
    awk '/^HKEY/ {key = $0} /DisplayName.*Vantrel Firmware Update/ {found[key] = 1}
         /DisplayVersion/ {v[key] = $NF} END {for (k in found) print v[k]}'
}

# Nothing of an earlier run.
if [ "$(entries)" != 0 ]; then wine msiexec /x "$msi" /qn >/dev/null 2>&1; fi
rm -rf "$WINEPREFIX/drive_c/VantrelBench"
prefix_files >"$work/files-before"

# An older version: the same installer source, the version before.
old=$work/vantrel-update-0.9.0-x64.msi
project_version=${version%%+*}
rebuild=$work/vantrel-update-$project_version-rebuild-x64.msi
# The second build is signed as scripts/package.sh signs a release, with a throw-away certificate; the
# signed installer is the one installed while a job runs, and removed last.
signer=$work/signer
mkdir -p "$signer"
openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -subj "/CN=Vantrel package test" -addext extendedKeyUsage=codeSigning \
  -keyout "$signer/key.pem" -passout pass:test-only -out "$signer/cert.pem" >"$signer/openssl.log" 2>&1
check "msi: a throw-away signing certificate" 0 $?
(cd "$source_dir" && source packaging/windows/build-msi.sh && build_msi 0.9.0 "$old" >"$work/build-old.log" 2>&1 &&
  VANTREL_SIGN_CERT=$signer/cert.pem VANTREL_SIGN_KEY=$signer/key.pem VANTREL_SIGN_PASSWORD=test-only \
    build_msi "$project_version" "$rebuild" >"$work/build-rebuild.log" 2>&1)
check "msi: older version and a second, signed build of this version" 0 $? \
  "Not signed: no certificate given" "$work/build-old.log" "Signed $rebuild" "$work/build-rebuild.log"
# Each signature checked against the certificate: the installer, and the programs and the action as they
# are inside it.
msiextract -C "$signer/files" "$rebuild" >/dev/null
unsigned=""
for file in "$rebuild" "$(find "$signer/files" -name vantrel-update.exe)" "$(find "$signer/files" -name vantrel-update-cli.exe)" \
  "$source_dir/build-win/signed/vantrel-installer-actions.dll"; do
  osslsigncode verify -CAfile "$signer/cert.pem" -in "$file" >"$signer/verify.out" 2>&1 || unsigned+=" $(basename "$file")"
done
[ -z "$unsigned" ]
check "msi: osslsigncode verifies the signed installer and its programs${unsigned:+ (not:$unsigned)}" 0 $?
unsigned_msi=0
osslsigncode verify -CAfile "$signer/cert.pem" -in "$old" >/dev/null 2>&1 || unsigned_msi=1
check "msi: a build without a certificate is unsigned" 1 "$unsigned_msi"

# The tables as mended: the installed product of this version is found for replacement, the downgrade
# check does not take it for a newer one, the old product goes before anything is installed, and the
# programs carry their versions (those of their version resources).
msiinfo export "$msi" Upgrade | tr -d '\r' >"$work/upgrade-table.out"
msiinfo export "$msi" File | tr -d '\r' >"$work/file-table.out"
msiinfo export "$msi" InstallExecuteSequence | tr -d '\r' | sort -t$'\t' -k3 -n >"$work/sequence.out"
version4=$project_version
while [ "$(tr -cd . <<<"$version4" | wc -c)" -lt 3 ]; do version4+=.0; done
awk -F'\t' '$7 == "WIX_UPGRADE_DETECTED" {print $3, $5}' "$work/upgrade-table.out" >"$work/upgrade-row.out"
awk -F'\t' '$7 == "WIX_DOWNGRADE_DETECTED" {print $2, $5}' "$work/upgrade-table.out" >>"$work/upgrade-row.out"
awk -F'\t' '$3 ~ /\.exe$/ {print $3, $5, $6}' "$work/file-table.out" >"$work/file-versions.out"
awk -F'\t' '{print $1}' "$work/sequence.out" |
  grep -xE 'LaunchConditions|CostFinalize|CloseRunningWindow|InstallValidate|RemoveExistingProducts|InstallInitialize|InstallFiles' |
  tr '\n' ' ' >"$work/sequence-order.out"
check "msi: Upgrade rows include this version, exclude it from downgrades" 0 $? \
  "$project_version 513" "$work/upgrade-row.out" "$project_version 2" "$work/upgrade-row.out"
# The window is closed once the launch conditions have passed and the folder is resolved, before the
# files in use are looked for.
check "msi: the window closed after the checks and the folder, the old product right after InstallValidate" 0 $? \
  "LaunchConditions CostFinalize CloseRunningWindow InstallValidate RemoveExistingProducts InstallInitialize InstallFiles " \
  "$work/sequence-order.out"
check "msi: File table versions" 0 $? "vantrel-update.exe $version4 1033" "$work/file-versions.out" \
  "vantrel-update-cli.exe $version4 1033" "$work/file-versions.out"
strings -el "$source_dir/build-win/bin/vantrel-update-cli.exe" >"$work/cli-resource.out"
check "msi: vantrel-update-cli.exe has a version resource" 0 $? "$project_version" "$work/cli-resource.out" \
  "vantrel-update-cli.exe" "$work/cli-resource.out" "Velmora" "$work/cli-resource.out"
wine msiexec /i "$old" /qn >"$work/install-old.log" 2>&1
check "msi: install of the older version" 0 $?
[ "$(installed_version)" = 0.9.0 ] || { echo "FAIL msi: 0.9.0 not registered"; failures=$((failures + 1)); }

wine msiexec /i "$msi" /qn >"$work/upgrade.log" 2>&1
check "msi: install over the older version" 0 $?
[ "$(installed_version)" = "$project_version" ] && [ "$(entries)" = 1 ]
check "msi: one uninstall entry, of the newer version" 0 $?
wine msiexec /i "$msi" /qn >"$work/again.log" 2>&1
check "msi: second install" 0 $?
[ "$(entries)" = 1 ]
check "msi: still one uninstall entry" 0 $?

for file in vantrel-update.exe vantrel-update-cli.exe LICENSE.txt README.md THIRD-PARTY-NOTICES.txt; do
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

# The uninstall entry: one, with the links and the folder an administrator looks for.
wine reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r' >"$work/uninstall-entry.out"
check "msi: uninstall entry's HelpLink, URLInfoAbout, InstallLocation" 0 $? \
  "HelpLink" "$work/uninstall-entry.out" "URLInfoAbout" "$work/uninstall-entry.out" \
  'C:\Program Files\Vantrel Firmware Update\' "$work/uninstall-entry.out"

# Another build of the same version while a job runs and the window is open (on a virtual X display):
# the installer waits for the job, which ends as it would have, then asks the idle window to close, and
# replaces the installed product (one uninstall entry, of the new build). The job runs in the console
# front end, whose jobs are marked as the window's are; the simulated converter's latency timer makes it
# last long enough.
source "$source_dir/tests/support/virtual_display.sh"
start_virtual_display "$work" || { echo "FAIL msi: no X display"; failures=$((failures + 1)); }
xvfb=$virtual_display_pid
wine 'C:\Program Files\Vantrel Firmware Update\vantrel-update.exe' >"$work/window.out" 2>&1 &
for _ in $(seq 300); do xwininfo -root -tree 2>/dev/null | grep -q '"Vantrel Firmware Update"' && break; sleep 0.1; done
xwininfo -root -tree 2>/dev/null | grep -q '"Vantrel Firmware Update"'
check "msi: the installed window is open" 0 $?
kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null
"$host/bin/vantrel-sim" --usb-latency 20 >"$work/sim-slow.out" 2>/dev/null &
sim=$!
for _ in $(seq 100); do [ -s "$work/sim-slow.out" ] && break; sleep 0.05; done
ln -sfn "$(head -n 1 "$work/sim-slow.out")" "$WINEPREFIX/dosdevices/com5"
timeout 300 wine "$cli" --port COM5 --yes </dev/null >"$work/busy-update.out" 2>"$work/busy-update.err" &
job=$!
for _ in $(seq 300); do grep -qs . "$work/busy-update.out" && break; sleep 0.1; done
product_before=$(wine reg query "$uninstall_key" 2>/dev/null | tr -d '\r' | grep -F '{' | sort)
wine msiexec /i "$rebuild" /qn /l*v 'C:\vantrel-busy-install.log' >"$work/busy-install.out" 2>&1
install_status=$?
kill -0 "$job" 2>/dev/null
job_running_after_install=$?
wait "$job"
job_status=$?
# The log is UTF-16 or the ANSI code page, as msiexec chooses: its ASCII text either way, without the NULs.
tr -d '\0\r' <"$WINEPREFIX/drive_c/vantrel-busy-install.log" >"$work/busy-install.log"
rm -f "$WINEPREFIX/drive_c/vantrel-busy-install.log"
check "msi: install while a job runs: the job ends undisturbed" "0 1" "$job_status $job_running_after_install" \
  "succesfully completed." "$work/busy-update.out"
check "msi: install while a job runs: the installer waited and closed the idle window, and says so" 0 "$install_status" \
  "waiting until the job has ended and its verdict is dismissed" "$work/busy-install.log" \
  "the job has ended and no verdict is on screen" "$work/busy-install.log" \
  "asking the open window to close" "$work/busy-install.log" "the window has closed" "$work/busy-install.log"
xwininfo -root -tree 2>/dev/null | grep -q '"Vantrel Firmware Update"'
check "msi: the window is closed" 1 $?
product_after=$(wine reg query "$uninstall_key" 2>/dev/null | tr -d '\r' | grep -F '{' | sort)
[ "$(entries)" = 1 ] && [ "$(installed_version)" = "$project_version" ] && [ "$product_before" != "$product_after" ]
check "msi: another build of the same version replaces the installed one (one uninstall entry)" 0 $?

window_open() { xwininfo -root -tree 2>/dev/null | grep -q '"Vantrel Firmware Update"'; }
start_window() {  # the program's Windows path
  wine "$1" >>"$work/window.out" 2>&1 &
  for _ in $(seq 300); do window_open && return 0; sleep 0.1; done
  return 1
}
# msiexec with its log in $work/NAME.log (ASCII); the status is msiexec's.
msiexec_logged() {  # NAME msiexec-arguments...
  local name=$1 status
  shift
  wine msiexec "$@" /qn /l*v "C:\\vantrel-$name.log" >"$work/$name.out" 2>&1
  status=$?
  tr -d '\0\r' <"$WINEPREFIX/drive_c/vantrel-$name.log" >"$work/$name.log" 2>/dev/null
  rm -f "$WINEPREFIX/drive_c/vantrel-$name.log"
  return $status
}
# A verdict on screen: the installer waits until the operator has dismissed it (the window holds the
# job marker until then), and only then closes the window. The window is driven by window_probe.exe of the
# Windows tests, through its controls' messages: the port typed, Update and Yes pressed, then the verdict's
# OK once the installer has waited a while.
probe() { wine "$source_dir/build-win/tests/window_probe.exe" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
shown() {  # top-level class and text pattern, up to $2 tries of 0.2 s
  for _ in $(seq "${2:-300}"); do probe list | grep -qE "$1" && return 0; sleep 0.2; done
  return 1
}
kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null
"$host/bin/vantrel-sim" >"$work/sim-verdict.out" 2>/dev/null &
sim=$!
for _ in $(seq 100); do [ -s "$work/sim-verdict.out" ] && break; sleep 0.05; done
ln -sfn "$(head -n 1 "$work/sim-verdict.out")" "$WINEPREFIX/dosdevices/com5"
verdict_ok=1
start_window 'C:\Program Files\Vantrel Firmware Update\vantrel-update.exe' &&
  probe settext VantrelMain 205 COM5 && probe press VantrelMain 201 && shown 'window #32770 ' 100 &&
  probe press '#32770' 6 && shown 'window VantrelMessage ' 600 && shown 'text=Update Vantrel .*succesfully completed' 50 ||
  { verdict_ok=0; probe list | grep -E '^window' | sed 's/^/    /'; }
msiexec_logged verdict-shown /i "$rebuild" &
installer=$!
# Until the action says that it waits (up to two minutes), and a moment more.
for _ in $(seq 600); do
  [ -f "$WINEPREFIX/drive_c/vantrel-verdict-shown.log" ] &&
    tr -d '\0' <"$WINEPREFIX/drive_c/vantrel-verdict-shown.log" | grep -q "verdict is dismissed" && break
  sleep 0.2
done
sleep 2
kill -0 "$installer" 2>/dev/null
waiting=$?
probe list | grep -q 'window VantrelMessage '
still_shown=$?
probe press VantrelMessage 1
wait "$installer"
install_status=$?
window_open
window_after=$?
[ "$verdict_ok $waiting $still_shown $install_status $window_after" = "1 0 0 0 1" ]
check "msi: install while the verdict is on screen: waits until it is dismissed, then closes the window" 0 $? \
  "waiting until the job has ended and its verdict is dismissed" "$work/verdict-shown.log" \
  "the job has ended and no verdict is on screen" "$work/verdict-shown.log" "the window has closed" "$work/verdict-shown.log"
[ "$verdict_ok $waiting $still_shown $install_status $window_after" = "1 0 0 0 1" ] ||
  echo "    verdict shown $verdict_ok, installer waiting $waiting, verdict still shown $still_shown, installer $install_status, window gone $window_after (0 = yes)"

# The installer with an idle window open: a refused downgrade leaves it alone (the launch conditions come
# first); an upgrade and a removal find it, also in a folder of the administrator's choosing, and close it.
# The custom folder's removal is told the folder, as a script would: Wine resolves a removal's folder from
# the installer's tables rather than from where the components are (as Windows does), and would leave the
# files there.
closed_rows=(
  "downgrade|/i $old|refused|open"
  "uninstall|/x $rebuild|0|closed"
  "custom-install|/i $msi INSTALLDIR=C:\\VantrelBench|0|none"
  "custom-upgrade|/i $rebuild INSTALLDIR=C:\\VantrelBench|0|closed"
  "custom-uninstall|/x $rebuild INSTALLDIR=C:\\VantrelBench|0|closed"
)
custom='C:\VantrelBench\vantrel-update.exe'
for row in "${closed_rows[@]}"; do
  IFS='|' read -r name arguments expected window <<<"$row"
  read -ra arguments <<<"$arguments"
  program='C:\Program Files\Vantrel Firmware Update\vantrel-update.exe'
  [[ $name == custom-* ]] && program=$custom
  opened=1
  # (The downgrade's window is still open for the removal after it.)
  if [ "$window" != none ] && ! window_open; then start_window "$program" || opened=0; fi
  msiexec_logged "$name" "${arguments[@]}"
  status=$?
  [ "$expected" = refused ] && { [ $status != 0 ] && status=refused; }
  seen=none
  if [ "$window" != none ]; then window_open && seen=open || seen=closed; fi
  closing_said=0
  grep -qF "asking the open window to close" "$work/$name.log" && grep -qF "the window has closed" "$work/$name.log" &&
    closing_said=1
  [ "$opened $status $seen $closing_said" = "1 $expected $window $([ "$window" = closed ] && echo 1 || echo 0)" ]
  check "msi: $name: $expected, the window $seen (expected: $window), its closing logged: $closing_said" 0 $?
done

prefix_files >"$work/files-after"
diff "$work/files-before" "$work/files-after" >"$work/files.diff"
check "msi: uninstall leaves no file behind" 0 $?
[ -s "$work/files.diff" ] && sed 's/^/    /' "$work/files.diff" | head -n 20
[ "$(entries)" = 0 ]
check "msi: no uninstall entry left" 0 $?

echo "msi: $passed passed, $failures failed"
[ "$failures" = 0 ]
