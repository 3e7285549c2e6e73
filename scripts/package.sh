#!/usr/bin/env bash
# Builds the installable packages into dist/:
#   vantrel-update-cli_<version>_amd64.deb  the console front end, the simulator and the udev rule, and
#   vantrel-update_<version>_amd64.deb      the window, with CPack, from an optimised build without
#                                           sanitizers in build-package/ (Debian's hardening flags),
#                                           checked with lintian --pedantic (no tag but the overrides
#                                           in packaging/linux/*.lintian-overrides);
#   vantrel-update-<version>-x64.msi        with wixl, from the Windows cross build of scripts/windows.sh
#                                           (build-win/, built only, nothing run), its tables mended
#                                           with msibuild; signed with Authenticode when a
#                                           certificate is given (VANTREL_SIGN_*: build-msi.sh).
# Set VANTREL_PACKAGE_NO_MSI=1 to build the .deb alone. SOURCE_DATE_EPOCH, if set, is the packages' time
# (by default the last commit's).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/deps.sh help2man librsvg2-bin lintian dpkg-dev file wixl msitools osslsigncode
build=$root/build-package
dist=$root/dist
mkdir -p "$dist"
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=$root
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# Every time stamp in the packages (files, change log, manual pages, archive members) is the last commit's,
# so that two builds of one commit, in any folder, give the same bytes; a SOURCE_DATE_EPOCH given wins.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) || SOURCE_DATE_EPOCH=
  [ -n "$SOURCE_DATE_EPOCH" ] || echo "Not a git tree and no SOURCE_DATE_EPOCH: the packages carry today's time stamps"
fi
[ -z "$SOURCE_DATE_EPOCH" ] || export SOURCE_DATE_EPOCH

# Debian's flags, as Debian builds: optimised, hardened (stack protector, fortified calls, read-only
# relocations, bind now), and build type None, so that CMake appends nothing of its own after them (Release
# would add -O3 -DNDEBUG). -ffile-prefix-map (from dpkg-buildflags) keeps the checkout's folder out of the
# programs. -Wno-restrict: GCC 12 warns falsely of overlapping copies inside std::string assignments.
# -fno-ident and the strip of packaging/linux/strip-for-debian: no .comment section naming the compilers.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr "${launcher[@]}" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS) -Wno-restrict -fno-ident" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" -DCMAKE_STRIP="$root/packaging/linux/strip-for-debian" \
  -DVANTREL_SANITIZE= -DVANTREL_BUILD_TESTS=OFF -DVANTREL_BUILD_BENCH=OFF -DVANTREL_BUILD_QT=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
version=$("$build/bin/vantrel-update-cli" --version | awk '{print $2}')
project_version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

rm -f "$build"/vantrel-update*.deb "$dist"/vantrel-update*.deb
(cd "$build" && cpack -G DEB >/dev/null)
for deb in "$build"/vantrel-update-cli_*.deb "$build"/vantrel-update_*.deb; do
  cp "$deb" "$dist/"
  echo "Built $dist/$(basename "$deb")"
done
# Any tag at all stops the build, down to the pedantic ones; the overrides are explained in
# docs/packaging.md.
lintian --display-info --pedantic --fail-on error,warning,info,pedantic "$dist"/vantrel-update-cli_*.deb "$dist"/vantrel-update_*.deb

[ -z "${VANTREL_PACKAGE_NO_MSI:-}" ] || exit 0

source packaging/windows/build-msi.sh
VANTREL_WINDOWS_NO_WINE=1 bash scripts/windows.sh >/dev/null
# The installer's own action, which the Windows build leaves to the installer.
cmake --build build-win -j "$(nproc)" --target vantrel-installer-actions >/dev/null
msi=$dist/vantrel-update-$version-x64.msi
rm -f "$dist"/vantrel-update-*.msi
build_msi "$project_version" "$msi"
echo "Built $msi"
