"""Reads an strace log (strace -f -qq -yy -s 65535 -o FILE) and checks the order of what a
program told its peers against what it had made durable by then.

    trace = Trace.parse(text, cwd="/abs/working/dir")
    problems = check_retrieval(trace, provider_port, {n: (item_path, uid)}, mailbox, uidl_path)
    problems = check_delivery(trace, provider_port, queue_dir)
    problems = check_intake(trace, smtp_port, queue_dir)

Each check answers a Findings: the problems (each naming the trace lines of the syscalls in
question) and how many events it checked, so that a test can tell a clean run from one that
checked nothing.

The order is the order of the trace's lines. strace prints a syscall's line when it returns (a
syscall interrupted by another thread's is split into "<unfinished ...>" at its entry and
"<... resumed>" at its return), and a thread that waits for another's fsync can only go on
after strace has printed that fsync's return: so "returned on an earlier line" is "happened
before". Files are followed by identity, not by name: a descriptor is tied to the file it was
opened on, and a file keeps its identity through links and renames (O_TMPFILE files get their
first name by linkat). Paths are made absolute with the working directory strace shows
(AT_FDCWD</dir>).
"""

import os
import re

_LINE = re.compile(r"^(\d+)\s+(.*)$")
_UNFINISHED = " <unfinished ...>"
_RESUMED = re.compile(r"^<\.\.\. (\w+) resumed>(.*)$")
_CALL = re.compile(r"^(\w+)\((.*)$")
# An annotation: <...>, in which a socket's "->" does not end it.
_NOTE = r"<((?:[^>]|(?<=-)>)*)>"
_RET = re.compile(r"^\s*=\s*(-?\d+|\?|0x[0-9a-f]+)(?:" + _NOTE + r"(?:\(deleted\))?)?\s*(\w+)?")
_PROC_FD = re.compile(r"^/proc/(?:self|\d+)/fd/(\d+)$")
_CONN = re.compile(r"TCP(?:v6)?:\[(.*):(\d+)->(.*):(\d+)\]")

_FLUSHES = {"fsync", "fdatasync"}
_CHANGES = {"ftruncate", "fallocate"}
_WRITES = {"write", "pwrite64", "writev", "pwritev", "pwritev2", "send", "sendto", "sendmsg"}
_READS = {"read", "pread64", "readv", "preadv", "preadv2", "recv", "recvfrom", "recvmsg"}


# -- the text of one syscall --------------------------------------------------------------

def _split_args(text):
    """Splits 'a, "b,c", {d, e}) = 3<x>' into (['a', '"b,c"', '{d, e}'], ' = 3<x>')."""
    args, depth, start, i, n = [], 0, 0, 0, len(text)
    while i < n:
        c = text[i]
        if c == '"':
            i += 1
            while i < n and text[i] != '"':
                i += 2 if text[i] == "\\" else 1
        elif c == "<" and i > 0 and (text[i - 1].isdigit() or text[i - 1] == "D"):
            end = re.compile(_NOTE).match(text, i)
            i = n - 1 if end is None else end.end() - 1
        elif c in "([{":
            depth += 1
        elif c in ")]}":
            if depth == 0:
                tail = text[start:i].strip()
                if tail or args:
                    args.append(tail)
                return args, text[i + 1:]
            depth -= 1
        elif c == "," and depth == 0:
            args.append(text[start:i].strip())
            start = i + 1
        i += 1
    return args, ""


_ESCAPES = {"n": 10, "r": 13, "t": 9, "v": 11, "f": 12, '"': 34, "\\": 92, "a": 7, "b": 8, "e": 27}


def c_string(arg):
    """The bytes of a quoted strace string ("a\\r\\n\\1\\344", possibly followed by ...)."""
    start = arg.find('"')
    if start < 0:
        return b""
    out, i = bytearray(), start + 1
    while i < len(arg) and arg[i] != '"':
        c = arg[i]
        if c != "\\":
            out += c.encode("latin-1")
            i += 1
            continue
        e = arg[i + 1]
        if e == "x":
            out.append(int(arg[i + 2:i + 4], 16))
            i += 4
        elif e.isdigit():
            j = i + 1
            while j < len(arg) and j < i + 4 and arg[j] in "01234567":
                j += 1
            out.append(int(arg[i + 1:j], 8) & 0xFF)
            i = j
        else:
            out.append(_ESCAPES.get(e, ord(e)))
            i += 2
    return bytes(out)


def _strings(arg):
    """Every quoted string inside an argument (the iovecs of writev, sendmsg), joined."""
    out, i = b"", 0
    while True:
        j = arg.find('"', i)
        if j < 0:
            return out
        k = j + 1
        while k < len(arg) and arg[k] != '"':
            k += 2 if arg[k] == "\\" else 1
        out += c_string(arg[j:k + 1])
        i = k + 1


def _fd(arg):
    """(descriptor or 'AT_FDCWD', its annotation or None) of an argument like 5</a/b>."""
    m = re.match(r"^(-?\d+|AT_FDCWD)(?:" + _NOTE + ")?", arg.strip())
    if not m:
        return None, None
    fd = m.group(1)
    return (fd if fd == "AT_FDCWD" else int(fd)), m.group(2)


class Call:
    """One syscall: who, what, its arguments, its result, and the lines it entered and
    returned on (the same line unless another thread's syscall came in between)."""

    def __init__(self, pid, name, args, ret, ret_note, errno, entry, exit_, text):
        self.pid, self.name, self.args = pid, name, args
        self.ret, self.ret_note, self.errno = ret, ret_note, errno
        self.entry, self.exit, self.text = entry, exit_, text
        # What its descriptor stood for when it was called (a descriptor closed by another
        # thread meanwhile still names the same file to the call).
        self.file = self.conn = None

    @property
    def ok(self):
        return self.ret is not None and self.ret >= 0

    def __repr__(self):
        return "line %d: %d %s" % (self.exit + 1, self.pid, self.text)


def parse_calls(text):
    """The syscalls of a log, each once, in the order of their returns (entry lines kept)."""
    calls, pending = [], {}
    for number, raw in enumerate(text.splitlines()):
        m = _LINE.match(raw)
        if not m:
            continue
        pid, body = int(m.group(1)), m.group(2)
        if body.startswith("+++") or body.startswith("---"):
            continue
        r = _RESUMED.match(body)
        if r:
            if pid not in pending:
                continue
            name, head, entry = pending.pop(pid)
            whole = head + r.group(2)
        else:
            c = _CALL.match(body)
            if not c:
                continue
            if body.endswith(_UNFINISHED):
                pending[pid] = (c.group(1), c.group(2)[:-len(_UNFINISHED)], number)
                continue
            name, whole, entry = c.group(1), c.group(2), number
        args, rest = _split_args(whole)
        ret = _RET.match(rest)
        value, note, errno = None, None, None
        if ret and ret.group(1) != "?":
            value = int(ret.group(1), 0)
            note = ret.group(2)
            errno = ret.group(3) if value < 0 else None
        calls.append(Call(pid, name, args, value, note, errno, entry, number, name + "(" + whole))
    # A syscall still running when the log ended never returned: it made nothing durable.
    return calls


# -- what the calls did ---------------------------------------------------------------------

class File:
    """A file (or directory) followed by identity."""

    _next = 0

    def __init__(self, path, directory=False):
        File._next += 1
        self.id, self.path, self.directory = File._next, path, directory
        self.written = bytearray()   # every byte written to it, in order
        self.read = bytearray()
        self.last_change = None      # the Call of the last write, truncation or allocation
        self.flushes = []            # successful fsync and fdatasync Calls

    def flushed_after(self, seq, before):
        """The first successful flush that entered after line seq and returned before line before."""
        for f in self.flushes:
            if f.entry > seq and f.exit < before:
                return f
        return None


class Connection:
    def __init__(self, note):
        m = _CONN.search(note or "")
        self.note = note
        self.local_port = int(m.group(2)) if m else None
        self.remote_port = int(m.group(4)) if m else None


class Table:
    """A process's descriptors and working directory (threads share one)."""

    def __init__(self, cwd):
        self.fds, self.cwd = {}, cwd


class Trace:
    """The log replayed: descriptors, names, writes and flushes, and the socket traffic,
    handed to observers in order. Observers see removals at their entry (before they could
    take effect) and the socket traffic at its return (what was really sent); they judge
    each against what had returned before its entry."""

    def __init__(self, calls, cwd):
        self.calls = calls
        self.cwd = cwd

    @classmethod
    def parse(cls, text, cwd):
        return cls(parse_calls(text), cwd)

    def replay(self, observer):
        state = _State(self.cwd)
        events = []
        for call in self.calls:
            events.append((call.entry, 0, call))
            events.append((call.exit, 1, call))
        events.sort(key=lambda e: (e[0], e[1]))
        for _, is_exit, call in events:
            if is_exit:
                state.returned(call, observer)
            else:
                state.entered(call, observer)
        return state


class _State:
    def __init__(self, cwd):
        self.tables = {}
        self.first_cwd = cwd
        self.names = {}            # absolute path -> File
        self.entry_changes = {}    # (directory, name) -> the Call that last made or moved the name
        self.dir_flushes = {}      # directory -> successful fsync Calls on it
        self.made_dirs = {}        # directory -> the mkdir Call that made it
        self.global_flushes = []   # sync and syncfs Calls
        self.connections = {}      # (table id, fd) -> Connection
        self.pending_clones = []   # (parent's table, whether the child shares it)

    # -- descriptors and paths
    def table(self, pid):
        if pid not in self.tables:
            if self.pending_clones:
                parent, shared = self.pending_clones.pop(0)
                if shared:
                    self.tables[pid] = parent
                else:
                    self.tables[pid] = Table(parent.cwd)
                    self.tables[pid].fds = dict(parent.fds)
            elif self.tables:
                self.tables[pid] = next(iter(self.tables.values()))
            else:
                self.tables[pid] = Table(self.first_cwd)
        return self.tables[pid]

    def resolve(self, table, dirfd_arg, path):
        if path.startswith("/"):
            return os.path.normpath(path)
        base = table.cwd
        if dirfd_arg is not None:
            fd, note = _fd(dirfd_arg)
            if fd == "AT_FDCWD":
                if note:
                    table.cwd = base = note
            elif isinstance(table.fds.get(fd), File):
                base = table.fds[fd].path or base
            elif note:
                base = note
        return os.path.normpath(os.path.join(base, path))

    def file_of(self, table, arg):
        fd, note = _fd(arg)
        thing = table.fds.get(fd)
        if isinstance(thing, File):
            return thing
        if thing is None and note and not note.startswith(("TCP", "UDP", "UNIX", "pipe", "anon", "socket")):
            # Opened before the trace began (or by a call not traced): known by its name.
            f = self.names.get(note)
            if f is None:
                f = self.names[note] = File(note)
            table.fds[fd] = f
            return f
        return None

    def connection_of(self, table, arg):
        fd, note = _fd(arg)
        key = (id(table), fd)
        conn = Connection(note)
        if conn.remote_port is not None:
            self.connections[key] = conn
        return self.connections.get(key)

    def change_entry(self, path, call):
        self.entry_changes[(os.path.dirname(path), os.path.basename(path))] = call

    def dir_flushed_after(self, directory, seq, before):
        for f in self.dir_flushes.get(directory, []) + self.global_flushes:
            if f.entry > seq and f.exit < before:
                return f
        return None

    def file_flushed_after(self, f, seq, before):
        found = f.flushed_after(seq, before)
        if found:
            return found
        for g in self.global_flushes:
            if g.entry > seq and g.exit < before:
                return g
        return None

    # -- replay
    def entered(self, call, observer):
        table = self.table(call.pid)
        if call.args and call.name in _WRITES | _READS | _FLUSHES | _CHANGES | {"copy_file_range", "sendfile", "splice"}:
            arg = call.args[2] if call.name == "copy_file_range" and len(call.args) > 2 else call.args[0]
            call.conn = self.connection_of(table, arg)
            call.file = None if call.conn else self.file_of(table, arg)
        if call.name in ("clone", "clone3", "fork", "vfork"):
            # The child's first lines may come before the parent's return.
            self.pending_clones.append((table, call.name in ("clone", "clone3") and "CLONE_FILES" in call.text))
        elif call.name in ("unlink", "unlinkat", "rename", "renameat", "renameat2") and call.args:
            if call.name == "unlink":
                path = self.resolve(table, None, c_string(call.args[0]).decode("latin-1"))
            elif call.name == "unlinkat":
                path = self.resolve(table, call.args[0], c_string(call.args[1]).decode("latin-1"))
            elif call.name == "rename":
                path = self.resolve(table, None, c_string(call.args[0]).decode("latin-1"))
            else:
                path = self.resolve(table, call.args[0], c_string(call.args[1]).decode("latin-1"))
            observer.removing(self, path, call)

    def returned(self, call, observer):
        table = self.table(call.pid)
        name, a = call.name, call.args
        if name in ("clone", "clone3", "fork", "vfork"):
            if call.ok and call.ret > 0:
                self.table(call.ret)   # takes its pending clone, unless its lines came first
            return
        if not call.ok:
            return
        if name in ("open", "openat", "creat"):
            dirfd, path_arg, flags = (None, a[0], a[1] if len(a) > 1 else "") if name != "openat" else (a[0], a[1], a[2])
            if name == "creat":
                flags = "O_CREAT|O_TRUNC"
            path = self.resolve(table, dirfd, c_string(path_arg).decode("latin-1"))
            if "O_TMPFILE" in flags:
                f = File(None)
            else:
                f = self.names.get(path)
                if f is None:
                    f = self.names[path] = File(path, "O_DIRECTORY" in flags or path in self.made_dirs)
                    if "O_CREAT" in flags:
                        self.change_entry(path, call)
                if "O_TRUNC" in flags:
                    f.last_change = call
            table.fds[call.ret] = f
        elif name in ("socket", "accept", "accept4"):
            table.fds[call.ret] = "socket"
            self.connections.pop((id(table), call.ret), None)
            self.connection_of(table, "%d<%s>" % (call.ret, call.ret_note or ""))
        elif name == "close":
            fd, _ = _fd(a[0])
            table.fds.pop(fd, None)
            self.connections.pop((id(table), fd), None)
        elif name in ("dup", "dup2", "dup3") or (name == "fcntl" and len(a) > 1 and "F_DUPFD" in a[1]):
            fd, _ = _fd(a[0])
            if fd in table.fds:
                table.fds[call.ret] = table.fds[fd]
        elif name in _WRITES:
            data = _strings(a[1])[:call.ret]
            if call.conn:
                observer.socket_out(self, call.conn, data, call)
            elif call.file is not None:
                call.file.written += data
                call.file.last_change = call
        elif name in _READS:
            data = _strings(a[1])[:call.ret]
            if call.conn:
                observer.socket_in(self, call.conn, data, call)
            elif call.file is not None:
                call.file.read += data
        elif name in _CHANGES or name in ("copy_file_range", "sendfile", "splice"):
            if call.file is not None:
                call.file.last_change = call
        elif name in _FLUSHES:
            f = call.file
            if f is not None:
                f.flushes.append(call)
                if f.directory:
                    self.dir_flushes.setdefault(f.path, []).append(call)
        elif name in ("sync", "syncfs"):
            self.global_flushes.append(call)
        elif name in ("mkdir", "mkdirat"):
            path = self.resolve(table, a[0] if name == "mkdirat" else None,
                                c_string(a[1] if name == "mkdirat" else a[0]).decode("latin-1"))
            self.made_dirs[path] = call
            self.names[path] = File(path, True)
            self.change_entry(path, call)
        elif name in ("chdir",):
            table.cwd = self.resolve(table, None, c_string(a[0]).decode("latin-1"))
        elif name in ("rename", "renameat", "renameat2"):
            if name == "rename":
                old = self.resolve(table, None, c_string(a[0]).decode("latin-1"))
                new = self.resolve(table, None, c_string(a[1]).decode("latin-1"))
            else:
                old = self.resolve(table, a[0], c_string(a[1]).decode("latin-1"))
                new = self.resolve(table, a[2], c_string(a[3]).decode("latin-1"))
            f = self.names.pop(old, None) or File(old)
            f.path = new
            self.names[new] = f
            for p in [p for p in self.names if p.startswith(old + "/")]:
                moved = self.names.pop(p)
                moved.path = new + p[len(old):]
                self.names[moved.path] = moved
            self.change_entry(old, call)
            self.change_entry(new, call)
        elif name in ("link", "linkat"):
            if name == "link":
                old_text, new = c_string(a[0]).decode("latin-1"), self.resolve(table, None, c_string(a[1]).decode("latin-1"))
                old_dirfd = None
            else:
                old_text = c_string(a[1]).decode("latin-1")
                new = self.resolve(table, a[2], c_string(a[3]).decode("latin-1"))
                old_dirfd = a[0]
            m = _PROC_FD.match(old_text)
            if m:
                f = table.fds.get(int(m.group(1)))
            elif old_text == "" and name == "linkat":
                f = self.file_of(table, a[0])
            else:
                f = self.names.get(self.resolve(table, old_dirfd, old_text))
            if isinstance(f, File):
                if f.path is None:
                    f.path = new
                self.names[new] = f
            self.change_entry(new, call)
        elif name in ("unlink", "unlinkat", "rmdir"):
            path = self.resolve(table, a[0] if name == "unlinkat" else None,
                                c_string(a[1] if name == "unlinkat" else a[0]).decode("latin-1"))
            self.names.pop(path, None)
            self.change_entry(path, call)


# -- the checks -----------------------------------------------------------------------------

class Findings:
    def __init__(self):
        self.problems = []
        self.checked = 0

    def __repr__(self):
        return "%d checked, %d problems:\n%s" % (self.checked, len(self.problems), "\n".join(self.problems))


def _line(call):
    return "line %d" % (call.exit + 1) if call else "none"


class _Observer:
    def socket_out(self, state, conn, data, call):
        pass

    def socket_in(self, state, conn, data, call):
        pass

    def removing(self, state, path, call):
        pass


def _need_file_flushed(state, problems, what, f, trigger):
    """The file's last change (if any) has a successful flush after it, returned before trigger."""
    if f is None:
        problems.append("%s: no such file at %s" % (what, trigger))
        return
    if f.last_change is None or f.last_change.exit >= trigger.entry:
        return
    if not state.file_flushed_after(f, f.last_change.exit, trigger.entry):
        problems.append("%s: last written by %r, not flushed before %r (flushes: %s)"
                        % (what, f.last_change, trigger, ", ".join(map(_line, f.flushes)) or "none"))


def _need_entry_flushed(state, problems, what, path, trigger):
    """The directory entry of path, if made or moved in the trace, flushed before trigger."""
    directory = os.path.dirname(path)
    change = state.entry_changes.get((directory, os.path.basename(path)))
    if change is None or change.exit >= trigger.entry:
        return
    if not state.dir_flushed_after(directory, change.exit, trigger.entry):
        problems.append("%s: the entry made by %r is not flushed into %s before %r (flushes of %s: %s)"
                        % (what, change, directory, trigger, directory,
                           ", ".join(map(_line, state.dir_flushes.get(directory, []))) or "none"))


class _Retrieval(_Observer):
    def __init__(self, port, accounts):
        self.port, self.accounts = port, accounts
        self.pending = {}   # connection -> bytes of an unfinished command line
        self.user = {}      # connection -> the user it logged in as
        self.found = Findings()

    def socket_out(self, state, conn, data, call):
        if conn.remote_port != self.port:
            return
        text = self.pending.get(conn.local_port, b"") + data
        while b"\r\n" in text:
            line, text = text.split(b"\r\n", 1)
            m = re.match(rb"^(USER|DELE) (.+)$", line, re.I)
            if m and m.group(1).upper() == b"USER":
                self.user[conn.local_port] = m.group(2).decode("latin-1")
            elif m:
                self.dele(state, self.user.get(conn.local_port), int(m.group(2)), call)
        self.pending[conn.local_port] = text

    def dele(self, state, user, n, call):
        p = self.found.problems
        self.found.checked += 1
        account = self.accounts.get(user)
        if account is None or n not in account["targets"]:
            p.append("DELE %d of an unknown message of %r at %r" % (n, user, call))
            return
        item, uid = account["targets"][n]
        mailbox, uidl = account["mailbox"], account["uidl"]
        what = "DELE %d of %s" % (n, user)
        f = state.names.get(item)
        _need_file_flushed(state, p, what + ", item " + item, f, call)
        _need_entry_flushed(state, p, what + ", item " + item, item, call)
        made = state.made_dirs.get(mailbox)
        if made and made.exit < call.entry and not state.dir_flushed_after(os.path.dirname(mailbox), made.exit, call.entry):
            p.append("%s: the mailbox made by %r is not flushed into %s before %r (flushes of %s: %s)"
                     % (what, made, os.path.dirname(mailbox), call, os.path.dirname(mailbox),
                        ", ".join(map(_line, state.dir_flushes.get(os.path.dirname(mailbox), []))) or "none"))
        record = state.names.get(uidl)
        if record is None or uid not in bytes(record.written):
            p.append("%s: identifier %r not written to %s before %r" % (what, uid, uidl, call))
        else:
            _need_file_flushed(state, p, what + ", identifier file", record, call)
            _need_entry_flushed(state, p, what + ", identifier file", uidl, call)


class _Dialogue:
    """One SMTP connection seen from either end: the units that expect a reply (the greeting,
    each command, the end of each message text, each BDAT with its chunk) and the replies,
    matched one for one."""

    def __init__(self):
        self.units = [{"kind": "greeting", "call": None}]
        self.replies = []
        self.client = b""
        self.server = b""
        self.mode = "cmd"
        self.body = b""
        self.chunk_left = 0

    def client_bytes(self, data, call):
        self.client += data
        while True:
            if self.mode == "chunk":
                # "BDAT n": n bytes of text, the message as meant, not as stored. Its reply
                # comes after them; the unit is the text with the dot that begins a line
                # (after CRLF) doubled again, to compare with the item.
                if len(self.client) < self.chunk_left:
                    self.body += self.client
                    self.chunk_left -= len(self.client)
                    self.client = b""
                    return
                self.body += self.client[:self.chunk_left]
                self.client = self.client[self.chunk_left:]
                self.units.append({"kind": "dot", "call": call, "body": re.sub(rb"(^|\r\n)\.", rb"\1..", self.body)})
                self.body = b""
                self.mode = "cmd"
                continue
            if self.mode == "body":
                text = b"\r\n" + self.client
                end = text.find(b"\r\n.\r\n")
                if end < 0:
                    return
                self.units.append({"kind": "dot", "call": call, "body": text[2:end + 2]})
                self.client = text[end + 5:]
                self.mode = "cmd"
                continue
            if b"\r\n" not in self.client:
                return
            line, self.client = self.client.split(b"\r\n", 1)
            words = line.split()
            if len(words) >= 2 and words[0].upper() == b"BDAT" and words[1].isdigit():
                self.mode, self.chunk_left, self.body = "chunk", int(words[1]), b""
                continue
            self.units.append({"kind": "cmd", "call": call, "text": line})
            if line.upper() == b"DATA":
                self.mode = "await"   # the text follows once 354 has come
                return

    def server_bytes(self, data, call):
        """Answers the (unit, reply) pairs completed by these bytes."""
        done = []
        self.server += data
        while b"\r\n" in self.server:
            line, self.server = self.server.split(b"\r\n", 1)
            if len(line) > 3 and line[3:4] == b"-":
                continue
            index = len(self.replies)
            self.replies.append({"code": line[:3], "call": call, "text": line})
            unit = self.units[index] if index < len(self.units) else None
            if unit and unit["kind"] == "cmd" and unit["text"].upper() == b"DATA":
                self.mode = "body" if line[:3] == b"354" else "cmd"
                if self.mode == "body" and self.client:
                    self.client_bytes(b"", call)
            done.append((unit, self.replies[-1]))
        return done


class _Delivery(_Observer):
    def __init__(self, port, queue):
        self.port, self.queue = port, queue
        self.dialogues = {}
        self.found = Findings()

    def dialogue(self, conn):
        return self.dialogues.setdefault(conn.local_port, _Dialogue())

    def socket_out(self, state, conn, data, call):
        if conn.remote_port == self.port:
            self.dialogue(conn).client_bytes(data, call)

    def socket_in(self, state, conn, data, call):
        if conn.remote_port == self.port:
            self.dialogue(conn).server_bytes(data, call)

    def removing(self, state, path, call):
        if os.path.dirname(path) != self.queue or not path.endswith(".rfc822") or call.name.startswith("rename"):
            return
        self.found.checked += 1
        f = state.names.get(path)
        text = bytes(f.written or f.read) if f else b""
        dots = [(d, i, u) for d in self.dialogues.values() for i, u in enumerate(d.units)
                if u["kind"] == "dot" and u["call"].entry < call.entry and u["body"].rstrip(b"\r\n") == text.rstrip(b"\r\n")]
        if not text or not dots:
            self.found.problems.append("%s removed by %r, but its text was never sent to the provider" % (path, call))
            return
        d, i, unit = dots[-1]
        reply = d.replies[i] if i < len(d.replies) else None
        if reply is None or reply["call"].exit >= call.entry:
            self.found.problems.append("%s removed by %r before the provider's reply to its \".\" (sent by %r) was read%s"
                                       % (path, call, unit["call"], "" if reply is None else " (read by %r)" % reply["call"]))
        elif not reply["code"].startswith(b"2"):
            self.found.problems.append("%s removed by %r after the refusal %r to its \".\""
                                       % (path, call, reply["text"].decode("latin-1")))


class _Intake(_Observer):
    def __init__(self, port, queue):
        self.port, self.queue = port, queue
        self.dialogues = {}
        self.found = Findings()

    def dialogue(self, conn):
        return self.dialogues.setdefault(conn.remote_port, _Dialogue())

    def socket_in(self, state, conn, data, call):
        if conn.local_port == self.port:
            self.dialogue(conn).client_bytes(data, call)

    def socket_out(self, state, conn, data, call):
        if conn.local_port != self.port:
            return
        for unit, reply in self.dialogue(conn).server_bytes(data, call):
            if unit and unit["kind"] == "dot" and reply["code"] == b"250":
                self.accepted(state, unit, call)

    def accepted(self, state, unit, call):
        p = self.found.problems
        self.found.checked += 1
        since = unit["call"].exit
        made = [(path, change) for (d, n), change in state.entry_changes.items()
                if d == self.queue and since < change.exit < call.entry and (path := os.path.join(d, n)) in state.names]
        items = [path for path, _ in made if path.endswith(".rfc822")]
        routes = [path for path, _ in made if path.endswith(".rfc822.route")]
        if not items or not routes:
            p.append("250 for a message by %r, but no item and routing file came into %s after its \".\" (%r)"
                     % (call, self.queue, unit["call"]))
            return
        for path, _ in made:
            _need_file_flushed(state, p, "250 at line %d, %s" % (call.exit + 1, path), state.names[path], call)
            _need_entry_flushed(state, p, "250 at line %d, %s" % (call.exit + 1, path), path, call)


def check_retrieval(trace, port, accounts):
    """Every DELE written to the provider on port, for the user its connection logged in as
    (accounts: user -> {"targets": {message number: (absolute item path, identifier bytes)},
    "mailbox": absolute directory, "uidl": absolute identifier file}): its item and the
    identifier file (with that identifier written in it) flushed after their last change,
    their names flushed into their directories, and a mailbox made in the trace flushed into
    its parent."""
    o = _Retrieval(port, accounts)
    trace.replay(o)
    return o.found


def check_delivery(trace, port, queue):
    """Every item removed from queue (absolute) after its text went to the provider on port:
    the provider's 2xx reply to its "." was read first."""
    o = _Delivery(port, queue)
    trace.replay(o)
    return o.found


def check_intake(trace, port, queue):
    """Every 250 the local SMTP server on port sent for a message's ".": the item and routing
    files that came into queue (absolute) for it flushed, and their names flushed into queue."""
    o = _Intake(port, queue)
    trace.replay(o)
    return o.found
