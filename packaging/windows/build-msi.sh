# Sourced by scripts/package.sh and tests/package/msi.sh, in the source folder.

# build_msi VERSION OUT: the installer of the cross build's programs (build-win/) as VERSION (three numbers),
# with the home and help pages of the Linux build's settings (build-package/).
build_msi() {
  local version=$1 out=$2 homepage help_page version4
  homepage=$(sed -n 's/^VANTREL_HOMEPAGE:STRING=//p' build-package/CMakeCache.txt)
  help_page=$(sed -n 's/^VANTREL_HELP_PAGE:STRING=//p' build-package/CMakeCache.txt)
  # wixl finds its files by paths relative to the working folder only.
  wixl --arch x64 -D Version="$version" -D BinDir=build-win/bin -D IconFile=build-win/ui/win32/vantrel-update.ico \
    -D SourceDir=. -D HomePage="$homepage" -D HelpPage="$help_page" -o "$out" packaging/windows/vantrel-update.wxs ||
    return 1
  version4=$version
  while [ "$(tr -cd . <<<"$version4" | wc -c)" -lt 3 ]; do version4+=.0; done
  finish_msi "$out" "$version4"
}

# wixl's tables, mended with msibuild (msitools), each with its reason:
#  - Upgrade: the row that finds the installed product to replace excludes the installer's own version;
#    with the version included (msidbUpgradeAttributesVersionMaxInclusive), any build of the same or an
#    older version is replaced (the downgrade row's minimum stays exclusive);
#  - InstallExecuteSequence: wixl puts RemoveExistingProducts after InstallFinalize, where a same-version
#    build would keep the installed programs (equal file versions are not copied), and ignores the place
#    asked for the action that sets the uninstall entry's InstallLocation: the old product goes right after
#    InstallValidate, before anything is installed, and InstallLocation is set after CostFinalize;
#  - File: the programs' versions (from their version resources) and language, which wixl leaves empty;
#    versioned files carry no hash (MsiFileHash is for unversioned files).
# (The exported tables end their lines with CR LF.)
finish_msi() {  # MSI VERSION4
  local msi version4=$2 tables
  msi=$(realpath "$1")
  tables=$(mktemp -d)
  (
    cd "$tables" || exit 1
    for table in Upgrade InstallExecuteSequence File MsiFileHash; do msiinfo export "$msi" "$table" >"$table.idt" || exit 1; done
    awk -F'\t' -v OFS='\t' 'NR > 3 && $7 ~ /^WIX_UPGRADE_DETECTED\r?$/ && $5 % 1024 < 512 {$5 += 512} {print}' \
      Upgrade.idt >t && mv t Upgrade.idt
    awk -F'\t' -v OFS='\t' 'NR > 3 && $1 == "RemoveExistingProducts" {$3 = 1401}
      NR > 3 && $1 == "SetInstallLocation" {$3 = 1001} {print}' InstallExecuteSequence.idt >t && mv t InstallExecuteSequence.idt
    awk -F'\t' -v OFS='\t' -v version="$version4" 'NR > 3 && $3 ~ /\.exe$/ {$5 = version; $6 = "1033"} {print}' \
      File.idt >t && mv t File.idt
    awk -F'\t' 'NR <= 3 || $1 !~ /Exe$/' MsiFileHash.idt >t && mv t MsiFileHash.idt
    msibuild "$msi" -q "DROP TABLE MsiFileHash" &&
      msibuild "$msi" -i Upgrade.idt -i InstallExecuteSequence.idt -i File.idt -i MsiFileHash.idt
  )
  local status=$?
  rm -rf "$tables"
  return $status
}
