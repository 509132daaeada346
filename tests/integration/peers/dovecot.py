"""A private Dovecot POP3 server for tests and benchmarks: its own config file, passwd-file,
maildirs, state and log in one temporary directory, listening on a free loopback port.

    with PrivateDovecot({"alice": "secret"}) as dc:
        dc.deliver("alice", b"Subject: hi\r\n\r\nbody\r\n")
        ... POP3 on 127.0.0.1:dc.port ...
        dc.messages("alice")   # what is still on the server

PrivateDovecot(users, ssl="starttls", cert=..., key=...) offers STLS on its port;
ssl="pop3s" speaks TLS from the first byte there instead. protocol="imap" serves IMAP on the
port instead of POP3 (ssl="starttls" or "imaps" likewise); deliver() and messages() then take
a folder, kept in the maildir as ".Folder". read_log() is its transcript: a
login shows "Login: user=<...>" with "TLS" when protected, a session that never sent USER ends
"Disconnected ... user=<>".
"""

import os
import pwd
import grp
import shutil
import socket
import subprocess
import tempfile
import time

DOVECOT = shutil.which("dovecot") or "/usr/sbin/dovecot"


def _free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def available():
    return os.path.exists(DOVECOT)


class PrivateDovecot:
    def __init__(self, users, directory=None, ssl=None, cert=None, key=None, oauth_introspect=None,
                 oauth_mechanisms="xoauth2 oauthbearer", protocol="pop3"):
        """oauth_introspect: an RFC 7662 endpoint; the users then log in by XOAUTH2 or
        OAUTHBEARER only, with access tokens that endpoint calls active for them."""
        self.users = dict(users)
        self.protocol = protocol
        self.oauth_introspect = oauth_introspect
        self.oauth_mechanisms = oauth_mechanisms
        self._own_dir = directory is None
        self.dir = directory or tempfile.mkdtemp(prefix="dovecot-")
        self.port = _free_port()
        self.config = os.path.join(self.dir, "dovecot.conf")
        self.log = os.path.join(self.dir, "dovecot.log")
        self._seq = 0
        self.ssl, self.cert, self.key = ssl, cert, key
        # Dovecot refuses to keep mail as root; root's tests hand the maildirs to "nobody".
        if os.getuid() == 0:
            nobody = pwd.getpwnam("nobody")
            self.mail_uid, self.mail_gid = nobody.pw_uid, nobody.pw_gid
        else:
            self.mail_uid, self.mail_gid = os.getuid(), os.getgid()

    def _chown_tree(self):
        if os.getuid() != 0:
            return
        top = os.path.join(self.dir, "mail")
        for root, dirs, files in os.walk(top):
            for name in [root] + [os.path.join(root, n) for n in dirs + files]:
                os.chown(name, self.mail_uid, self.mail_gid)

    # --- life ---------------------------------------------------------------------------
    def start(self):
        for sub in ("run", "state", "mail"):
            os.makedirs(os.path.join(self.dir, sub), exist_ok=True)
        with open(os.path.join(self.dir, "passwd"), "w") as f:
            for user, password in self.users.items():
                f.write(f"{user}:{{PLAIN}}{password}\n")
        for user in self.users:
            for sub in ("cur", "new", "tmp"):
                os.makedirs(self.maildir(user, sub), exist_ok=True)
        self._chown_tree()
        me = pwd.getpwuid(os.getuid()).pw_name
        group = grp.getgrgid(os.getgid()).gr_name
        # As root, Dovecot's unprivileged users from the package do the log-in work; as
        # anyone else, every process runs as that user.
        login_user = "dovenull" if os.getuid() == 0 else me
        internal_user = "dovecot" if os.getuid() == 0 else me
        d = self.dir
        if self.ssl:
            ssl_lines = f"ssl = yes\nssl_cert = <{self.cert}\nssl_key = <{self.key}\n"
            if os.path.exists("/usr/share/dovecot/dh.pem"):
                ssl_lines += "ssl_dh = </usr/share/dovecot/dh.pem\n"
        else:
            ssl_lines = "ssl = no\n"
        pop3_port, pop3s_port = (0, self.port) if self.ssl == "pop3s" else (self.port, 0)
        imap_port, imaps_port = (0, self.port) if self.ssl == "imaps" else (self.port, 0)
        if self.protocol == "imap":
            pop3_port = pop3s_port = 0
        else:
            imap_port = imaps_port = 0
        mechanisms = "plain"
        passdb = f"""passdb {{
  driver = passwd-file
  args = scheme=PLAIN username_format=%u {d}/passwd
}}"""
        if self.oauth_introspect:
            mechanisms = self.oauth_mechanisms
            with open(os.path.join(d, "oauth2.conf.ext"), "w") as f:
                f.write(f"introspection_mode = post\nintrospection_url = {self.oauth_introspect}\n"
                        "username_attribute = username\nactive_attribute = active\nactive_value = true\n"
                        "force_introspection = yes\n")
            passdb = f"""passdb {{
  driver = oauth2
  mechanisms = {mechanisms}
  args = {d}/oauth2.conf.ext
}}"""
        namespace = ""
        if self.protocol == "imap":
            # The special-use folders an "ALL" account skips.
            namespace = """namespace inbox {
  inbox = yes
  mailbox Trash {
    special_use = \\Trash
  }
  mailbox Junk {
    special_use = \\Junk
  }
}
"""
        with open(self.config, "w") as f:
            f.write(namespace + f"""
base_dir = {d}/run
state_dir = {d}/state
log_path = {d}/dovecot.log
info_log_path = {d}/dovecot.log
protocols = {self.protocol}
listen = 127.0.0.1
{ssl_lines}disable_plaintext_auth = no
auth_mechanisms = {mechanisms}
default_login_user = {login_user}
default_internal_user = {internal_user}
default_internal_group = {group if os.getuid() != 0 else "dovecot"}
{passdb}
userdb {{
  driver = static
  args = uid={self.mail_uid} gid={self.mail_gid} home={d}/mail/%u
}}
mail_location = maildir:{d}/mail/%u
first_valid_uid = 1
pop3_uidl_format = %08Xu%08Xv
service pop3-login {{
  inet_listener pop3 {{
    address = 127.0.0.1
    port = {pop3_port}
  }}
  chroot =
}}
service anvil {{
  chroot =
}}
service imap-login {{
  inet_listener imap {{
    address = 127.0.0.1
    port = {imap_port}
  }}
  inet_listener imaps {{
    address = 127.0.0.1
    port = {imaps_port}
    ssl = yes
  }}
  chroot =
}}
service pop3-login {{
  inet_listener pop3s {{
    address = 127.0.0.1
    port = {pop3s_port}
    ssl = yes
  }}
}}
service submission-login {{
  inet_listener submission {{
    port = 0
  }}
}}
service lmtp {{
  unix_listener lmtp {{
    mode = 0666
  }}
}}
""")
        os.chmod(d, 0o755)
        subprocess.run([DOVECOT, "-c", self.config], check=True)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=1) as s:
                    # A TLS listener says nothing before a handshake: accepting is enough.
                    if self.ssl in ("pop3s", "imaps") or s.recv(100).startswith((b"+OK", b"* OK")):
                        return self
            except OSError:
                time.sleep(0.05)
        log = self.read_log()
        self.stop()   # a server that did not come up in time is not left behind
        raise RuntimeError("dovecot did not start; log:\n" + log)

    def stop(self):
        subprocess.run([DOVECOT, "-c", self.config, "stop"], check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        pidfile = os.path.join(self.dir, "run", "master.pid")
        deadline = time.monotonic() + 5
        while os.path.exists(pidfile) and time.monotonic() < deadline:
            time.sleep(0.05)
        if self._own_dir:
            shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def read_log(self):
        try:
            with open(self.log, errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    # --- mail ---------------------------------------------------------------------------
    def maildir(self, user, sub="", folder=None):
        if folder and folder != "INBOX":
            return os.path.join(self.dir, "mail", user, "." + folder, sub)
        return os.path.join(self.dir, "mail", user, sub)

    def make_folder(self, user, folder):
        """An empty folder of user's (IMAP)."""
        for sub in ("cur", "new", "tmp"):
            os.makedirs(self.maildir(user, sub, folder), exist_ok=True)
        self._chown_tree()

    def deliver(self, user, message: bytes, folder=None):
        """Puts one message (bytes, any line ends) into the user's maildir as new mail. Dovecot
        keeps LF in its files and sends CRLF, so lines are stored with LF."""
        self._seq += 1
        data = message.replace(b"\r\n", b"\n")
        name = f"{int(time.time())}.M{self._seq}P{os.getpid()}.test"
        self.make_folder(user, folder)
        tmp = os.path.join(self.maildir(user, "tmp", folder), name)
        with open(tmp, "wb") as f:
            f.write(data)
        if os.getuid() == 0:
            os.chown(tmp, self.mail_uid, self.mail_gid)
        os.rename(tmp, os.path.join(self.maildir(user, "new", folder), name))

    def messages(self, user, folder=None):
        """The messages still on the server for user (bytes with LF line ends), by file name."""
        # A session that is still ending may move a file from new/ to cur/ (or delete it)
        # while it is read: such a listing is taken again.
        for _ in range(50):
            out = {}
            try:
                for sub in ("new", "cur"):
                    where = self.maildir(user, sub, folder)
                    if not os.path.isdir(where):
                        continue
                    for name in sorted(os.listdir(where)):
                        with open(os.path.join(where, name), "rb") as f:
                            out[name] = f.read()
                return out
            except FileNotFoundError:
                time.sleep(0.02)
        raise RuntimeError("the maildir of %s kept changing while it was read" % user)
