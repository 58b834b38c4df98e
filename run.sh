#!/usr/bin/env bash
# Installs what is missing, builds the host (and the browser client it serves) in Release and runs it.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCOG_TESTS=OFF
cmake --build build -j"$(nproc)" --target cogwell-host
# The first address of this machine that other machines can reach; loopback when it has none.
address=$(hostname -I 2>/dev/null | awk '{print $1}')
address=${address:-127.0.0.1}
# People read this terminal: the state changes, not the per-frame traces, unless asked for.
options=("$@")
level_given=${COGWELL_LOG_LEVEL:-}
for arg in "$@"; do
  case "$arg" in --log-level|--log-level=*) level_given=yes ;; esac
done
[ -z "$level_given" ] && options=(--log-level info "${options[@]}")
log=build/cogwell-host.log

# Passes the host's lines through and, once it has started, says where to play, with the port and
# scheme the host itself reports; the whole log is also kept in $log.
announce() {
  local token="" line
  : >"$log"
  while IFS= read -r line; do
    printf '%s\n' "$line"
    printf '%s\n' "$line" >>"$log"
    case "$line" in
      *"Admin token: "*) token=${line##*Admin token: } ;;
      *"Web client on "*)
        local url=${line##*Web client on }
        local scheme=${url%%://*} port=${url##*:}
        port=${port%/}
        printf '\n  Open %s://%s:%s/ in a browser to play\n' "$scheme" "$address" "$port"
        [ -n "$token" ] && printf '  Admin token (for "admin TOKEN" in the game; also in %s): %s\n' "$log" "$token"
        printf '\n' ;;
    esac
  done
}

# exec keeps the host on this process, so Ctrl-C and SIGTERM reach it directly.
exec ./build/cogwell-host "${options[@]}" > >(announce) 2>&1
