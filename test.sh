#!/usr/bin/env bash
# Installs what is missing, builds the test build (AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs every test through ctest, under a virtual display for the window tests.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DCOG_SANITIZE=ON -DCOG_TESTS=ON
cmake --build build-test -j"$(nproc)"
cd build-test
# The status window loads system libraries that keep a few allocations until exit.
export LSAN_OPTIONS="suppressions=$PWD/../tests/lsan.supp:print_suppressions=0"
xvfb-run -a -s "-screen 0 1280x720x24" ctest --output-on-failure -j2 --timeout 300
