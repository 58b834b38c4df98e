#!/usr/bin/env bash
# Runs the Release host beside Agones' own SDK server in its local mode (`sdk-server --local`, built
# from Agones' sources), the way a room runs beside its sidecar in a pod: the host reports ready,
# beats, reads its GameServer's state and keeps the players List, then a TCP player joins and
# leaves, the room is allocated and, nobody coming back, asks to be shut down. Prints what the SDK
# server logged for every call and the List it ended with. Not part of ./test.sh.
#
#   scripts/agones-local.sh PATH_TO_SDK_SERVER [v1beta1|v1alpha1]
#
# The List routes are under /v1beta1/ from Agones 1.41 on and under /v1alpha1/ before (give
# v1alpha1 for such an SDK server; it needs the CountsAndLists feature gate, turned on here). When
# `unshare` may create a network namespace, both run in a private one, so the sidecar's ports
# (8080, 9357, 9358) are free whatever else runs on the machine.
set -euo pipefail
sdk=$(readlink -f "${1:?usage: $0 PATH_TO_SDK_SERVER [v1beta1|v1alpha1]}")
api=${2:-v1beta1}
cd "$(dirname "$0")/.."
build=${COG_RELEASE_DIR:-build-rel}
if [ ! -x "$build/cogwell-host" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCOG_TESTS=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)" --target cogwell-host >/dev/null
fi
host=$(readlink -f "$build/cogwell-host")

if [ -z "${COG_IN_NAMESPACE:-}" ] && unshare -rn true 2>/dev/null; then
  COG_IN_NAMESPACE=1 exec unshare -rn "$0" "$sdk" "$api"
fi
[ -n "${COG_IN_NAMESPACE:-}" ] && ip link set lo up

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  # COG_AGONES_LOGS=DIR keeps both programs' whole output.
  if [ -n "${COG_AGONES_LOGS:-}" ]; then mkdir -p "$COG_AGONES_LOGS" && cp "$work"/*.log "$COG_AGONES_LOGS"/; fi
  rm -rf "$work"
}
trap cleanup EXIT

# The local SDK server takes the List from the status (older releases) or the spec (newer ones).
# Its v1alpha1 routes look the List up by the whole "lists/players" of the path, so for those the
# status names it so as well.
cat >"$work/gameserver.yaml" <<'YAML'
apiVersion: agones.dev/v1
kind: GameServer
metadata:
  name: cogwell-local
spec:
  ports:
    - {name: game, containerPort: 5556, protocol: TCP}
    - {name: web, containerPort: 8081, protocol: TCP}
  lists:
    players: {capacity: 9}
status:
  lists:
    players: {capacity: 9}
    lists/players: {capacity: 9}
YAML

"$sdk" --local -f "$work/gameserver.yaml" --feature-gates CountsAndLists=true >"$work/sdk.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do
  curl -sf -o /dev/null http://127.0.0.1:9358/gameserver && break
  sleep 0.2
done

"$host" --agones --agones-port 9358 --agones-list-api "$api" --web-port 8081 --port 5556 \
  --allocated-timeout 5 --log-level info >"$work/host.log" 2>&1 &
host_pid=$!
pids+=($host_pid)
sleep 3

echo "--- two players join; the List after 3 s:"
python3 - "$api" <<'PY'
import json, socket, struct, sys, time, urllib.error, urllib.request
def join(name):
    for _ in range(50):
        try:
            sock = socket.create_connection(("127.0.0.1", 5556), timeout=5)
            break
        except OSError:
            time.sleep(0.2)
    body = json.dumps({"kind": 0, "player_name": name, "previous_player_id": 0}).encode()
    sock.sendall(struct.pack(">I", len(body)) + body)
    return sock
players = [join("Ann"), join("Bob")]
end = time.time() + 3
while time.time() < end:
    for sock in players:
        sock.recv(1 << 16)
try:
    print(urllib.request.urlopen(f"http://127.0.0.1:9358/{sys.argv[1]}/lists/players").read().decode())
except urllib.error.HTTPError as refused:  # an SDK server without these routes
    print(refused.code, refused.read().decode())
for sock in players:
    sock.close()
PY
sleep 2
echo "--- the List once they left:"
curl -s "http://127.0.0.1:9358/$api/lists/players"; echo
echo "--- the room is allocated; nobody comes"
curl -s -X POST -H 'Content-Type: application/json' -d '{}' http://127.0.0.1:9358/allocate; echo
sleep 9
echo "--- the state the SDK server ends with:"
curl -s http://127.0.0.1:9358/gameserver | python3 -c 'import json,sys; print(json.load(sys.stdin)["status"]["state"])'
kill -TERM "$host_pid"
wait "$host_pid" || true

echo "=== what the SDK server logged (one line per kind of message, with its count) ==="
grep -o '"message":"[^"]*"\|"msg":"[^"]*"' "$work/sdk.log" | sort | uniq -c | sort -rn
echo "=== the host's [FLEET] lines ==="
grep '\[FLEET\]\|shutdown complete' "$work/host.log"
