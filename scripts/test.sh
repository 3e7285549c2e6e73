#!/usr/bin/env bash
# Checks the sources' formatting, builds everything into build/ under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs the whole suite, then the threading tests under ThreadSanitizer (build-tsan/), a short run of every fuzz target,
# one update under valgrind, the Windows build under Wine, and the Debian and Windows packages.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
# The sources keep the layout .clang-format describes; a change that breaks it fails here, before the builds.
bash scripts/format.sh --check

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=address,undefined \
  -DVANTREL_BUILD_TESTS=ON -DVANTREL_BUILD_QT=ON -DVANTREL_BUILD_BENCH=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

# The tests labelled "threads": the worker, whole jobs on a worker thread, the simulator's backend.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=thread \
  -DVANTREL_BUILD_TESTS=ON -DVANTREL_BUILD_QT=OFF -DVANTREL_BUILD_BENCH=OFF
cmake --build build-tsan -j "$jobs" --target worker_tests update_sequence_tests sim_tests
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -L threads

# The fuzz targets keep building and running: clang, 5 s each, in build-fuzz/.
scripts/fuzz.sh 5
# One end-to-end update of the console front end under valgrind, without sanitizers, in build-valgrind/.
scripts/valgrind.sh

# The Windows build of the core, the window and the console front end, tested under Wine (scripts/windows.sh
# installs the cross compiler, Wine and the virtual X server it needs).
bash scripts/windows.sh

# The packages (scripts/package.sh): the .deb installed, used, upgraded and removed in a clean Debian 12
# root, the .msi the same way under Wine.
bash tests/package/run.sh
