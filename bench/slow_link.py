#!/usr/bin/python3
"""A slow link on loopback: a TCP relay that holds every byte for half a round trip in each
direction and lets at most BANDWIDTH bytes a second through each way, like a satellite or
mobile line. It counts, per connection, the round trips the client waited for (see Turns).
A client that pipelines its commands waits for fewer than one that sends a command a turn.

As a program:
    bench/slow_link.py --listen PORT --target HOST:PORT [--rtt-ms 600] [--bandwidth 65536]
                       [--stats FILE]
From Python:
    with SlowLink(target_port, rtt_ms=600, bandwidth=65536) as link:
        ... connect to 127.0.0.1:link.port ...
        link.stats()   # one dict a closed connection: turns, bytes up and down, seconds
"""

import argparse
import asyncio
import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time

CHUNK = 4096   # the link's unit of pacing: small enough that bandwidth shows smoothly


class Turns:
    """The round trips one connection's client waited for, seen from the relay, which sits
    next to the client. A reply is the server's first bytes after the client has spoken (for
    the greeting, after it connected); it was waited for when it reached the client after at
    least quiet_s in which the client received nothing, and the client sent nothing more until
    it had. Replies that reach the client right behind earlier bytes (a pipelined stream), and
    client bytes sent before the reply arrived, cost no round trip of their own. The relay
    passes a quarter of the round trip as quiet_s, more than the pause between paced chunks."""

    def __init__(self, quiet_s=0.0, clock=time.monotonic):
        self.turns = 0
        self.quiet_s = quiet_s
        self.clock = clock
        self.client_spoke = True   # connecting counts as speaking: the greeting is waited for
        self.reply_at = None       # offset in the server's bytes of the reply still to arrive
        self.waited = False        # that reply reached the client after a quiet spell
        self.delivered_bytes = 0
        self.start = clock()
        self.last_delivery = self.start
        self.up = 0
        self.down = 0

    def client_sent(self, n):
        if self.waited:
            self.turns += 1
        self.waited = False
        self.reply_at = None       # a reply still on its way was not waited for
        self.client_spoke = True
        self.up += n

    def server_sent(self, n):
        if self.client_spoke:
            self.reply_at, self.waited = self.down, False
        self.client_spoke = False
        self.down += n

    def delivered(self, n):
        now = self.clock()
        if self.reply_at is not None and self.reply_at < self.delivered_bytes + n:
            self.waited = now - self.last_delivery >= self.quiet_s
            self.reply_at = None
        self.delivered_bytes += n
        self.last_delivery = now

    def record(self):
        # A client that read the server's last words had waited for them too.
        turns = self.turns + (1 if self.waited else 0)
        return {"turns": turns, "up": self.up, "down": self.down,
                "seconds": round(self.clock() - self.start, 3)}


async def carry(reader, writer, delay, bandwidth, note, delivered=None):
    """Moves bytes one way: each chunk leaves when the line is free, takes len / bandwidth on
    it, and arrives delay seconds later. Reading goes on while earlier chunks are in flight."""
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def receive():
        line_free = loop.time()
        while True:
            data = await reader.read(65536)
            if not data:
                queue.put_nowait((None, b""))
                return
            note(len(data))
            for i in range(0, len(data), CHUNK):
                piece = data[i:i + CHUNK]
                line_free = max(loop.time(), line_free) + len(piece) / bandwidth
                queue.put_nowait((line_free + delay, piece))

    async def deliver():
        while True:
            due, piece = await queue.get()
            if due is None:
                try:
                    writer.write_eof()
                except OSError:
                    pass
                return
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            writer.write(piece)
            await writer.drain()
            if delivered:
                delivered(len(piece))

    receiving = asyncio.ensure_future(receive())
    try:
        await deliver()
    finally:
        receiving.cancel()


async def serve(listen_port, target_host, target_port, rtt_ms, bandwidth, stats_path, ready=None):
    delay = rtt_ms / 2000.0

    async def connection(client_reader, client_writer):
        turns = Turns(quiet_s=rtt_ms / 4000.0)
        try:
            server_reader, server_writer = await asyncio.open_connection(target_host, target_port)
        except OSError:
            client_writer.close()
            return
        up = asyncio.ensure_future(carry(client_reader, server_writer, delay, bandwidth, turns.client_sent))
        down = asyncio.ensure_future(carry(server_reader, client_writer, delay, bandwidth, turns.server_sent,
                                           turns.delivered))
        try:
            await asyncio.wait([up, down], return_when=asyncio.ALL_COMPLETED)
        except Exception:
            pass
        finally:
            for w in (client_writer, server_writer):
                w.close()
            if stats_path:
                with open(stats_path, "a") as f:
                    f.write(json.dumps(turns.record()) + "\n")

    server = await asyncio.start_server(connection, "127.0.0.1", listen_port)
    if ready:
        ready()
    async with server:
        await server.serve_forever()


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class SlowLink:
    """The relay in a process of its own, in front of 127.0.0.1:target_port."""

    def __init__(self, target_port, rtt_ms=600, bandwidth=65536):
        self.port = free_port()
        self.rtt_ms = rtt_ms
        self.bandwidth = bandwidth
        self._dir = tempfile.mkdtemp(prefix="slow-link-")
        self._stats = os.path.join(self._dir, "stats.jsonl")
        self._proc = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--listen", str(self.port),
                                       "--target", "127.0.0.1:%d" % target_port, "--rtt-ms", str(rtt_ms),
                                       "--bandwidth", str(bandwidth), "--stats", self._stats])
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                break
            except OSError:
                time.sleep(0.05)
        else:
            self.close()
            raise RuntimeError("the slow link did not start")
        # The probe's own connection is not counted: its record is awaited, then dropped.
        while time.monotonic() < deadline and not os.path.exists(self._stats):
            time.sleep(0.05)
        self.reset()

    def stats(self, settle_s=5):
        """The connections closed so far; waits (bounded) for one still being written."""
        deadline = time.monotonic() + settle_s
        while True:
            try:
                with open(self._stats) as f:
                    return [json.loads(line) for line in f if line.strip()]
            except FileNotFoundError:
                if time.monotonic() > deadline:
                    return []
                time.sleep(0.05)

    def reset(self):
        time.sleep(0.1)
        try:
            os.remove(self._stats)
        except FileNotFoundError:
            pass

    def close(self):
        if self._proc.poll() is None:
            self._proc.send_signal(signal.SIGTERM)
            try:
                self._proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self._proc.kill()
                self._proc.wait()
        subprocess.run(["rm", "-rf", self._dir])

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--listen", type=int, required=True)
    ap.add_argument("--target", required=True, help="HOST:PORT")
    ap.add_argument("--rtt-ms", type=float, default=600)
    ap.add_argument("--bandwidth", type=float, default=65536, help="bytes a second, each way")
    ap.add_argument("--stats", default="")
    args = ap.parse_args()
    host, _, port = args.target.rpartition(":")
    # Each connection's figures are written when it closes: nothing is lost by ending at once.
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    asyncio.run(serve(args.listen, host or "127.0.0.1", int(port), args.rtt_ms, args.bandwidth, args.stats))


if __name__ == "__main__":
    main()
