#!/usr/bin/env bash
# Installs what is missing, builds the game client (Release) and starts it:
#   ./play.sh NAME [HOST] [--tcp] [--port PORT] ...
set -euo pipefail
cd "$(dirname "$0")"
if [ $# -lt 1 ]; then
  echo "usage: ./play.sh NAME [HOST] [OPTIONS...]   (HOST defaults to 127.0.0.1; the client joins the" >&2
  echo "       host's WebSocket on port 8080, or with --tcp its game port 5556; see cogwell-client --help)" >&2
  exit 2
fi
name=$1
shift
host=127.0.0.1
if [ $# -gt 0 ] && [[ $1 != -* ]]; then
  host=$1
  shift
fi
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCOG_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target cogwell-client
exec ./build/cogwell-client --name "$name" --host "$host" "$@"
