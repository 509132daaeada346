"""A private SMTP server standing for the provider's outgoing host, for tests and benchmarks.

It runs aiosmtpd (Debian's python3-aiosmtpd) in a subprocess on a free loopback port, keeps
every accepted message's exact bytes (as the server has them after the final "." and the
removal of doubled leading dots) with its envelope in a temporary directory, and refuses what
its script says:

    with SmtpProvider(refuse_rcpt={"nobody@example.net": "550 5.1.1 no such user"},
                      refuse_mail_from={"grey@example.org": "451 4.7.1 try again later"},
                      refuse_data="452 4.3.1 out of space",        # the reply to the final "."
                      refuse_data_command="554 5.7.1 no") as provider:  # the reply to DATA
        ... deliver to 127.0.0.1:provider.port ...
        provider.messages()   # [{"mail_from": ..., "rcpt_tos": [...], "data": b"..."}, ...]

SmtpProvider(silent=True) accepts connections and never says anything (no greeting).

Encrypted and authenticated providers (all off by default):
    SmtpProvider(tls="starttls" or "tls", cert=..., key=...)   # STARTTLS offered, or TLS from
                                                               # the first byte
    SmtpProvider(users={"ann": "pw"})      # AUTH required before MAIL (over TLS only, unless
                                           # auth_in_clear=True); auth_exclude=["PLAIN"] hides
                                           # a mechanism
    SmtpProvider(record=True).transcript()  # every line received: {"line", "tls"}
    SmtpProvider(receive_buffer=4096)       # a small window, so that senders must wait
    SmtpProvider(oauth_introspect=URL)      # AUTH required by XOAUTH2 or OAUTHBEARER only, over
                                            # TLS; each token is asked at that RFC 7662
                                            # endpoint (oauth_mechanisms limits the offer)
    SmtpProvider(pipelining=True)           # EHLO offers PIPELINING (commands are read in
                                            # order whatever was sent at once)
Lines up to 1 MiB are taken (the stock limit of 1001 bytes would refuse long lines).
Run as a program (python3 smtp_provider.py DIR) it serves DIR/script.json until killed.
"""

import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from peer_process import PYTHON, start_peer, stop_peer  # noqa: E402


def _free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def available():
    """Whether aiosmtpd can be imported by the interpreter the provider runs under."""
    return subprocess.run([PYTHON, "-c", "import aiosmtpd"], capture_output=True).returncode == 0


class SmtpProvider:
    def __init__(self, refuse_mail_from=None, refuse_rcpt=None, refuse_data=None, refuse_data_command=None, silent=False,
                 directory=None, tls=None, cert=None, key=None, users=None, auth_exclude=None,
                 auth_in_clear=False, record=False, receive_buffer=0, oauth_introspect=None,
                 oauth_mechanisms=("XOAUTH2", "OAUTHBEARER"), pipelining=False):
        self._own_dir = directory is None
        self.dir = directory or tempfile.mkdtemp(prefix="smtp-provider-")
        self.port = _free_port()
        self.script = {
            "port": self.port,
            "refuse_mail_from": dict(refuse_mail_from or {}),
            "refuse_rcpt": dict(refuse_rcpt or {}),
            "refuse_data": refuse_data,
            "refuse_data_command": refuse_data_command,
            "silent": silent,
            "tls": tls,
            "cert": cert,
            "key": key,
            "users": dict(users) if users else None,
            "auth_exclude": list(auth_exclude or []),
            "auth_in_clear": auth_in_clear,
            "record": record,
            "receive_buffer": receive_buffer,
            "oauth_introspect": oauth_introspect,
            "oauth_mechanisms": list(oauth_mechanisms),
            "pipelining": pipelining,
        }
        self.proc = None

    # --- life ---------------------------------------------------------------------------
    def start(self, seconds=10.0):
        os.makedirs(os.path.join(self.dir, "messages"), exist_ok=True)
        with open(os.path.join(self.dir, "script.json"), "w") as f:
            json.dump(self.script, f)
        self.proc = start_peer(__file__, self.dir, seconds)
        if not self.proc:
            raise RuntimeError("the SMTP provider did not start: " + self.stderr())
        return self

    def stop(self):
        stop_peer(self.proc)
        self.proc = None

    def close(self):
        self.stop()
        if self._own_dir:
            shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.close()

    # --- what it received ---------------------------------------------------------------
    def messages(self):
        """Accepted messages in the order they were accepted."""
        box = os.path.join(self.dir, "messages")
        out = []
        for name in sorted(n for n in os.listdir(box) if n.endswith(".json")):
            with open(os.path.join(box, name)) as f:
                envelope = json.load(f)
            with open(os.path.join(box, name[:-5] + ".eml"), "rb") as f:
                envelope["data"] = f.read()
            out.append(envelope)
        return out

    def transcript(self):
        """Every command line received, in order, as {"line": text, "tls": bool}."""
        try:
            with open(os.path.join(self.dir, "transcript.jsonl")) as f:
                return [json.loads(line) for line in f]
        except FileNotFoundError:
            return []

    def clear(self):
        box = os.path.join(self.dir, "messages")
        for name in os.listdir(box):
            os.unlink(os.path.join(box, name))

    def stderr(self):
        try:
            with open(os.path.join(self.dir, "stderr"), "rb") as f:
                return f.read().decode(errors="replace")
        except OSError:
            return ""


# --- the server process -------------------------------------------------------------------

class _Handler:
    def __init__(self, directory, script):
        self.box = os.path.join(directory, "messages")
        self.script = script
        self.count = 0

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        refusal = self.script["refuse_mail_from"].get(address)
        if refusal:
            return refusal
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        refusal = self.script["refuse_rcpt"].get(address)
        if refusal:
            return refusal
        envelope.rcpt_tos.append(address)
        envelope.rcpt_options.extend(rcpt_options)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.script["refuse_data"]:
            return self.script["refuse_data"]
        self.count += 1
        stem = os.path.join(self.box, "%07d" % self.count)
        # The message first, its envelope last and by rename: a listed envelope has its data.
        with open(stem + ".eml", "wb") as f:
            f.write(envelope.original_content)
        with open(stem + ".tmp", "w") as f:
            json.dump({"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos}, f)
        os.rename(stem + ".tmp", stem + ".json")
        return "250 Message accepted for delivery"


class _PipeliningHandler(_Handler):
    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        return responses[:-1] + ["250-PIPELINING"] + responses[-1:]


def _record_lines(implicit_tls):
    """Writes every command line the server reads, and whether TLS protected it, to
    transcript.jsonl, from the server's own trace of what it read."""
    import logging
    from aiosmtpd.smtp import SMTP

    sessions = {}
    original = SMTP.connection_made

    def connection_made(self, transport):
        original(self, transport)
        sessions[self.session.peer] = self
    SMTP.connection_made = connection_made

    class Recorder(logging.Handler):
        def emit(self, record):
            if record.msg != "%r >> %r" or len(record.args) != 2:
                return
            peer, line = record.args
            smtp = sessions.get(peer)
            tls = implicit_tls or bool(smtp and smtp._tls_protocol)
            if isinstance(line, bytes):
                line = line.decode(errors="replace")
            with open("transcript.jsonl", "a") as f:
                f.write(json.dumps({"line": line, "tls": tls}) + "\n")
    logger = logging.getLogger("mail.log")
    logger.setLevel(logging.INFO)
    logger.addHandler(Recorder())


def _bearer_smtp(base, introspect_url, mechanisms):
    """base with AUTH XOAUTH2 and OAUTHBEARER, each token checked at introspect_url."""
    import asyncio
    import base64
    import urllib.parse
    import urllib.request
    from aiosmtpd.smtp import MISSING, AuthResult

    def introspect(token):
        data = urllib.parse.urlencode({"token": token}).encode()
        with urllib.request.urlopen(introspect_url, data=data, timeout=10) as r:
            return json.loads(r.read())

    async def bearer(self, args, mechanism):
        if len(args) == 2:
            try:
                raw = base64.b64decode(args[1], validate=True)
            except ValueError:
                return AuthResult(success=False, handled=False, message="501 5.5.2 Can't decode base64")
        else:
            raw = await self.challenge_auth("", encode_to_b64=False)
            if raw is MISSING:
                return AuthResult(success=False, handled=True)
        fields = raw.decode(errors="replace").split("\x01")
        if mechanism == "XOAUTH2":
            user = fields[0][5:] if fields[0].startswith("user=") else ""
        else:
            gs2 = fields[0].split(",")
            user = gs2[1][2:] if len(gs2) > 1 and gs2[1].startswith("a=") else ""
        auth = [f for f in fields[1:] if f.startswith("auth=Bearer ")]
        token = auth[0][len("auth=Bearer "):] if auth else ""
        info = await asyncio.get_running_loop().run_in_executor(None, introspect, token)
        if info.get("active") and info.get("username") == user:
            return AuthResult(success=True, auth_data=user)
        # The error report goes in a challenge; the client's answer ends the exchange.
        if await self.challenge_auth(json.dumps({"status": "401", "schemes": "bearer"})) is MISSING:
            return AuthResult(success=False, handled=True)   # the refusal went out already
        return AuthResult(success=False, handled=False)

    class BearerSMTP(base):
        pass
    if "XOAUTH2" in mechanisms:
        async def auth_XOAUTH2(self, server, args):
            return await bearer(self, args, "XOAUTH2")
        BearerSMTP.auth_XOAUTH2 = auth_XOAUTH2
    if "OAUTHBEARER" in mechanisms:
        async def auth_OAUTHBEARER(self, server, args):
            return await bearer(self, args, "OAUTHBEARER")
        BearerSMTP.auth_OAUTHBEARER = auth_OAUTHBEARER
    return BearerSMTP


def _serve_silently(port):
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(16)
    held = []
    open("ready", "w").close()
    while True:
        conn, _ = listener.accept()
        held.append(conn)   # kept open, never answered


def _serve(directory):
    os.chdir(directory)
    with open("script.json") as f:
        script = json.load(f)
    signal.signal(signal.SIGTERM, lambda *a: sys.exit(0))
    if script["silent"]:
        _serve_silently(script["port"])
        return
    from aiosmtpd.controller import Controller
    from aiosmtpd.smtp import SMTP

    class LongLineSMTP(SMTP):
        line_length_limit = 1 << 20

        async def smtp_DATA(self, arg):
            if script.get("refuse_data_command"):
                await self.push(script["refuse_data_command"])
                return
            await super().smtp_DATA(arg)

    if script.get("oauth_introspect"):
        LongLineSMTP = _bearer_smtp(LongLineSMTP, script["oauth_introspect"], script["oauth_mechanisms"])

    class LongLineController(Controller):
        def factory(self):
            return LongLineSMTP(self.handler, **self.SMTP_kwargs)

        def _create_server(self):
            if not script.get("receive_buffer"):
                return super()._create_server()
            # Set before listening, so that every accepted connection inherits it.
            listener = socket.socket()
            listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            listener.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, script["receive_buffer"])
            listener.bind((self.hostname, self.port))
            return self.loop.create_server(self._factory_invoker, sock=listener, ssl=self.ssl_context)

    kwargs = {}
    if script.get("tls"):
        import ssl
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(script["cert"], script["key"])
        kwargs["ssl_context" if script["tls"] == "tls" else "tls_context"] = context
    if script.get("users"):
        from aiosmtpd.smtp import AuthResult
        users = script["users"]

        def authenticator(server, session, envelope, mechanism, auth_data):
            login = auth_data.login.decode(errors="replace")
            password = auth_data.password.decode(errors="replace")
            return AuthResult(success=users.get(login) == password, handled=False)
        kwargs.update(authenticator=authenticator, auth_required=True,
                      # TLS from the first byte protects the whole session, which the
                      # server's own test (an upgraded session) does not see.
                      auth_require_tls=not (script.get("auth_in_clear") or script.get("tls") == "tls"),
                      auth_exclude_mechanism=script.get("auth_exclude") or None)
    if script.get("oauth_introspect"):
        from aiosmtpd.smtp import AuthResult
        excluded = [m for m in ("PLAIN", "LOGIN", "XOAUTH2", "OAUTHBEARER") if m not in script["oauth_mechanisms"]]
        kwargs.update(authenticator=lambda *a: AuthResult(success=False), auth_required=True,
                      auth_require_tls=script.get("tls") != "tls", auth_exclude_mechanism=excluded)
    if script.get("record"):
        _record_lines(script.get("tls") == "tls")
    handler = (_PipeliningHandler if script.get("pipelining") else _Handler)(directory, script)
    controller = LongLineController(handler, hostname="127.0.0.1",
                                    port=script["port"], **kwargs)
    controller.start()
    open("ready", "w").close()
    try:
        while True:
            time.sleep(3600)
    finally:
        controller.stop()


if __name__ == "__main__":
    _serve(sys.argv[1])
