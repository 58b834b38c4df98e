#!/usr/bin/env bash
# Tries the room image for real: builds it (scripts/image.sh), runs it with podman, logs a client
# in through the published port and counts the pictures that arrive, then stops the container with
# SIGTERM and checks that the host shut down cleanly and exited with status 0.
# Slow (a Release build and an image), so not part of ./test.sh.
#
#   scripts/image-test.sh [HOST_PORT]   (default 15556; the web port is published on HOST_PORT+1)
#   COG_IMAGE=TAG scripts/image-test.sh  tries an image built elsewhere (deploy/Containerfile)
#   COG_PODMAN_RUN_ARGS="..."            extra options for `podman run`: podman inside a container
#                                        may need `--runtime runc` and explicit `--ulimit`s, e.g.
#     COG_PODMAN_RUN_ARGS="--runtime runc --ulimit nofile=4096:4096 --ulimit nproc=4096:4096"
set -euo pipefail
cd "$(dirname "$0")/.."
port=${1:-15556}
name=cogwell-image-test-$$
tag=${COG_IMAGE:-localhost/cogwell-host:image-test}
[ -n "${COG_IMAGE:-}" ] || scripts/image.sh "$tag"
cleanup() { podman rm -f "$name" >/dev/null 2>&1 || true; }
trap cleanup EXIT

# shellcheck disable=SC2086 # the extra options are meant to be split into words
podman run -d --name "$name" ${COG_PODMAN_RUN_ARGS:-} \
  -p "127.0.0.1:$port:5556" -p "127.0.0.1:$((port + 1)):8081" "$tag" >/dev/null
echo "container $name started from $tag, game port on 127.0.0.1:$port, web port on 127.0.0.1:$((port + 1))"

python3 - "$port" <<'PY'
import json, socket, struct, sys, time, urllib.request

port = int(sys.argv[1])

def frame(body):
    data = json.dumps(body).encode()
    return struct.pack(">I", len(data)) + data

def connect():
    for _ in range(50):  # the host may still be starting
        try:
            return socket.create_connection(("127.0.0.1", port), timeout=5)
        except OSError:
            time.sleep(0.2)
    sys.exit("cannot connect to the published port")

sock = connect()
sock.sendall(frame({"kind": 0, "player_name": "ImageTest", "previous_player_id": 0}))
inbox, client_id, pictures, deadline = b"", 0, 0, time.time() + 3
while time.time() < deadline:
    try:
        chunk = sock.recv(1 << 16)
    except socket.timeout:
        break
    if not chunk:
        sys.exit("the host closed the connection")
    inbox += chunk
    while len(inbox) >= 4:
        (length,) = struct.unpack(">I", inbox[:4])
        if len(inbox) < 4 + length:
            break
        message, inbox = json.loads(inbox[4 : 4 + length]), inbox[4 + length :]
        if message.get("kind") == 1 and message.get("commands"):
            pictures += 1
        elif message.get("event", {}).get("client_id") and not client_id:
            client_id = message["event"]["client_id"]
sock.close()
print(f"client: logged in as player {client_id}, {pictures} pictures in 3 s")
if client_id == 0 or pictures < 60:
    sys.exit("login or pictures missing")

page = urllib.request.urlopen(f"http://127.0.0.1:{port + 1}/", timeout=5).read().decode(errors="replace")
print(f"web: the page is {len(page)} bytes" + (", with the client's script" if "client.js" in page else ""))
if "client.js" not in page:
    sys.exit("the web port does not serve the browser client")
PY

podman kill --signal TERM "$name" >/dev/null
status=$(podman wait "$name")
logs=$(podman logs "$name" 2>&1)
echo "--- container output (last lines) ---"
echo "$logs" | tail -n 6
echo "---"
echo "exit status after SIGTERM: $status"
grep -q "Server shutdown complete" <<<"$logs" || { echo "FAIL: no 'Server shutdown complete'"; exit 1; }
[ "$status" = 0 ] || { echo "FAIL: exit status $status"; exit 1; }
echo "image test passed"
