# Sourced by scripts/package.sh and tests/package/msi.sh, in the source folder.

# build_msi VERSION OUT: the installer of the cross build's programs (build-win/) as VERSION (three numbers),
# with the home and help pages of the Linux build's settings (build-package/). Signed when a certificate is
# given (see sign_file), the programs and the action DLL before they go in, the installer last.
build_msi() {
  local version=$1 out=$2 homepage help_page version4 bin=build-win/bin file
  homepage=$(sed -n 's/^VANTREL_HOMEPAGE:STRING=//p' build-package/CMakeCache.txt)
  help_page=$(sed -n 's/^VANTREL_HELP_PAGE:STRING=//p' build-package/CMakeCache.txt)
  if signing_wanted; then
    # Signed copies: the build's own files stay as the linker made them.
    bin=build-win/signed
    rm -rf "$bin" && mkdir -p "$bin" || return 1
    for file in vantrel-update.exe vantrel-update-cli.exe vantrel-installer-actions.dll; do
      sign_file "build-win/bin/$file" "$bin/$file" "$homepage" || return 1
    done
  fi
  # wixl finds its files by paths relative to the working folder only.
  wixl --arch x64 -D Version="$version" -D BinDir="$bin" -D IconFile=build-win/ui/win32/vantrel-update.ico \
    -D SourceDir=. -D HomePage="$homepage" -D HelpPage="$help_page" -o "$out" packaging/windows/vantrel-update.wxs ||
    return 1
  version4=$version
  while [ "$(tr -cd . <<<"$version4" | wc -c)" -lt 3 ]; do version4+=.0; done
  finish_msi "$out" "$version4" || return 1
  if signing_wanted; then
    # After the tables are mended: any change to the installer afterwards would break its signature.
    sign_file "$out" "$out.signed" "$homepage" && mv "$out.signed" "$out" && echo "Signed $out and the programs in it"
  else
    echo "Not signed: no certificate given (VANTREL_SIGN_PKCS12, or VANTREL_SIGN_CERT and VANTREL_SIGN_KEY)"
  fi
}

# Authenticode signing with osslsigncode, from the environment:
#   VANTREL_SIGN_PKCS12     the certificate and its key in one PKCS#12 file, or
#   VANTREL_SIGN_CERT       the certificate (with its chain), PEM or DER, and
#   VANTREL_SIGN_KEY        its private key;
#   VANTREL_SIGN_PASSWORD   the password of the PKCS#12 file or of the key, if any (given to osslsigncode
#                           through a pipe, never on its command line, where other users could read it);
#   VANTREL_SIGN_TIMESTAMP  an RFC 3161 time-stamp server's URL (optional: without it a signature is
#                           valid only as long as the certificate).
signing_wanted() { [ -n "${VANTREL_SIGN_PKCS12:-}" ] || [ -n "${VANTREL_SIGN_CERT:-}" ]; }

sign_file() {  # IN OUT URL
  local credentials=()
  if [ -n "${VANTREL_SIGN_PKCS12:-}" ]; then
    credentials=(-pkcs12 "$VANTREL_SIGN_PKCS12")
  else
    [ -n "${VANTREL_SIGN_KEY:-}" ] || { echo "VANTREL_SIGN_CERT is set but VANTREL_SIGN_KEY is not" >&2; return 1; }
    credentials=(-certs "$VANTREL_SIGN_CERT" -key "$VANTREL_SIGN_KEY")
  fi
  [ -z "${VANTREL_SIGN_PASSWORD:-}" ] || credentials+=(-readpass -)
  [ -z "${VANTREL_SIGN_TIMESTAMP:-}" ] || credentials+=(-ts "$VANTREL_SIGN_TIMESTAMP")
  rm -f "$2"
  printf '%s' "${VANTREL_SIGN_PASSWORD:-}" |
    osslsigncode sign "${credentials[@]}" -h sha256 -n "Vantrel Firmware Update" -i "$3" -in "$1" -out "$2" >/dev/null ||
    { echo "Signing $1 failed" >&2; return 1; }
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
