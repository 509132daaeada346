"""Mailboxes for the local POP3 server's tests: accounts in the hive, item files named as the
account check names them, a corpus of awkward messages, and a raw POP3 dialogue."""

import os
import socket
import unittest

from harness import SETTINGS_KEY, Engine

ACCOUNTS_KEY = SETTINGS_KEY + r"\Accounts"


def encode_name_part(data: bytes) -> str:
    """Letters and digits stay; every other byte becomes "_" and "%2X"."""
    return "".join(chr(b) if chr(b).isascii() and chr(b).isalnum() else "_%2X" % b for b in data)


def stuff(message: bytes) -> bytes:
    """The transfer form of a message with CRLF lines: a leading dot doubled."""
    lines = message.split(b"\r\n")
    return b"\r\n".join(b"." + l if l.startswith(b".") else l for l in lines)


# Messages as the provider's users sent them; items hold them in transfer form.
DOTS = (b"From: a@example.net\r\nSubject: dots\r\n\r\n.\r\n..two\r\n.leading dot\r\n"
        b"middle . dot\r\n.\r\nlast\r\n")
EIGHT_BIT = (b"From: b@example.net\r\nSubject: =?iso-8859-1?q?caf=E9?=\r\n"
             b"Content-Transfer-Encoding: 8bit\r\n\r\ncaf\xe9 \xff\xfe\x80 na\xefve\r\n")
LONG_LINES = (b"From: c@example.net\r\nSubject: long\r\n\r\n" + b"x" * 5000 + b"\r\n" +
              b"y" * 4999 + b".\r\nend\r\n")
CORPUS = [DOTS, EIGHT_BIT, LONG_LINES]


class Mailbox:
    """One account of the engine's hive and its mailbox directory in the engine's world."""

    def __init__(self, engine, title, password, user, server="pop.example.net"):
        self.engine, self.title, self.password = engine, title, password
        self.owner = user + "@" + server
        self.dropdir = "accounts/" + self.owner + "/"
        self.path = os.path.join(engine.work, self.dropdir)
        os.makedirs(self.path, exist_ok=True)

    def hive_values(self):
        return {"server": "pop.example.net", "port": 110, "user": self.owner.split("@")[0],
                "pass": self.password, "dropdir": self.dropdir}

    def add(self, uid: bytes, message: bytes, read=False):
        """Stores a message as a retrieved item (transfer form); answers its file name."""
        name = self.name_of(uid)
        path = os.path.join(self.path, name)
        with open(path, "wb") as f:
            f.write(stuff(message))
        os.chmod(path, 0o444 if read else 0o644)
        return name

    def add_corpus(self):
        return [self.add(b"uid-%d" % i, m) for i, m in enumerate(CORPUS)]

    def name_of(self, uid: bytes):
        return "[" + encode_name_part(self.owner.encode()) + "]" + encode_name_part(uid) + ".rfc822"

    def names(self):
        return sorted(n for n in os.listdir(self.path) if n.endswith(".rfc822"))

    def is_read(self, name):
        return os.stat(os.path.join(self.path, name)).st_mode & 0o222 == 0

    def clear(self):
        for n in os.listdir(self.path):
            p = os.path.join(self.path, n)
            if os.path.isdir(p):
                for m in os.listdir(p):
                    os.unlink(os.path.join(p, m))
                os.rmdir(p)
            else:
                os.unlink(p)


def write_accounts(engine, mailboxes):
    engine.write_hive({SETTINGS_KEY: {"outhostname": "127.0.0.1"},
                       **{ACCOUNTS_KEY + "\\" + m.title: m.hive_values() for m in mailboxes}})


class Pop3:
    """A raw POP3 conversation on loopback."""

    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        self.buf = b""

    def line(self):
        while b"\r\n" not in self.buf:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise ConnectionError("closed")
            self.buf += chunk
        line, self.buf = self.buf.split(b"\r\n", 1)
        return line

    def multi(self):
        """The lines of a multi-line reply up to its "." line, still in transfer form."""
        out = []
        while True:
            l = self.line()
            if l == b".":
                return out
            out.append(l)

    def send(self, text):
        self.sock.sendall((text.encode("latin-1") if isinstance(text, str) else text) + b"\r\n")

    def cmd(self, text):
        self.send(text)
        return self.line().decode("latin-1")

    def login(self, title, password):
        assert self.line().startswith(b"+OK")
        assert self.cmd("USER " + title) == "+OK USER accepted"
        reply = self.cmd("PASS " + password)
        assert reply == "+OK Maildrop accessed", reply
        return self

    def closed_by_peer(self, seconds=5):
        try:
            self.sock.settimeout(seconds)
            while True:
                data = self.sock.recv(65536)
                if not data:
                    return True
                self.buf += data
        except OSError:
            return True

    def close(self):
        self.sock.close()


def unstuff(lines):
    """A message from the lines of a RETR reply: dots un-doubled, CRLF restored."""
    return b"".join((l[1:] if l.startswith(b".") else l) + b"\r\n" for l in lines)


class EngineWithMailboxes(unittest.TestCase):
    """One engine for a test class, with the accounts of MAILBOXES: (attribute, title,
    password, POP3 user) each, reachable as self.<attribute>."""

    MAILBOXES = []

    @classmethod
    def setUpClass(cls):
        cls.engine = Engine()
        boxes = []
        for attribute, title, password, user in cls.MAILBOXES:
            box = Mailbox(cls.engine, title, password, user)
            setattr(cls, attribute, box)
            boxes.append(box)
        write_accounts(cls.engine, boxes)
        cls.engine.start()

    @classmethod
    def tearDownClass(cls):
        cls.engine.stop()
