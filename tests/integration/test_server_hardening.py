"""Both local servers of a running engine under abuse: running out of descriptors, a burst of
connections, endless lines, NUL bytes in commands."""

import glob
import os
import resource
import socket
import subprocess
import time
import unittest

from harness import Dialogue, Engine
from pop3_world import Pop3

ACCEPT_FAILED = " NET HIGH FAILED - accept() : 24"


def limit_descriptors(n):
    def apply():
        resource.setrlimit(resource.RLIMIT_NOFILE, (n, resource.getrlimit(resource.RLIMIT_NOFILE)[1]))
    return apply


def connect(port):
    return socket.create_connection(("127.0.0.1", port), timeout=10)


def greeting(sock, seconds=10):
    sock.settimeout(seconds)
    try:
        return sock.recv(100)
    except OSError:
        return b""


class OutOfDescriptors(unittest.TestCase):
    def test_accept_backs_off_logs_once_and_serves_on(self):
        e = Engine()
        e.start(preexec_fn=limit_descriptors(64))
        socks = []
        try:
            first = Dialogue(e.smtp_port)
            self.addCleanup(first.close)
            self.assertEqual(first.line(), "220 LOCALHOST Service ready")
            socks = [connect(e.smtp_port) for _ in range(140)]
            time.sleep(2)   # a spinning engine would write hundreds of thousands of lines now
            self.assertEqual(e.log_texts().count(ACCEPT_FAILED), 1)
            # Sessions already open are served during the shortage.
            self.assertEqual(first.cmd("HELO x"), "250 HELO accepted")
            # Sessions that end make room: the connections that waited are served in turn.
            for s in socks[:100]:
                s.close()
            for s in socks[100:]:
                self.assertTrue(greeting(s).startswith(b"220 "))
            # Relief by single sessions within a second is still the same episode.
            self.assertLessEqual(e.log_texts().count(ACCEPT_FAILED), 2)
            self.assertIsNone(e.proc.poll())
        finally:
            for s in socks:
                s.close()
            e.stop()


class Backlog(unittest.TestCase):
    def test_both_servers_listen_with_the_systems_maximum_backlog(self):
        with open("/proc/sys/net/core/somaxconn") as f:
            maximum = int(f.read())
        with Engine() as e:
            for port in (e.smtp_port, e.pop3_port):
                r = subprocess.run(["ss", "-ltnH", "sport = :%d" % port], capture_output=True, text=True, timeout=10)
                self.assertEqual(r.returncode, 0, r.stderr)
                self.assertEqual(int(r.stdout.split()[2]), maximum, r.stdout)   # Send-Q: the backlog


class BadLines(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.engine = Engine().start()

    @classmethod
    def tearDownClass(cls):
        cls.engine.stop()

    def flood(self, sock, megabytes=2.5):
        chunk = b"A" * 65536
        try:
            for _ in range(int(megabytes * 16)):
                sock.sendall(chunk)
        except OSError:
            pass   # the engine may close before all of it is sent

    def test_an_endless_command_line_is_answered_and_closed_on_both_servers(self):
        smtp = Dialogue(self.engine.smtp_port)
        self.addCleanup(smtp.close)
        smtp.line()
        self.flood(smtp.sock)
        self.assertEqual(smtp.line(), "500 line too long")
        self.assertTrue(smtp.closed_by_peer())
        pop = Pop3(self.engine.pop3_port)
        self.addCleanup(pop.close)
        pop.line()
        self.flood(pop.sock)
        self.assertEqual(pop.line(), b"-ERR line too long")
        self.assertTrue(pop.closed_by_peer())

    def in_data_phase(self):
        d = Dialogue(self.engine.smtp_port)
        self.addCleanup(d.close)
        d.line()
        d.cmd("HELO x")
        d.cmd("MAIL FROM:<a@x>")
        d.cmd("RCPT TO:<b@y>")
        self.assertTrue(d.cmd("DATA").startswith("354"))
        return d

    def test_an_endless_data_line_leaves_no_item_behind(self):
        d = self.in_data_phase()
        d.send("Subject: ok")
        d.send("x" * 500000)   # long, but whole: real mail passes
        self.flood(d.sock)
        self.assertEqual(d.line(), "500 line too long")
        self.assertTrue(d.closed_by_peer())
        time.sleep(0.2)
        self.assertEqual(self.engine.queue(), [])
        self.assertEqual(glob.glob(os.path.join(self.engine.work, "*.rfc822")), [])

    def test_a_long_data_line_below_the_limit_is_stored_whole(self):
        d = self.in_data_phase()
        d.send("z" * 900000)
        self.assertEqual(d.cmd("."), "250 okay mail item received")
        items = [n for n in self.engine.queue() if n.endswith(".rfc822")]
        with open(os.path.join(self.engine.work, "outgoing", items[-1]), "rb") as f:
            self.assertIn(b"\r\n" + b"z" * 900000 + b"\r\n", f.read())
        for n in self.engine.queue():
            os.unlink(os.path.join(self.engine.work, "outgoing", n))

    def test_a_command_with_a_nul_byte_is_refused(self):
        d = Dialogue(self.engine.smtp_port)
        self.addCleanup(d.close)
        d.line()
        d.sock.sendall(b"HELO x\x00y\r\n")
        self.assertEqual(d.line(), "500 command unrecognised")
        d.cmd("HELO x")
        d.sock.sendall(b"MAIL FROM:<a\x00@x>\r\n")
        self.assertEqual(d.line(), "500 command unrecognised")
        d.sock.sendall(b"MAIL FROM:<a@x>\r\nRCPT TO:<b\x00@y>\r\nRCPT TO:<b@y>\r\n")
        self.assertEqual(d.line(), "250 Return-path '<a@x>' okay")
        self.assertEqual(d.line(), "500 command unrecognised")
        self.assertEqual(d.line(), "250 Recipient '<b@y>' okay")


if __name__ == "__main__":
    unittest.main()
