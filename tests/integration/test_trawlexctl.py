"""trawlexctl against a scripted stand-in engine: it prints link messages and data records in
the order the engine sent them, even when they reach it in one read."""

import os
import socket
import struct
import subprocess
import tempfile
import shutil
import threading
import unittest

from harness import TRAWLEXCTL, link_record, private_env

WM_ENGINE_LINK = 2024
WM_COPYDATA = 0x4A
HEADER = struct.Struct("<IHHIIQqQII")


def read_record(sock):
    data = b""
    while len(data) < HEADER.size:
        chunk = sock.recv(HEADER.size - len(data))
        if not chunk:
            raise ConnectionError("closed")
        data += chunk
    fields = HEADER.unpack(data)
    payload = b""
    while len(payload) < fields[8]:
        payload += sock.recv(fields[8] - len(payload))
    return fields, payload


class StandInEngine(threading.Thread):
    """Publishes the engine's window and answers LINK_START_CYCLE with a burst of records."""

    def __init__(self, run_dir, burst):
        super().__init__(daemon=True)
        self.dir = os.path.join(run_dir, "tarnwick")
        os.makedirs(self.dir, mode=0o700)
        self.listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.listener.bind(os.path.join(self.dir, "APPCLASS.Trawlex.sock"))
        self.listener.listen(4)
        self.listener.settimeout(10)
        self.burst = burst
        self.error = None

    def run(self):
        try:
            while True:
                conn, _ = self.listener.accept()   # findWindow's probe, then the real one
                conn.settimeout(10)
                try:
                    fields, payload = read_record(conn)
                except ConnectionError:
                    continue
                ref = payload[2:2 + struct.unpack_from("<H", payload)[0]].decode()
                with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as ctl:
                    ctl.connect(os.path.join(self.dir, ref + ".sock"))
                    ctl.settimeout(10)
                    ctl.sendall(b"".join(self.burst))
                    read_record(ctl)   # the data record's answer
                    ctl.recv(1)        # until trawlexctl ends
                conn.close()
                return
        except Exception as e:   # reported by the test
            self.error = e
        finally:
            self.listener.close()


def post(code):
    return link_record(1, WM_ENGINE_LINK, code, 0)


def record(dwdata, path):
    return link_record(2, WM_COPYDATA, 0, 0, flags=4, dwdata=dwdata, payload=path.encode() + b"\0")


class TrawlexctlOrder(unittest.TestCase):
    def test_a_data_record_is_printed_behind_the_messages_sent_before_it(self):
        root = tempfile.mkdtemp(prefix="trawlexctl-it-")
        try:
            burst = [post(1), post(2), post(4), record(100, "outgoing/20261207101500123.rfc822"),
                     post(20), post(5), record(6, "accounts/ann@pop/[ann]1.rfc822"), post(6), post(7)]
            engine = StandInEngine(root, burst)
            engine.start()
            env = private_env(root, XDG_RUNTIME_DIR=root)
            r = subprocess.run([TRAWLEXCTL, "--timeout", "10", "cycle"], env=env, capture_output=True,
                               text=True, timeout=20)
            engine.join(10)
            self.assertIsNone(engine.error)
            self.assertEqual(r.returncode, 3, r.stderr)   # the burst holds a CYCLE_FAILURE
            self.assertEqual(r.stdout.splitlines(), [
                "CYCLE_STARTED", "CYCLE_CONNECTED", "CYCLE_SENDING",
                "COPYDATA_DELIVERY_FAILURE outgoing/20261207101500123.rfc822", "CYCLE_FAILURE",
                "CYCLE_CHECKING", "COPYDATA_NEW_ITEM accounts/ann@pop/[ann]1.rfc822", "CYCLE_NEW_ITEM",
                "CYCLE_FINISHED"])
        finally:
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
