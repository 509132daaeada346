"""A private working directory for check_once (one account check without the engine): its
registry hive with POP3 accounts, its mailbox directories, and what a check left there."""

import os
import shutil
import subprocess
import tempfile

from harness import BIN_DIR, private_env, read_route

CHECK_ONCE = os.path.join(BIN_DIR, "check_once")
ACCOUNTS_KEY = r"HKEY_CURRENT_USER\SOFTWARE\Orrindale Systems\Tarnwick\Accounts"


def transfer_form(message: bytes) -> bytes:
    """A message as a POP3 server sends it and an item file holds it: CRLF line ends, a
    leading dot doubled, without the final "."."""
    lines = message.replace(b"\r\n", b"\n").split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()
    return b"".join((b"." + l if l.startswith(b".") else l) + b"\r\n" for l in lines)


def item_name(user, host, uid):
    def escape(text):
        return "".join(c if c.isascii() and c.isalnum() else "_%2X" % ord(c) for c in text)
    return "[%s]%s.rfc822" % (escape(user + "@" + host), escape(uid))


def _value_line(key, value):
    """One value in the hive's text: an int as a DWORD, anything else as a string."""
    if isinstance(value, int):
        return '"%s"=dword:%08x' % (key, value)
    return '"%s"="%s"' % (key, value.replace("\\", "\\\\").replace('"', '\\"'))


class CheckWorld:
    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="trawlex-check-")
        self.work = os.path.join(self.root, "work")
        for d in ("config/tarnwick", "work/accounts/holding"):
            os.makedirs(os.path.join(self.root, d), mode=0o700)
        self.env = private_env(self.root)
        self.accounts = []

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def add_account(self, title, port, user, password, host="127.0.0.1", values=None):
        """An account as the wizard makes it: mailbox and identifier file named user@host.
        values: further account values, a str written as a string, an int as a DWORD."""
        name = user + "@" + host
        self.accounts.append({"title": title, "server": host, "port": port, "user": user,
                              "pass": password, "uidlfile": name + ".uidl", "destmailbox": name,
                              "values": dict(values or {})})
        os.makedirs(self.mailbox(name), exist_ok=True)
        self.write_hive()

    def write_hive(self):
        """Writes the accounts, and the settings in self.settings (str or int values)."""
        lines = ["REGEDIT4", ""]
        settings = getattr(self, "settings", {})
        if settings:
            lines.append("[%s]" % ACCOUNTS_KEY.rsplit("\\", 1)[0])
            for key, value in settings.items():
                lines.append(_value_line(key, value))
            lines.append("")
        for a in self.accounts:
            lines.append("[%s\\%s]" % (ACCOUNTS_KEY, a["title"]))
            for key in ("server", "user", "pass", "uidlfile", "destmailbox"):
                lines.append('"%s"="%s"' % (key, a[key]))
            lines.append('"port"=dword:%08x' % a["port"])
            for key, value in a["values"].items():
                lines.append(_value_line(key, value))
            lines.append("")
        with open(os.path.join(self.root, "config", "tarnwick", "user.reg"), "w", encoding="utf-8") as f:
            f.write("\n".join(lines))

    def log_text(self):
        """Everything the checks wrote into the day logs."""
        text = ""
        for name in sorted(os.listdir(self.work)):
            if name.endswith(".log"):
                with open(os.path.join(self.work, name), errors="replace") as f:
                    text += f.read()
        return text

    def mailbox(self, name):
        return os.path.join(self.work, "accounts", name)

    def items(self, name):
        """File name -> bytes of every file in a mailbox directory."""
        out = {}
        for entry in sorted(os.listdir(self.mailbox(name))):
            with open(os.path.join(self.mailbox(name), entry), "rb") as f:
                out[entry] = f.read()
        return out

    def recorded(self, name):
        """The identifiers in an account's identifier file."""
        return read_route(os.path.join(self.work, name + ".uidl"))

    def start_check(self, timeout_ms=5000):
        return subprocess.Popen([CHECK_ONCE, "--timeout-ms", str(timeout_ms)], cwd=self.work, env=self.env,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def check(self, timeout=60):
        """Runs one whole check; answers (exit status, stored item paths, stderr)."""
        p = self.start_check()
        out, err = p.communicate(timeout=timeout)
        return p.returncode, out.decode().split(), err.decode()
