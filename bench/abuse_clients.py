#!/usr/bin/env python3
"""Hostile-client scenarios against a running host on loopback, each printing the figures it measured."""
# Many clients holding half-sent large frames need a faster reader: see hold_frames.cpp.
# Usage: bench/abuse_clients.py <scenario> [options]; `bench/abuse_clients.py -h` lists the scenarios.
# Every message is a frame: 4-byte big-endian length, then that many bytes of JSON.

import argparse
import asyncio
import json
import socket
import struct
import sys
import threading
import time

LOGIN, INPUT = 0, 1
INIT_EVENT = 0


def frame(obj):
    body = json.dumps(obj, ensure_ascii=False, separators=(",", ":")).encode()
    return struct.pack(">I", len(body)) + body


def login(name, previous=0, secret=None):
    message = {"kind": LOGIN, "player_name": name, "previous_player_id": previous}
    if secret is not None:  # a client that keeps its seat's secret
        message["reconnect_secret"] = secret
    return frame(message)


def input_frame(tick, letters=False):
    key = {"is_down": letters, "just_pressed": letters, "just_released": False}
    state = {"up": False, "down": False, "left": False, "right": False,
             "mouse_x": float(tick % 1280), "mouse_y": 360.0,
             "mouse_left": False, "mouse_right": False, "mouse_middle": False,
             "space": False, "enter": False, "shift": False, "ctrl": False, "escape": False,
             "backspace": {"is_down": False, "just_pressed": False, "just_released": False},
             "keys": [key] * 26}
    return frame({"kind": INPUT, "input": state})


def init_event(body):
    """The event if this message is INIT, else None."""
    if not body.startswith(b'{"kind":0'):
        return None
    event = json.loads(body).get("event", {})
    return event if event.get("kind") == INIT_EVENT else None


def init_id(body):
    """The client id if this message is INIT, else None."""
    event = init_event(body)
    return event.get("client_id") if event else None


def proc_status(pid):
    out = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(("VmRSS:", "VmHWM:")):
                out[line.split(":")[0]] = int(line.split()[1])
    return out


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


def cpu_share(pid, seconds):
    hz = 100
    t0, c0 = time.monotonic(), cpu_ticks(pid)
    time.sleep(seconds)
    return 100.0 * (cpu_ticks(pid) - c0) / hz / (time.monotonic() - t0)


# ---- blocking client, used by the scenarios that follow a few sockets closely ----

class BlockingClient:
    """`source`: the loopback address to connect from (127.0.0.1 is never counted by the host's
    per-address limits; other 127.x addresses stand in for remote machines)."""

    def __init__(self, port, name, previous=0, timeout=3.0, source="127.0.0.1", secret=None):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=timeout, source_address=(source, 0))
        self.sock.sendall(login(name, previous, secret))
        self.buf = b""
        self.id = self.secret = None
        deadline = time.monotonic() + timeout
        while self.id is None and time.monotonic() < deadline:
            body = self.read_frame()
            if body is None:
                break
            event = init_event(body)
            if event:
                self.id, self.secret = event.get("client_id"), event.get("reconnect_secret")

    def read_frame(self):
        while True:
            if len(self.buf) >= 4:
                n = struct.unpack(">I", self.buf[:4])[0]
                if len(self.buf) >= 4 + n:
                    body, self.buf = self.buf[4:4 + n], self.buf[4 + n:]
                    return body
            try:
                chunk = self.sock.recv(1 << 16)
            except (socket.timeout, ConnectionError):
                return None
            if not chunk:
                return None
            self.buf += chunk


class Player(threading.Thread):
    """Sends one INPUT per 16 ms and counts the pictures it receives until the host closes it."""

    def __init__(self, client, letters=False):
        super().__init__(daemon=True)
        self.client, self.letters = client, letters
        self.pictures, self.closed_at, self.stop, self.silent = 0, None, False, False
        self.client.sock.settimeout(None)
        threading.Thread(target=self.read_loop, daemon=True).start()

    def read_loop(self):
        while not self.stop:
            body = self.client.read_frame()
            if body is None:
                self.closed_at = time.monotonic()
                return
            if body.startswith(b'{"kind":1'):
                self.pictures += 1

    def run(self):
        tick = 0
        while not self.stop and self.closed_at is None:
            try:
                if not self.silent:
                    self.client.sock.sendall(input_frame(tick, self.letters))
            except OSError:
                self.closed_at = self.closed_at or time.monotonic()
                return
            tick += 1
            time.sleep(0.016)


def takeover(args):
    """A plays as Ann; B presents A's id and name while A is active, after A closed, or after A fell silent."""
    a = BlockingClient(args.port, "Ann")
    print(f"A logged in as Ann: id {a.id}")
    pa = Player(a)
    pa.start()
    time.sleep(1.0)
    before = pa.pictures
    if args.mode == "closed":
        pa.stop = True
        a.sock.close()
        time.sleep(0.2)
    elif args.mode == "silent":
        pa.silent = True  # A stops sending but keeps its connection open and reading
        time.sleep(args.silence)
        before = pa.pictures
    t_b = time.monotonic()
    b = BlockingClient(args.port, "Ann", previous=a.id)
    print(f"B sent LOGIN Ann previous_player_id {a.id} (A {args.mode}): INIT id {b.id}")
    if args.mode == "closed":
        print(f"RESULT takeover ({args.mode}): B id {b.id} ({'same as A' if b.id == a.id else 'new'})")
        return
    time.sleep(2.0)
    after = pa.pictures
    cut = pa.closed_at is not None
    print(f"A in the 2 s after B's login: {after - before} pictures received; "
          f"A cut off: {'yes, %.0f ms after B connected' % ((pa.closed_at - t_b) * 1000) if cut else 'no'}")
    print(f"RESULT takeover ({args.mode}): B id {b.id} ({'same as A' if b.id == a.id else 'new'}), A cut off: {cut}")
    pa.stop = True


def letters(args):
    c = BlockingClient(args.port, "Keys")
    print(f"letter sender logged in: id {c.id}")
    p = Player(c, letters=True)
    p.start()
    time.sleep(args.seconds)
    p.stop = True
    print(f"letter sender: {p.pictures} pictures in {args.seconds} s, closed: {p.closed_at is not None}")


def typists(args):
    """COUNT players from one address press every letter every frame; one player from another
    address counts its pictures."""
    flood = [Player(BlockingClient(args.port, f"Typist{i}", source=args.source), letters=True) for i in range(args.count)]
    honest = Player(BlockingClient(args.port, "Honest", source="127.0.0.9"))
    for p in flood + [honest]:
        p.start()
    time.sleep(1.0)
    before = honest.pictures
    time.sleep(args.seconds)
    rate = (honest.pictures - before) / args.seconds
    for p in flood + [honest]:
        p.stop = True
    seated = sum(1 for p in flood if p.client.id)
    print(f"RESULT typists: {seated} of {args.count} typists seated from {args.source}; "
          f"honest player {rate:.1f} pictures/s")


def returning(args):
    """A player from another address leaves; one address joins and leaves as fast as it can for
    SECONDS; then the player comes back with its secret."""
    first = BlockingClient(args.port, "Returning", source="127.0.0.9", secret="")
    first.sock.close()
    time.sleep(0.2)
    seated = refused = 0
    t0 = time.monotonic()
    while time.monotonic() - t0 < args.seconds:
        try:
            c = BlockingClient(args.port, "Churn", source=args.source, timeout=1.0)
        except OSError:
            refused += 1
            continue
        if c.id:
            seated += 1
        else:
            refused += 1
        c.sock.close()
    elapsed = time.monotonic() - t0
    back = BlockingClient(args.port, "Returning", previous=first.id, source="127.0.0.9", secret=first.secret)
    print(f"RESULT returning: {seated} seatings ({seated / elapsed:.1f}/s) and {refused} refusals from {args.source} "
          f"in {elapsed:.1f} s; the player who left came back to {'the same seat' if back.id == first.id else 'a new seat'} "
          f"({first.id} -> {back.id})")


def slowread(args):
    """Reads stdin at a given rate, until end of file."""
    src = sys.stdin.buffer.raw
    while True:
        chunk = src.read(args.rate)
        if not chunk:
            return
        time.sleep(1.0)


def c1name(args):
    name = "Ann\u009b31mX\u0085Y"
    c = BlockingClient(args.port, name)
    print(f"LOGIN name {name.encode()!r} (UTF-8 bytes sent raw in the JSON string): INIT id {c.id}")
    time.sleep(0.3)
    c.sock.close()


# ---- asyncio clients, for the scenarios with many sockets ----

async def read_body(reader):
    n = struct.unpack(">I", await reader.readexactly(4))[0]
    return await reader.readexactly(n)


async def login_and_wait_init(port, name, timeout):
    reader, writer = await asyncio.open_connection("127.0.0.1", port)
    writer.write(login(name))
    try:
        async def until_init():
            while True:
                cid = init_id(await read_body(reader))
                if cid is not None:
                    return cid
        return reader, writer, await asyncio.wait_for(until_init(), timeout)
    except (asyncio.TimeoutError, asyncio.IncompleteReadError, ConnectionError):
        writer.close()
        return None


async def churn_main(args):
    done = failed = 0
    next_name = 0
    sem = asyncio.Semaphore(args.concurrency)
    t0 = time.monotonic()

    async def one(i):
        nonlocal done, failed
        async with sem:
            try:
                got = await login_and_wait_init(args.port, f"Churn{i}", 10.0)
            except OSError:
                got = None
            if got is None:
                failed += 1
                return False
            got[1].close()
            done += 1
            return True

    while done < args.count:
        batch = min(args.batch, args.count - done)
        await asyncio.gather(*(one(next_name + k) for k in range(batch)))
        next_name += batch
        if args.pid:
            print(f"  {done} logins done ({failed} failed), {time.monotonic() - t0:.1f} s, "
                  f"host {proc_status(args.pid)}", flush=True)
    print(f"RESULT churn: {done} clients logged in and closed in {time.monotonic() - t0:.1f} s; "
          f"{failed} attempts got no INIT")


async def silent_main(args):
    drops = 0
    stop = False

    async def holder():
        nonlocal drops
        while not stop:
            try:
                reader, writer = await asyncio.open_connection("127.0.0.1", args.port)
            except OSError:
                await asyncio.sleep(0.05)
                continue
            try:
                if args.trickle:
                    # Not silent: the start of a LOGIN frame, one byte at a time, never finished.
                    writer.write(struct.pack(">I", 200))
                    while True:
                        try:
                            await asyncio.wait_for(reader.read(), args.trickle)
                            break  # the host closed it
                        except asyncio.TimeoutError:
                            writer.write(b" ")
                else:
                    await reader.read()
            except ConnectionError:
                pass
            writer.close()
            drops += 1

    holders = [asyncio.ensure_future(holder()) for _ in range(args.silent)]
    await asyncio.sleep(args.warmup)
    for r in range(args.rounds):
        t0 = time.monotonic()

        async def newcomer(i):
            try:
                got = await login_and_wait_init(args.port, f"New{r}_{i}", args.window)
            except OSError:
                return None
            if got is None:
                return None
            got[1].close()
            return time.monotonic() - t0

        lat = await asyncio.gather(*(newcomer(i) for i in range(args.newcomers)))
        ok = [x for x in lat if x is not None]
        print(f"RESULT silent round {r + 1}: {len(ok)}/{args.newcomers} newcomers got INIT within "
              f"{args.window} s (latencies ms: {[round(x * 1000) for x in ok]}); silent sockets dropped so far: {drops}",
              flush=True)
        await asyncio.sleep(args.gap)
    stop = True
    for h in holders:
        h.cancel()


def main():
    p = argparse.ArgumentParser(description=__doc__)
    sub = p.add_subparsers(dest="scenario", required=True)
    s = sub.add_parser("takeover", help="B logs in with player A's id and name")
    s.add_argument("port", type=int)
    s.add_argument("--mode", choices=["active", "closed", "silent"], default="active")
    s.add_argument("--silence", type=float, default=3.0, help="seconds A stays silent in --mode silent")
    s = sub.add_parser("letters", help="one client presses all 26 letters every frame")
    s.add_argument("port", type=int)
    s.add_argument("seconds", type=float)
    s = sub.add_parser("typists", help="COUNT players from one address press every letter every frame")
    s.add_argument("port", type=int)
    s.add_argument("count", type=int)
    s.add_argument("seconds", type=float)
    s.add_argument("--source", default="127.0.0.2")
    s = sub.add_parser("returning", help="one address churns for SECONDS; a player who left before comes back")
    s.add_argument("port", type=int)
    s.add_argument("seconds", type=float)
    s.add_argument("--source", default="127.0.0.2")
    s = sub.add_parser("slowread", help="read stdin at RATE bytes per second (a slow log reader)")
    s.add_argument("rate", type=int)
    s = sub.add_parser("c1name", help="log in with C1 control characters in the name")
    s.add_argument("port", type=int)
    s = sub.add_parser("churn", help="COUNT clients log in, read INIT and close")
    s.add_argument("port", type=int)
    s.add_argument("count", type=int)
    s.add_argument("--batch", type=int, default=1000)
    s.add_argument("--concurrency", type=int, default=200)
    s.add_argument("--pid", type=int, default=0)
    s = sub.add_parser("silent", help="silent connections renewed as dropped, then newcomers log in")
    s.add_argument("port", type=int)
    s.add_argument("--silent", type=int, default=64)
    s.add_argument("--newcomers", type=int, default=5)
    s.add_argument("--window", type=float, default=1.5)
    s.add_argument("--warmup", type=float, default=2.0)
    s.add_argument("--rounds", type=int, default=3)
    s.add_argument("--gap", type=float, default=2.0)
    s.add_argument("--trickle", type=float, default=0.0,
                   help="instead of silence, each waiter sends one byte of an unfinished LOGIN this often (s)")
    s = sub.add_parser("cpu", help="a process's CPU share (%% of one core) over SECONDS, and its memory")
    s.add_argument("pid", type=int)
    s.add_argument("seconds", type=float)
    a = p.parse_args()

    if a.scenario == "cpu":
        print(f"RESULT cpu: {cpu_share(a.pid, a.seconds):.1f} % of one core over {a.seconds} s; {proc_status(a.pid)}")
    elif a.scenario in ("churn", "silent"):
        asyncio.run({"churn": churn_main, "silent": silent_main}[a.scenario](a))
    else:
        {"takeover": takeover, "letters": letters, "slowread": slowread, "c1name": c1name, "typists": typists,
         "returning": returning}[a.scenario](a)


if __name__ == "__main__":
    main()
