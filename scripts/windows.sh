#!/usr/bin/env bash
# Cross-builds the console updater and the core's tests for 64-bit Windows into build-win/ (mingw-w64,
# statically linked, no Qt), and, where Wine is installed, runs the tests and an end-to-end update under
# Wine against the simulated logger.
#
# build-win-host/ holds what must run on the build machine: embed_images, which turns the built-in
# images into sources, and vantrel-sim, the simulated logger the Windows updater talks to.
# Set VANTREL_WINDOWS_NO_WINE=1 to build only.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=2

packages=(g++-mingw-w64-x86-64-posix)
[ -n "${VANTREL_WINDOWS_NO_WINE:-}" ] || packages+=(wine wine64)
scripts/deps.sh "${packages[@]}"

host=$root/build-win-host
win=$root/build-win
deps=$win/deps
toolchain=$root/cmake/toolchain-mingw64.cmake

# Tools for the build machine.
cmake -S . -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-Wno-restrict \
  -DVANTREL_BUILD_TESTS=OFF -DVANTREL_BUILD_QT=OFF -DVANTREL_BUILD_BENCH=OFF >/dev/null
cmake --build "$host" -j "$jobs" --target embed_images vantrel-sim

# Windows packages in a prefix of their own. CLI11 and nlohmann-json are header-only: the Debian headers
# serve as they are, through links, so that the cross compiler never sees the build machine's
# /usr/include. GoogleTest is built from Debian's sources with Win32 threads, which is what its headers
# assume on mingw.
mkdir -p "$deps/include" "$deps/lib/cmake/CLI11" "$deps/lib/cmake/nlohmann_json"
ln -sfn /usr/include/CLI "$deps/include/CLI"
ln -sfn /usr/include/nlohmann "$deps/include/nlohmann"
header_only_package() {  # name target
  cat >"$deps/lib/cmake/$1/$1Config.cmake" <<CONFIG
# Written by scripts/windows.sh: the Debian headers, linked into this prefix.
if(NOT TARGET $2)
  add_library($2 INTERFACE IMPORTED)
  set_target_properties($2 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "\${CMAKE_CURRENT_LIST_DIR}/../../../include")
endif()
set($1_FOUND TRUE)
CONFIG
}
header_only_package CLI11 CLI11::CLI11
header_only_package nlohmann_json nlohmann_json::nlohmann_json

if [ ! -f "$deps/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$win/googletest" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$deps" -Dgtest_disable_pthreads=ON >/dev/null
  cmake --build "$win/googletest" -j "$jobs"
  cmake --install "$win/googletest" >/dev/null
fi

# The Windows build. With Wine present, ctest runs the test programs through it.
emulator=()
if [ -z "${VANTREL_WINDOWS_NO_WINE:-}" ] && command -v wine >/dev/null; then
  emulator=(-DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v wine)")
fi
# -Wno-restrict: GCC 12 warns falsely of overlapping copies inside std::string assignments.
cmake -S . -B "$win" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-Wno-restrict \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_FIND_ROOT_PATH="/usr/x86_64-w64-mingw32;$deps" \
  -DVANTREL_EMBED_IMAGES_TOOL="$host/bin/embed_images" \
  -DVANTREL_BUILD_QT=OFF -DVANTREL_BUILD_BENCH=OFF "${emulator[@]}" >/dev/null
# The updater and the tests of the core (link, engine, firmware, ui, in-process simulator) and of the
# Windows parts. Named one by one: test programs that need POSIX facilities are not among them.
core_tests=(link_tests worker_tests update_sequence_tests firmware_tests ui_tests sim_tests windows_tests)
cmake --build "$win" -j "$jobs" --target vantrel-update-cli "${core_tests[@]}"
