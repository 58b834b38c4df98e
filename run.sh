#!/usr/bin/env bash
# Installs what is missing, builds the host (and the browser client it serves) in Release and runs it.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCOG_TESTS=OFF
cmake --build build -j"$(nproc)" --target cogwell-host
# The first address of this machine that other machines can reach; loopback when it has none.
address=$(hostname -I 2>/dev/null | awk '{print $1}')
# With a certificate the web port speaks only TLS, so the address to hand out is https://.
scheme=http
[ -n "${COGWELL_TLS_CERT:-}" ] && scheme=https
for arg in "$@"; do
  case "$arg" in --tls-cert|--tls-cert=*) scheme=https ;; esac
done
echo "Open ${scheme}://${address:-127.0.0.1}:8080/ in a browser to play"
exec ./build/cogwell-host "$@"
