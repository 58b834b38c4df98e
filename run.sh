#!/usr/bin/env bash
# Installs what is missing, builds the host in Release and runs it.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCOG_TESTS=OFF
cmake --build build -j"$(nproc)" --target cogwell-host
exec ./build/cogwell-host
