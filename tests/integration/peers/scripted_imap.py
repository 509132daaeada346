"""A scripted IMAP provider on loopback for the retrieval tests: one INBOX whose messages keep
between sessions (UID STORE \\Deleted and UID EXPUNGE take effect at once), and hostile
behaviours on request while a UID FETCH is answered:

    "huge"      the first message's BODY[] is a literal of huge_size bytes, sent in full
    "endless"   an endless FETCH line of flags instead of the answer (endless_size bytes, then
                nothing)
    "lying"     a literal that promises more bytes than come, then the tagged OK, then silence
    "stall"     half of the first literal, then silence
    "bye"       the first message whole, then "* BYE" and the connection closed
    "flood"     flood_count untagged responses before each answer
    "expunge"   "* 1 EXPUNGE" and the first message asked for left out of the first answer

Commands are kept in self.commands (LOGIN's password replaced)."""

import re
import threading

from scripted_server import ScriptedServer


class ScriptedImap(ScriptedServer):
    def __init__(self, messages=(), hostile=None, uidvalidity=77, capabilities="IMAP4rev1 UIDPLUS"):
        """messages: wire bytes with CRLF lines; UIDs 1, 2, ... in order. Without UIDPLUS in
        capabilities UID EXPUNGE is refused; UID COPY keeps the copies in self.copied."""
        self.messages = {i + 1: m for i, m in enumerate(messages)}
        self.capabilities = capabilities
        self.flagged = set()
        self.copied = {}
        self.hostile = hostile
        self.uidvalidity = uidvalidity
        self.huge_size = 64 * 1024 * 1024
        self.endless_size = 16 * 1024 * 1024
        self.flood_count = 50000
        self.commands = []
        super().__init__()

    def _silence(self):
        while not self._stop:
            threading.Event().wait(0.1)

    def _uids(self, uid_set):
        top = max(self.messages, default=0)
        out = []
        for part in uid_set.split(","):
            lo, _, hi = part.partition(":")
            lo = top if lo == "*" else int(lo)
            hi = lo if not hi else (top if hi == "*" else int(hi))
            out += [u for u in sorted(self.messages) if min(lo, hi) <= u <= max(lo, hi)]
        return out

    def _session(self, conn):
        send = conn.sendall
        send(b"* OK [CAPABILITY %s] scripted ready\r\n" % self.capabilities.encode())
        for line in self._lines(conn):
            tag, _, rest = line.partition(" ")
            words = rest.split(" ")
            cmd = words[0].upper()
            if cmd == "UID":
                cmd = "UID " + words[1].upper()
                words = words[1:]
            self.commands.append(tag + " " + (cmd + " ********" if cmd == "LOGIN" else rest))
            if cmd == "CAPABILITY":
                send(b"* CAPABILITY %s\r\n%s OK done\r\n" % (self.capabilities.encode(), tag.encode()))
            elif cmd == "LOGIN":
                send(b"%s OK logged in\r\n" % tag.encode())
            elif cmd in ("SELECT", "EXAMINE"):
                send(b"* %d EXISTS\r\n* OK [UIDVALIDITY %d] ok\r\n%s OK [READ-WRITE] done\r\n"
                     % (len(self.messages), self.uidvalidity, tag.encode()))
            elif cmd == "UID SEARCH":
                send(b"* SEARCH %s\r\n%s OK done\r\n" % (" ".join(map(str, sorted(self.messages))).encode(), tag.encode()))
            elif cmd == "UID FETCH":
                if not self._fetch(send, tag, self._uids(words[1])):
                    return
            elif cmd == "UID STORE":
                if "\\Deleted" in rest:
                    self.flagged.update(self._uids(words[1]))
                send(b"%s OK done\r\n" % tag.encode())
            elif cmd == "UID COPY":
                for uid in self._uids(words[1]):
                    self.copied[uid] = self.messages[uid]
                send(b"%s OK [COPYUID 1 1 1] done\r\n" % tag.encode())
            elif cmd == "EXPUNGE":
                for uid in list(self.flagged):
                    self.messages.pop(uid, None)
                self.flagged.clear()
                send(b"%s OK done\r\n" % tag.encode())
            elif cmd == "UID EXPUNGE" and "UIDPLUS" not in self.capabilities:
                send(b"%s BAD no UIDPLUS here\r\n" % tag.encode())
            elif cmd == "UID EXPUNGE":
                for uid in self._uids(words[1]):
                    self.messages.pop(uid, None)
                send(b"%s OK done\r\n" % tag.encode())
            elif cmd == "LOGOUT":
                send(b"* BYE bye\r\n%s OK done\r\n" % tag.encode())
                return
            else:
                send(b"%s BAD unknown\r\n" % tag.encode())

    def _fetch(self, send, tag, uids):
        """False when the session is to end."""
        seqs = {u: i + 1 for i, u in enumerate(sorted(self.messages))}
        if self.hostile == "flood":
            send(b"* 1 EXISTS\r\n* OK [ALERT] noise\r\n" * (self.flood_count // 2))
        if self.hostile == "endless":
            send(b"* 1 FETCH (FLAGS (")
            chunk = b"\\Seen " * 10000
            for _ in range(self.endless_size // len(chunk)):
                send(chunk)
            self._silence()
            return False
        if self.hostile == "expunge" and uids:
            send(b"* 1 EXPUNGE\r\n")
            uids = uids[1:]
            self.hostile = None   # once
        for n, uid in enumerate(uids):
            body = self.messages[uid]
            mid = re.search(rb"(?im)^message-id:[^\r\n]*\r\n", body)
            header = (mid.group(0) if mid else b"") + b"\r\n"
            head = b"* %d FETCH (UID %d BODY[HEADER.FIELDS (MESSAGE-ID)] {%d}\r\n%s BODY[] " % (seqs[uid], uid, len(header), header)
            if n == 0 and self.hostile == "huge":
                send(head + b"{%d}\r\n" % self.huge_size)
                chunk = (b"y" * 1022 + b"\r\n") * 64
                left = self.huge_size
                while left > 0:
                    send(chunk[:left])
                    left -= min(left, len(chunk))
                send(b")\r\n")
                continue
            if n == 0 and self.hostile == "lying":
                send(head + b"{%d}\r\n%s)\r\n%s OK done\r\n" % (len(body) + 100, body, tag.encode()))
                self._silence()
                return False
            if n == 0 and self.hostile == "stall":
                send(head + b"{%d}\r\n%s" % (len(body), body[:len(body) // 2]))
                self._silence()
                return False
            send(head + b"{%d}\r\n%s)\r\n" % (len(body), body))
            if n == 0 and self.hostile == "bye":
                send(b"* BYE going away\r\n")
                return False
        send(b"%s OK done\r\n" % tag.encode())
        return True
