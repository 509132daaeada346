"""A private engine for one test: temporary runtime, config, data and working directories,
free loopback ports, and helpers to talk to it (trawlexctl, raw link records, SMTP dialogues)."""

import glob
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import time

BIN_DIR = os.environ.get("TRAWLEX_BIN_DIR", os.path.join(os.path.dirname(__file__), "../../build/bin"))
TRAWLEX = os.path.join(BIN_DIR, "trawlex")
TRAWLEXCTL = os.path.join(BIN_DIR, "trawlexctl")

SETTINGS_KEY = r"HKEY_CURRENT_USER\SOFTWARE\Orrindale Systems\Tarnwick"


# What a test program may take from the environment it was started in: where programs are,
# the language, and the sanitizers' options. Everything that names a user's session (HOME,
# the XDG directories, DISPLAY, the D-Bus session bus, ports) is the test world's own.
PASSED_THROUGH = ("PATH", "LANG", "LANGUAGE", "LC_ALL", "LC_CTYPE", "TZ", "TMPDIR", "USER", "LOGNAME",
                  "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "PYTHONDONTWRITEBYTECODE")
PRIVATE_DIRS = {"HOME": "home", "XDG_RUNTIME_DIR": "run", "XDG_CONFIG_HOME": "config",
                "XDG_DATA_HOME": "data", "XDG_CACHE_HOME": "cache", "XDG_STATE_HOME": "state",
                "XDG_CONFIG_DIRS": "etc-xdg"}


def private_env(root, **extra):
    """An environment that sees nothing outside root: a home, every XDG directory (made here,
    0700) and a session bus address where no bus listens; no display unless extra gives one."""
    env = {name: os.environ[name] for name in PASSED_THROUGH if name in os.environ}
    for name, sub in PRIVATE_DIRS.items():
        path = os.path.join(root, sub)
        os.makedirs(path, mode=0o700, exist_ok=True)
        env[name] = path
    env["XDG_DATA_DIRS"] = "/usr/local/share:/usr/share"
    env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + os.path.join(root, "no-bus")
    env.update(extra)
    return env


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def children(pid):
    """The process ids of pid's children."""
    out = []
    for task in glob.glob("/proc/%d/task/*/children" % pid):
        try:
            with open(task) as f:
                out += [int(p) for p in f.read().split()]
        except OSError:
            pass
    return out


def has_ipv6_loopback():
    try:
        with socket.socket(socket.AF_INET6) as s:
            s.bind(("::1", 0))
        return True
    except OSError:
        return False


def wait_until(predicate, seconds=5.0, step=0.02):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


class Engine:
    """One trawlex process in a world of its own."""

    def __init__(self, make_dirs=True, env=None):
        self.root = tempfile.mkdtemp(prefix="trawlex-it-")
        self.run_dir = os.path.join(self.root, "run")
        self.config_dir = os.path.join(self.root, "config")
        self.work = os.path.join(self.root, "work")
        os.makedirs(self.work, mode=0o700)
        if make_dirs:
            os.makedirs(os.path.join(self.work, "outgoing"))
            os.makedirs(os.path.join(self.work, "accounts", "holding"))
        self.smtp_port = free_port()
        self.pop3_port = free_port()
        self.env = private_env(self.root, TRAWLEX_SMTP_PORT=str(self.smtp_port),
                               TRAWLEX_POP3_PORT=str(self.pop3_port))
        if env:
            self.env.update(env)
        self.proc = None
        self.stderr_path = os.path.join(self.root, "engine.stderr")
        # A program the engine runs under (strace ...): the engine is then its child.
        self.prefix = []

    # -- life ------------------------------------------------------------------------------
    def start(self, wait_smtp=True, preexec_fn=None, args=()):
        """Starts the engine; when it does not come up, it is ended and its world removed
        before the error is raised, so a failed set-up leaves nothing behind."""
        self.stderr_file = open(self.stderr_path, "wb")
        self.proc = subprocess.Popen([*self.prefix, TRAWLEX, *args], cwd=self.work, env=self.env, preexec_fn=preexec_fn,
                                     stdout=subprocess.DEVNULL, stderr=self.stderr_file)
        sock = self.link_socket()
        try:
            if not wait_until(lambda: os.path.exists(sock) or self.proc.poll() is not None, 20):
                raise RuntimeError("engine did not publish its window")
            if self.proc.poll() is not None:
                raise RuntimeError("engine ended at start: " + self.stderr())
            if wait_smtp:
                wait_until(self._smtp_listening, 20)
        except BaseException:
            self.kill()
            raise
        return self

    def kill(self):
        """Ends the engine at once and removes its world."""
        if self.proc and self.proc.poll() is None:
            # An engine run under another program outlives that program's end: it goes first.
            for child in children(self.proc.pid) if self.prefix else ():
                os.kill(child, signal.SIGKILL)
            os.kill(self.proc.pid, signal.SIGKILL)
            self.proc.wait()
        self.stop()

    def _smtp_listening(self):
        try:
            with socket.create_connection(("127.0.0.1", self.smtp_port), timeout=1) as s:
                s.recv(100)
            return True
        except OSError:
            return False

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.ctl("shutdown", timeout=10)
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.kill(self.proc.pid, signal.SIGKILL)
                self.proc.wait()
        if self.proc:
            self.stderr_file.close()
        shutil.rmtree(self.root, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    # -- what it wrote ---------------------------------------------------------------------
    def stderr(self):
        with open(self.stderr_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def log_lines(self):
        lines = []
        for path in sorted(glob.glob(os.path.join(self.work, "*.log"))):
            with open(path, "rb") as f:
                lines += f.read().decode("latin-1").splitlines()
        return lines

    def log_texts(self):
        """The log lines without their time stamps: 'MAIL  MED Start cycle'."""
        return [re.sub(r"^\d{6}  ", "", l) for l in self.log_lines()]

    def queue(self):
        return sorted(os.listdir(os.path.join(self.work, "outgoing")))

    def queued_items(self):
        """(item text, routing addresses) of every queued item, oldest first."""
        out = []
        for name in self.queue():
            if name.endswith(".rfc822"):
                path = os.path.join(self.work, "outgoing", name)
                with open(path, "rb") as f:
                    out.append((f.read(), read_route(path + ".route")))
        return out

    # -- commands --------------------------------------------------------------------------
    def ctl(self, *args, timeout=15, cwd=None):
        return subprocess.run([TRAWLEXCTL, *args], env=self.env, capture_output=True, text=True,
                              timeout=timeout, cwd=cwd)

    def ctl_background(self, *args):
        return subprocess.Popen([TRAWLEXCTL, *args], env=self.env, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)

    def write_registry(self, values, key=SETTINGS_KEY):
        """Writes the hive file with one key of values (str or int)."""
        self.write_hive({key: values})

    def write_hive(self, keys):
        """Writes the hive file with several keys: {key path: {value name: str or int}}."""
        lines = ["REGEDIT4"]
        for key, values in keys.items():
            lines += ["", "[" + key + "]"]
            for name, value in values.items():
                if isinstance(value, int):
                    lines.append('"%s"=dword:%08x' % (name, value))
                else:
                    lines.append('"%s"="%s"' % (name, value.replace("\\", "\\\\").replace('"', '\\"')))
        path = os.path.join(self.config_dir, "tarnwick")
        os.makedirs(path, exist_ok=True)
        with open(os.path.join(path, "user.reg"), "w") as f:
            f.write("\n".join(lines) + "\n")

    def link_socket(self):
        return os.path.join(self.run_dir, "tarnwick", "APPCLASS.Trawlex.sock")

    def post_raw(self, msg, wparam, lparam, raw=None):
        """Posts one link record (or raw bytes) to the engine's window; answers whether the
        engine then kept the connection open."""
        record = raw if raw is not None else link_record(1, msg, wparam, lparam)
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
            s.connect(self.link_socket())
            s.sendall(record)
            s.settimeout(0.5)
            try:
                return s.recv(1) != b""
            except socket.timeout:
                return True


def link_record(kind, msg, wparam, lparam, flags=0, dwdata=0, payload=b""):
    return struct.pack("<IHHIIQqQII", 0x4B4C5754, 1, kind, msg, flags, wparam, lparam, dwdata,
                       len(payload), 0) + payload


class Dialogue:
    """A raw SMTP conversation: one command, one reply line."""

    def __init__(self, port, source=None):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=5,
                                             source_address=(source, 0) if source else None)
        self.buf = b""

    def line(self):
        while b"\r\n" not in self.buf:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise ConnectionError("closed")
            self.buf += chunk
        line, self.buf = self.buf.split(b"\r\n", 1)
        return line.decode("latin-1")

    def send(self, text):
        self.sock.sendall(text.encode("latin-1") + b"\r\n")

    def cmd(self, text):
        self.send(text)
        return self.line()

    def closed_by_peer(self):
        try:
            self.sock.settimeout(3)
            return self.sock.recv(1) == b""
        except OSError:
            return True

    def close(self):
        self.sock.close()


def read_route(path):
    """The addresses of a routing file: count, then length-prefixed addresses."""
    with open(path, "rb") as f:
        data = f.read()
    count = struct.unpack_from("<i", data, 0)[0]
    pos, out = 4, []
    for _ in range(count):
        n = struct.unpack_from("<i", data, pos)[0]
        out.append(data[pos + 4:pos + 4 + n].decode("latin-1"))
        pos += 4 + n
    assert pos == len(data), "routing file has trailing bytes"
    return out
