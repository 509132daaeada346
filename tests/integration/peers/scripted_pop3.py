"""A scripted POP3 provider on loopback for the retrieval tests: a mailbox that keeps its
messages between sessions (deletions take effect at QUIT, as on a real server), and hostile
behaviours on request: RETR refused for some messages, a listing of any size produced on the
fly, silence or a trickle in the middle of a listing or a message."""

import time

from scripted_server import ScriptedServer


class ScriptedPop3(ScriptedServer):
    def __init__(self, messages=()):
        """messages: (identifier, wire bytes with CRLF lines, already in transfer form)."""
        self.messages = list(messages)
        self.refused = set()          # identifiers whose RETR is refused
        self.listing = None           # callable -> iterable of bytes: the UIDL lines instead
        self.stall = None             # "listing" or "message": say part of it, then nothing
        self.trickle = None           # (phase, seconds): one line of that phase per interval
        self.commands = []
        super().__init__()

    def identifiers(self):
        return [uid for uid, _ in self.messages]

    # -- the server --------------------------------------------------------------------------
    def _hold(self, conn):
        """Says nothing more and waits until the client closes (or the test ends)."""
        for _ in self._lines(conn):
            pass

    def _send_lines(self, conn, phase, lines):
        """Sends lines; False when the script says to stop talking in this phase."""
        pace = self.trickle[1] if self.trickle and self.trickle[0] == phase else 0
        for n, line in enumerate(lines):
            if self.stall == phase and n == 1:
                return False
            conn.sendall(line)
            if pace:
                time.sleep(pace)
        return True

    def _session(self, conn):
        conn.sendall(b"+OK scripted\r\n")
        deleted = set()
        for line in self._lines(conn):
            self.commands.append(line)
            word, _, arg = line.partition(" ")
            word = word.upper()
            if word in ("USER", "PASS", "NOOP"):
                conn.sendall(b"+OK\r\n")
            elif word == "UIDL":
                conn.sendall(b"+OK\r\n")
                if self.listing:
                    lines = self.listing()
                else:
                    lines = [b"%d %s\r\n" % (n, uid.encode()) for n, (uid, _) in enumerate(self.messages, 1)]
                if not self._send_lines(conn, "listing", lines):
                    return self._hold(conn)
                conn.sendall(b".\r\n")
            elif word == "RETR":
                uid, text = self.messages[int(arg) - 1]
                if uid in self.refused:
                    conn.sendall(b"-ERR cannot read this one\r\n")
                    continue
                conn.sendall(b"+OK\r\n")
                if not self._send_lines(conn, "message", text.splitlines(keepends=True)):
                    return self._hold(conn)
                conn.sendall(b".\r\n")
            elif word == "DELE":
                deleted.add(int(arg))
                conn.sendall(b"+OK\r\n")
            elif word == "QUIT":
                self.messages = [m for n, m in enumerate(self.messages, 1) if n not in deleted]
                conn.sendall(b"+OK bye\r\n")
                return
            else:
                conn.sendall(b"-ERR unknown\r\n")
