#!/usr/bin/env bash
# The door's WebSocket proxying side by side with nginx's: builds cogwell-door (Release) and the
# load tool, installs Debian's nginx when it is missing, and prints the table.
#   bench/door_proxy.sh [--players 500,1000,2000] [--seconds 10] [--proxy-core 0] [--load-core 1]
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v nginx >/dev/null && [ ! -x /usr/sbin/nginx ]; then
    SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
    $SUDO apt-get install -y -q nginx-light >/dev/null || $SUDO apt-get install -y -q nginx >/dev/null
fi
if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCOG_TESTS=OFF >/dev/null
fi
cmake --build build -j"$(nproc)" --target cogwell-door >/dev/null
g++ -O2 -std=c++20 -Wall -Wextra bench/door_proxy_bench.cpp -o build/door_proxy_bench
exec build/door_proxy_bench --door build/cogwell-door --nginx "$(command -v nginx || echo /usr/sbin/nginx)" "$@"
