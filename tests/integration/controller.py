"""A stand-in front end for the engine's link: it publishes a window of its own, asks for
cycles with itself as the controller, and records the link messages and data records the
engine sends it, in the order they arrive. A hook may look at the world while the engine
waits for the answer to a data record."""

import os
import socket
import struct
import threading
import time

from harness import link_record

WM_ENGINE_LINK = 2024
WM_COPYDATA = 0x4A
LINK_REGISTER, LINK_START_CYCLE, LINK_SHUTDOWN = 1, 2, 3
HEADER = struct.Struct("<IHHIIQqQII")
NAMES = {1: "CYCLE_STARTED", 2: "CYCLE_CONNECTED", 3: "CYCLE_DIAL_FAILED", 4: "CYCLE_SENDING",
         5: "CYCLE_CHECKING", 6: "CYCLE_NEW_ITEM", 7: "CYCLE_FINISHED", 10: "NEW_OUTGOING_MAIL",
         11: "MAILBOX_CHANGED", 20: "CYCLE_FAILURE"}
RECORDS = {6: "COPYDATA_NEW_ITEM", 100: "COPYDATA_DELIVERY_FAILURE"}


def read_record(sock):
    """(kind, msg, wparam, dwdata, payload) of the next record, or None at the end."""
    def take(n):
        data = b""
        while len(data) < n:
            chunk = sock.recv(n - len(data))
            if not chunk:
                return None
            data += chunk
        return data
    head = take(HEADER.size)
    if head is None:
        return None
    _, _, kind, msg, flags, wparam, _, dwdata, length, _ = HEADER.unpack(head)
    payload = take(length) if length else b""
    if payload is None:
        return None
    if flags & 1:   # a window reference for wParam comes first
        n = struct.unpack_from("<H", payload)[0]
        payload = payload[2 + n:]
    return kind, msg, wparam, dwdata, payload


class Controller:
    def __init__(self, engine, on_record=None):
        self.engine = engine
        self.on_record = on_record
        self.ref = "PYCTL.c%d" % os.getpid()
        directory = os.path.join(engine.run_dir, "tarnwick")
        self.listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.listener.bind(os.path.join(directory, self.ref + ".sock"))
        self.listener.listen(4)
        self.events = []
        self.payloads = []   # (record name, whole payload) of each data record
        self.lock = threading.Lock()
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                conn, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(conn,), daemon=True).start()

    def _serve(self, conn):
        with conn:
            while True:
                rec = read_record(conn)
                if rec is None:
                    return
                kind, msg, wparam, dwdata, payload = rec
                if msg == WM_ENGINE_LINK:
                    self._add(NAMES.get(wparam, "LINK_%d" % wparam))
                elif msg == WM_COPYDATA:
                    path = payload.split(b"\0", 1)[0].decode("latin-1")
                    name = RECORDS.get(dwdata, "COPYDATA_%d" % dwdata)
                    line = "%s %s" % (name, path)
                    if self.on_record:
                        self.on_record(line)
                    with self.lock:
                        self.payloads.append((name, payload))
                    self._add(line)
                if kind == 2:
                    conn.sendall(HEADER.pack(0x4B4C5754, 1, 3, msg, 0, 0, 1, 0, 0, 0))

    def _add(self, line):
        with self.lock:
            self.events.append(line)

    def lines(self):
        with self.lock:
            return list(self.events)

    def post(self, code):
        """Posts a link code to the engine with this controller's window as lParam."""
        ref = self.ref.encode()
        record = link_record(1, WM_ENGINE_LINK, code, 0, flags=2, payload=struct.pack("<H", len(ref)) + ref)
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
            s.connect(self.engine.link_socket())
            s.sendall(record)

    def wait_for(self, line, seconds=20.0, count=1):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if self.lines().count(line) >= count:
                return True
            time.sleep(0.02)
        return False

    def close(self):
        self.listener.close()
