"""A private engine set up for whole cycles: its registry (outgoing host, dial-up entry,
POP3 accounts), the stand-in nmcli first on PATH with its scenario directory, shortened
connection time-outs, and helpers to queue mail through the engine's own SMTP server."""

import os
import shutil
import smtplib
import tempfile

from harness import Engine, SETTINGS_KEY

FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "dialup", "fixtures")
ACCOUNTS_KEY = SETTINGS_KEY + r"\Accounts"


def quote(value):
    return '"%s"' % value.replace("\\", "\\\\").replace('"', '\\"')


class CycleWorld:
    def __init__(self, nmcli=True, timeout_ms=3000):
        self.scenario = tempfile.mkdtemp(prefix="nmcli-scenario-")
        self.no_path = tempfile.mkdtemp(prefix="empty-path-")
        path = FIXTURES + ":" + os.environ.get("PATH", "/usr/bin:/bin") if nmcli else self.no_path
        self.engine = Engine(env={"PATH": path, "NMCLI_SCENARIO": self.scenario,
                                  "TRAWLEX_NET_TIMEOUT_MS": str(timeout_ms)})
        self.accounts = []

    def start(self):
        self.engine.start()
        return self

    def close(self):
        self.engine.stop()
        shutil.rmtree(self.scenario, ignore_errors=True)
        shutil.rmtree(self.no_path, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.close()

    # -- configuration ----------------------------------------------------------------------
    def configure(self, smtp_port, rasentry="", accounts=()):
        """accounts: (title, pop3 port, user, password); each gets its mailbox user@127.0.0.1."""
        lines = ["REGEDIT4", "", "[%s]" % SETTINGS_KEY, '"outhostname"="127.0.0.1"',
                 '"outhostport"=dword:%08x' % smtp_port, '"rasentry"=%s' % quote(rasentry), ""]
        for title, port, user, password in accounts:
            box = user + "@127.0.0.1"
            lines += ["[%s\\%s]" % (ACCOUNTS_KEY, title), '"server"="127.0.0.1"',
                      '"port"=dword:%08x' % port, '"user"=%s' % quote(user), '"pass"=%s' % quote(password),
                      '"uidlfile"=%s' % quote(box + ".uidl"), '"destmailbox"=%s' % quote(box), ""]
            os.makedirs(self.mailbox(box), exist_ok=True)
        directory = os.path.join(self.engine.config_dir, "tarnwick")
        os.makedirs(directory, exist_ok=True)
        with open(os.path.join(directory, "user.reg"), "w") as f:
            f.write("\n".join(lines))

    def nmcli(self, **files):
        """Scenario files of the stand-in nmcli: entries, active, up_exit, up_sleep, ..."""
        for name, text in files.items():
            with open(os.path.join(self.scenario, name), "w") as f:
                f.write(text)

    def nmcli_calls(self):
        try:
            with open(os.path.join(self.scenario, "calls")) as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    # -- mail -------------------------------------------------------------------------------
    def queue(self, messages):
        """Queues (sender, [recipients], bytes) through the engine's local SMTP server."""
        with smtplib.SMTP("127.0.0.1", self.engine.smtp_port, timeout=10) as client:
            client.helo("client.example")
            for sender, recipients, text in messages:
                client.sendmail(sender, recipients, text)

    def queued_items(self):
        return sorted(n for n in os.listdir(os.path.join(self.engine.work, "outgoing")) if n.endswith(".rfc822"))

    def mailbox(self, box):
        return os.path.join(self.engine.work, "accounts", box)

    def items(self, box):
        out = {}
        for name in sorted(os.listdir(self.mailbox(box))):
            with open(os.path.join(self.mailbox(box), name), "rb") as f:
                out[name] = f.read()
        return out

    def cycle(self, timeout=30):
        """trawlexctl cycle: (exit status, printed lines)."""
        r = self.engine.ctl("--timeout", str(timeout), "cycle", timeout=timeout + 10)
        return r.returncode, r.stdout.splitlines()
