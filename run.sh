#!/usr/bin/env bash
# Installs what is missing, builds the door, the host (its rooms) and the browser client in Release
# and runs the door: one address where players make a room and share its link.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCOG_TESTS=OFF
cmake --build build -j"$(nproc)" --target cogwell-door cogwell-host
# The first address of this machine that other machines can reach; loopback when it has none.
address=$(hostname -I 2>/dev/null | awk '{print $1}')
address=${address:-127.0.0.1}
log=build/cogwell-door.log

# Passes the door's lines (and its rooms') through and, once it has started, says where to play,
# with the port and scheme the door itself reports, and the same address as a QR code for phones;
# the whole log is also kept in $log.
announce() {
  local line
  : >"$log"
  while IFS= read -r line; do
    printf '%s\n' "$line"
    printf '%s\n' "$line" >>"$log"
    case "$line" in
      *"Door on "*)
        local url=${line##*Door on }
        url=${url%% *}
        local scheme=${url%%://*} port=${url##*:}
        port=${port%/}
        local open="$scheme://$address:$port/"
        printf '\n  Open %s in a browser to make a room or join one\n\n' "$open"
        ./build/cogwell-door --print-qr "$open" || true
        printf '\n' ;;
    esac
  done
}

# exec keeps the door on this process, so Ctrl-C and SIGTERM reach it directly (it stops its rooms).
exec ./build/cogwell-door "$@" > >(announce) 2>&1
