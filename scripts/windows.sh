#!/usr/bin/env bash
# Cross-builds the window (vantrel-update.exe, Win32 controls), the console updater and the core's tests
# for 64-bit Windows into build-win/ (mingw-w64, statically linked, no Qt), and runs the tests and
# end-to-end updates under Wine against the simulated logger, the window's on a virtual X server.
#
# build-win-host/ holds what must run on the build machine: embed_images, which turns the built-in
# images into sources, vantrel-sim, the simulated logger the Windows updater talks to, and the Linux
# vantrel-update-cli, whose JSON Lines the Windows one must repeat.
# Set VANTREL_WINDOWS_NO_WINE=1 to build only.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=2

# rsvg-convert and ImageMagick draw the program's icon (ImageMagick also takes the end-to-end screenshots).
packages=(g++-mingw-w64-x86-64-posix librsvg2-bin imagemagick)
[ -n "${VANTREL_WINDOWS_NO_WINE:-}" ] || packages+=(wine wine64 fonts-wine xvfb xdotool)
scripts/deps.sh "${packages[@]}"

host=$root/build-win-host
win=$root/build-win
deps=$win/deps
toolchain=$root/cmake/toolchain-mingw64.cmake
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=$root
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# Tools for the build machine.
cmake -S . -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-Wno-restrict "${launcher[@]}" \
  -DVANTREL_BUILD_TESTS=OFF -DVANTREL_BUILD_QT=OFF -DVANTREL_BUILD_BENCH=OFF >/dev/null
cmake --build "$host" -j "$jobs" --target embed_images vantrel-sim vantrel-update-cli

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

# -Wno-restrict: GCC 12 warns falsely of overlapping copies inside std::string assignments.
cmake -S . -B "$win" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-Wno-restrict "${launcher[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_FIND_ROOT_PATH="/usr/x86_64-w64-mingw32;$deps" \
  -DVANTREL_EMBED_IMAGES_TOOL="$host/bin/embed_images" \
  -DVANTREL_BUILD_QT=OFF -DVANTREL_BUILD_BENCH=OFF >/dev/null
# The updater and the tests of the core (link, engine, firmware, ui, in-process simulator) and of the
# Windows parts. Named one by one: test programs that need POSIX facilities are not among them.
core_tests=(link_tests worker_tests update_sequence_tests firmware_tests app_tests ui_tests sim_tests windows_tests
  win32_window_tests)
cmake --build "$win" -j "$jobs" --target vantrel-update vantrel-update-cli window_probe "${core_tests[@]}"

# Both programs stand alone: nothing but the system's own DLLs may be imported.
for exe in "$win/bin/vantrel-update.exe" "$win/bin/vantrel-update-cli.exe"; do
  foreign=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p' |
    grep -viE '^(kernel32|user32|gdi32|comctl32|comdlg32|shell32|advapi32|setupapi|cfgmgr32|msvcrt|ws2_32|ole32|api-ms-win-.*)\.dll$' || true)
  if [ -n "$foreign" ]; then
    echo "$exe needs DLLs that are not the system's: $foreign"
    exit 1
  fi
done

if [ -n "${VANTREL_WINDOWS_NO_WINE:-}" ]; then
  echo "Built $win/bin/vantrel-update.exe and vantrel-update-cli.exe; nothing was run."
  exit 0
fi

# Windows need a display: a virtual X server of our own.
source "$root/tests/support/virtual_display.sh"
start_virtual_display "$win" || exit 1
xvfb=$virtual_display_pid
trap 'kill "$xvfb" 2>/dev/null' EXIT

# A 64-bit prefix of our own. Without the overrides the first start offers to install Mono and Gecko,
# which nothing here needs.
export WINEPREFIX=$win/wineprefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
timeout 300 wineboot --init >"$win/wineboot.log" 2>&1 || { cat "$win/wineboot.log"; exit 1; }
# Title-bar buttons are drawn with Marlett, which Debian ships beside Wine but does not put in a prefix.
marlett=/usr/share/wine/fonts/marlett.ttf
[ -f "$marlett" ] && cp -n "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/"
# One server for all runs, started once wineboot's has saved the prefix and gone, so that its messages do
# not end up in the tests' output.
wineserver -w
wineserver -p >/dev/null 2>&1
# Windows in a desktop of Wine's own, which draws their frames as Windows does; on a bare X server, without
# a window manager, Wine waits for every window to be mapped by one that never comes.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Vantrel /f >/dev/null
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Vantrel /d 1280x1024 /f >/dev/null

failed=()
for test in "${core_tests[@]}"; do
  echo "== $test (Wine)"
  # Generous: the slowest of them takes seconds; a hang must not hold the script for ever.
  if ! timeout 600 wine "$win/tests/$test.exe" --gtest_brief=1 </dev/null; then failed+=("$test"); fi
done

echo "== end to end (Wine)"
bash tests/windows/e2e.sh "$win/bin" "$host/bin" || failed+=(end-to-end)

echo "== the window, end to end (Wine)"
bash tests/windows/window_e2e.sh "$win/bin" "$win/tests" "$host/bin" "$win/window-e2e" || failed+=(window-end-to-end)

if ((${#failed[@]})); then
  echo "Windows tests failed: ${failed[*]}"
  exit 1
fi
echo "Windows build and tests passed."
