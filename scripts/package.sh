#!/usr/bin/env bash
# Builds the installable packages into dist/:
#   vantrel-update_<version>_amd64.deb  with CPack, from an optimised build without sanitizers in
#                                       build-package/ (Debian's hardening flags), checked with lintian;
#   vantrel-update-<version>-x64.msi    with wixl, from the Windows cross build of scripts/windows.sh
#                                       (build-win/, built only, nothing run).
# Set VANTREL_PACKAGE_NO_MSI=1 to build the .deb alone.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/deps.sh help2man librsvg2-bin lintian dpkg-dev file wixl msitools
build=$root/build-package
dist=$root/dist
mkdir -p "$dist"
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=$root
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# Debian's flags: optimised, hardened (stack protector, fortified calls, read-only relocations, bind now).
# -Wno-restrict: GCC 12 warns falsely of overlapping copies inside std::string assignments.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr "${launcher[@]}" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS) -Wno-restrict" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  -DVANTREL_SANITIZE= -DVANTREL_BUILD_TESTS=OFF -DVANTREL_BUILD_BENCH=OFF -DVANTREL_BUILD_QT=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
version=$("$build/bin/vantrel-update-cli" --version | awk '{print $2}')
project_version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

rm -f "$build"/vantrel-update_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/vantrel-update_*.deb)
rm -f "$dist"/vantrel-update_*.deb
cp "$deb" "$dist/"
deb=$dist/$(basename "$deb")
echo "Built $deb"
# Errors stop the build; the warnings that remain are explained in the README.
lintian --fail-on error "$deb"

[ -z "${VANTREL_PACKAGE_NO_MSI:-}" ] || exit 0

VANTREL_WINDOWS_NO_WINE=1 bash scripts/windows.sh >/dev/null
msi=$dist/vantrel-update-$version-x64.msi
rm -f "$dist"/vantrel-update-*.msi
# wixl finds its files by paths relative to the working folder only.
wixl --arch x64 -D Version="$project_version" -D BinDir=build-win/bin -D IconFile=build-win/ui/win32/vantrel-update.ico \
  -D SourceDir=. -o "$msi" packaging/windows/vantrel-update.wxs
echo "Built $msi"
