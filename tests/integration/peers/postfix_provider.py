"""A private Postfix smtpd standing for a provider that offers CHUNKING (BDAT) and PIPELINING.

Everything lives in a temporary directory: configuration, queue, log, and every accepted
message as its own file in out/ (delivered by the pipe transport, with LF line ends and
Postfix's own Received line on top). Header checks let a test have a message refused:
a Subject "reject-me" gets a 5xx at the end of the text, or a 4xx with soft_bounce=True.
With chunking=False its EHLO does not offer CHUNKING.

    with PostfixProvider() as provider:
        ... deliver to 127.0.0.1:provider.port ...
        provider.messages()   # [bytes, ...] as delivered
        provider.log()        # the maillog ("... bdat=1 ..." on each disconnect line)
"""

import os
import shutil
import socket
import subprocess
import tempfile
import time


def _free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def available():
    return shutil.which("postfix") is not None and os.path.exists("/etc/postfix/postfix-files") and os.geteuid() == 0


MASTER = """\
127.0.0.1:{port} inet n - n - - smtpd
pickup    unix  n       -       n       60      1       pickup
cleanup   unix  n       -       n       -       0       cleanup
qmgr      unix  n       -       n       300     1       qmgr
rewrite   unix  -       -       n       -       -       trivial-rewrite
bounce    unix  -       -       n       -       0       bounce
defer     unix  -       -       n       -       0       bounce
trace     unix  -       -       n       -       0       bounce
verify    unix  -       -       n       -       1       verify
flush     unix  n       -       n       1000?   0       flush
proxymap  unix  -       -       n       -       -       proxymap
showq     unix  n       -       n       -       -       showq
error     unix  -       -       n       -       -       error
retry     unix  -       -       n       -       -       error
discard   unix  -       -       n       -       -       discard
anvil     unix  -       -       n       -       1       anvil
scache    unix  -       -       n       -       1       scache
postlog   unix-dgram n  -       n       -       1       postlogd
fileout   unix  -       n       n       -       -       pipe
  flags= user=nobody argv=/usr/bin/dd of={dir}/out/${{queue_id}}.eml status=none
"""

MAIN = """\
compatibility_level = 3.6
queue_directory = {dir}/spool
data_directory = {dir}/data
meta_directory = {dir}/etc
maillog_file = {dir}/log/maillog
maillog_file_prefixes = {dir}/log
mail_owner = postfix
setgid_group = postdrop
myhostname = provider.test
mydomain = provider.test
myorigin = provider.test
mydestination =
relay_domains =
relayhost =
inet_interfaces = 127.0.0.1
inet_protocols = ipv4
mynetworks_style = host
mynetworks = 127.0.0.0/8
smtpd_relay_restrictions = permit_mynetworks, reject
smtpd_recipient_restrictions = permit_mynetworks, reject
smtpd_peername_lookup = no
smtp_dns_support_level = disabled
default_transport = fileout
local_transport = fileout
alias_maps =
alias_database =
biff = no
local_header_rewrite_clients =
always_add_missing_headers = no
message_size_limit = 0
mailbox_size_limit = 0
header_checks = regexp:{dir}/etc/header_checks
queue_run_delay = 1s
"""

HEADER_CHECKS = """\
/^Subject: reject-me/ REJECT 5.7.1 refused by the provider's content check
"""


class PostfixProvider:
    def __init__(self, soft_bounce=False, chunking=True):
        self.dir = tempfile.mkdtemp(prefix="postfix-provider-")
        self.port = _free_port()
        self.soft_bounce = soft_bounce
        self.chunking = chunking

    def start(self, seconds=20.0):
        d = self.dir
        os.chmod(d, 0o755)
        for sub in ("etc", "spool", "data", "log", "out"):
            os.makedirs(os.path.join(d, sub), exist_ok=True)
            os.chmod(os.path.join(d, sub), 0o755)
        shutil.chown(os.path.join(d, "data"), "postfix")
        shutil.chown(os.path.join(d, "out"), "nobody")
        for name in ("postfix-files", "dynamicmaps.cf"):
            shutil.copy(os.path.join("/etc/postfix", name), os.path.join(d, "etc"))
        for name in ("postfix-files.d", "dynamicmaps.cf.d"):
            if os.path.isdir(os.path.join("/etc/postfix", name)):
                shutil.copytree(os.path.join("/etc/postfix", name), os.path.join(d, "etc", name))
        with open(os.path.join(d, "etc", "main.cf"), "w") as f:
            f.write(MAIN.format(dir=d) + ("soft_bounce = yes\n" if self.soft_bounce else "") +
                    ("" if self.chunking else "smtpd_discard_ehlo_keywords = chunking\n"))
        with open(os.path.join(d, "etc", "master.cf"), "w") as f:
            f.write(MASTER.format(dir=d, port=self.port))
        with open(os.path.join(d, "etc", "header_checks"), "w") as f:
            f.write(HEADER_CHECKS)
        env = dict(os.environ, MAIL_CONFIG=os.path.join(d, "etc"))
        for step in ("check", "start"):
            r = subprocess.run(["postfix", "-c", os.path.join(d, "etc"), step], env=env, capture_output=True, text=True)
            if r.returncode != 0:
                raise RuntimeError("postfix %s: %s" % (step, r.stderr))
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return self
            except OSError:
                time.sleep(0.1)
        self.close()
        raise RuntimeError("postfix smtpd does not listen on %d" % self.port)

    def stop(self):
        subprocess.run(["postfix", "-c", os.path.join(self.dir, "etc"), "stop"],
                       env=dict(os.environ, MAIL_CONFIG=os.path.join(self.dir, "etc")), capture_output=True)

    def close(self):
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.close()

    def messages(self, recipients=0, seconds=30.0):
        """The delivered messages, once they have reached so many recipients in all (the log
        says status=sent for each) or seconds have passed."""
        deadline = time.monotonic() + seconds
        while self.log().count("status=sent") < recipients and time.monotonic() < deadline:
            time.sleep(0.1)
        out = os.path.join(self.dir, "out")
        result = []
        for name in sorted(os.listdir(out)):
            with open(os.path.join(out, name), "rb") as f:
                result.append(f.read())
        return result

    def log(self):
        try:
            with open(os.path.join(self.dir, "log", "maillog"), errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""
