#!/usr/bin/env bash
# Installs what is missing, builds the game client (Release) and starts it: ./play.sh NAME [HOST]
set -euo pipefail
cd "$(dirname "$0")"
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: ./play.sh NAME [HOST]   (HOST defaults to 127.0.0.1; the host listens on port 5556)" >&2
  exit 2
fi
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCOG_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target cogwell-client
exec ./build/cogwell-client --name "$1" --host "${2:-127.0.0.1}"
