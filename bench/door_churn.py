#!/usr/bin/env python3
"""Rooms made and left in a loop through a running cogwell-door: the time from POST /rooms to the
room's first INIT through the door, and what the door holds before and after (its descriptors, its
room processes, the rooms' listening ports).

    python3 bench/door_churn.py build/cogwell-door [ROOMS]
"""
import base64, json, os, re, socket, statistics, struct, subprocess, sys, threading, time

door_binary = sys.argv[1]
rooms = int(sys.argv[2]) if len(sys.argv) > 2 else 200


def request(port, method, path):
    with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
        s.sendall(f"{method} {path} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nContent-Length: 0\r\nConnection: close\r\n\r\n".encode())
        data = b""
        while chunk := s.recv(65536):
            data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    return int(head.split()[1]), body.decode()


def frame(text):
    payload, mask = text.encode(), os.urandom(4)
    header = bytes([0x81]) + (bytes([0x80 | len(payload)]) if len(payload) < 126 else bytes([0x80 | 126]) + struct.pack("!H", len(payload)))
    return header + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(payload))


def first_init(port, code):
    s = socket.create_connection(("127.0.0.1", port), timeout=10)
    key = base64.b64encode(os.urandom(16)).decode()
    s.sendall(f"GET /r/{code}/play HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
              f"Sec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n".encode())
    data = b""
    while b"\r\n\r\n" not in data:
        data += s.recv(65536)
    assert data.startswith(b"HTTP/1.1 101"), data[:80]
    data = data.split(b"\r\n\r\n", 1)[1]
    s.sendall(frame(json.dumps({"kind": 0, "player_name": "Churn"})))
    while b'"event":{"kind":0,' not in data:
        data += s.recv(65536)
    return s


def children(pid):
    return [int(p) for p in subprocess.run(["pgrep", "-P", str(pid)], capture_output=True, text=True).stdout.split()]


def snapshot(pid):
    fds = len(os.listdir(f"/proc/{pid}/fd"))
    listening = subprocess.run(["ss", "-ltnH"], capture_output=True, text=True).stdout
    ports = sum(1 for p in room_ports if re.search(rf":{p}\s", listening))
    return fds, len(children(pid)), ports


door = subprocess.Popen([door_binary, "--port", "0", "--room-idle", "1", "--max-rooms", "16",
                         "--rooms-without-proxy-header"] if os.environ.get("NO_PROXY_HEADER") else
                        [door_binary, "--port", "0", "--room-idle", "1", "--max-rooms", "16"],
                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
port = None
while port is None:
    line = door.stdout.readline()
    if m := re.search(r"Door on \w+://0\.0\.0\.0:(\d+)/", line):
        port = int(m.group(1))
room_ports = set()


def read_output():  # keeps the door's output flowing and notes each room's port
    for line in door.stdout:
        if m := re.search(r"starting: .*web port (\d+)", line):
            room_ports.add(int(m.group(1)))


threading.Thread(target=read_output, daemon=True).start()
before = snapshot(door.pid)
times = []
for i in range(rooms):
    while True:
        started = time.monotonic()
        status, body = request(port, "POST", "/rooms")
        if status == 201:
            break
        time.sleep(0.2)  # every room is taken: wait for idle ones to end
    player = first_init(port, json.loads(body)["code"])
    times.append((time.monotonic() - started) * 1000)
    player.close()
deadline = time.monotonic() + 30
while children(door.pid) and time.monotonic() < deadline:
    time.sleep(0.2)
after = snapshot(door.pid)
door.terminate()
door.wait()
print(f"{rooms} rooms: POST /rooms to first INIT through the door: median {statistics.median(times):.0f} ms, "
      f"90th {sorted(times)[int(len(times) * 0.9)]:.0f} ms, max {max(times):.0f} ms")
print(f"door before: {before[0]} descriptors, {before[1]} room processes")
print(f"door after:  {after[0]} descriptors, {after[1]} room processes, "
      f"{after[2]} of the {len(room_ports)} ports its rooms had still listening")
