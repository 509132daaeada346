"""A small OAuth 2.0 authorization server standing for the provider's, for tests.

Run in a subprocess on a free loopback port (plain HTTP: the engine allows it to 127.0.0.0/8):

    with OAuthServer(users={"client-1": "alice"}, lifetime=3600) as auth:
        auth.url("/authorize"), auth.url("/token"), auth.url("/introspect")

- GET /authorize approves at once: it redirects to redirect_uri with a fresh code and the
  state, for the user the client id is mapped to; it insists on an S256 code challenge.
- POST /token: the authorization_code grant (the code once, the same client and redirect_uri,
  and the PKCE verifier whose S256 digest is the challenge) and the refresh_token grant. Access
  tokens live `lifetime` seconds. Refused grants answer 400 with "invalid_grant". With
  rotate=True each refresh grant also hands out a new refresh token and retires the one used.
- POST /introspect (RFC 7662, token=...): {"active": true, "username": ...} while the access
  token lives and is not revoked, else {"active": false}.
- POST /revoke (RFC 7009, token=...): an access token or a refresh token (which also ends the
  access tokens it gave).
Every grant is appended to grants.jsonl ({"grant": ..., "ok": ...}); auth.grants() reads it.
"""

import base64
import hashlib
import json
import os
import secrets
import shutil
import signal
import socket
import sys
import tempfile
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from peer_process import start_peer, stop_peer  # noqa: E402


def _free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class OAuthServer:
    def __init__(self, users, lifetime=3600, rotate=False):
        self.dir = tempfile.mkdtemp(prefix="oauth-server-")
        self.port = _free_port()
        self.script = {"port": self.port, "users": dict(users), "lifetime": lifetime, "rotate": rotate}
        self.proc = None

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def start(self, seconds=10.0):
        with open(os.path.join(self.dir, "script.json"), "w") as f:
            json.dump(self.script, f)
        self.proc = start_peer(__file__, self.dir, seconds)
        if not self.proc:
            self.close()
            raise RuntimeError("the authorization server did not start")
        return self

    def close(self):
        stop_peer(self.proc)
        self.proc = None
        shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.close()

    def post(self, path, **fields):
        import urllib.request
        data = urllib.parse.urlencode(fields).encode()
        with urllib.request.urlopen(self.url(path), data=data, timeout=10) as r:
            return json.loads(r.read() or b"{}")

    def grants(self):
        try:
            with open(os.path.join(self.dir, "grants.jsonl")) as f:
                return [json.loads(line) for line in f]
        except FileNotFoundError:
            return []

    def tokens_issued(self):
        """Every access and refresh token handed out, so that tests can look for them in files."""
        return [g[k] for g in self.grants() for k in ("access_token", "refresh_token", "code") if g.get(k)]


# --- the server process -------------------------------------------------------------------

def _serve(directory):
    os.chdir(directory)
    with open("script.json") as f:
        script = json.load(f)
    signal.signal(signal.SIGTERM, lambda *a: sys.exit(0))
    codes, access, refresh = {}, {}, {}

    def record(entry):
        with open("grants.jsonl", "a") as f:
            f.write(json.dumps(entry) + "\n")

    def new_access(user, refresh_token):
        token = "at-" + secrets.token_urlsafe(24)
        access[token] = {"user": user, "exp": time.time() + script["lifetime"], "refresh": refresh_token}
        return token

    class Handler(BaseHTTPRequestHandler):
        def log_message(self, *args):
            pass

        def reply(self, status, body, headers=()):
            data = json.dumps(body).encode()
            self.send_response(status)
            for name, value in headers:
                self.send_header(name, value)
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)

        def do_GET(self):
            url = urllib.parse.urlsplit(self.path)
            q = dict(urllib.parse.parse_qsl(url.query))
            user = script["users"].get(q.get("client_id", ""))
            if url.path != "/authorize" or not user or q.get("response_type") != "code" \
                    or q.get("code_challenge_method") != "S256" or not q.get("code_challenge") \
                    or not q.get("redirect_uri", "").startswith("http://127.0.0.1:"):
                return self.reply(400, {"error": "invalid_request"})
            code = "code-" + secrets.token_urlsafe(16)
            codes[code] = {"user": user, "client": q["client_id"], "redirect": q["redirect_uri"],
                           "challenge": q["code_challenge"], "scope": q.get("scope", "")}
            target = q["redirect_uri"] + "?" + urllib.parse.urlencode({"code": code, "state": q.get("state", "")})
            self.send_response(302)
            self.send_header("Location", target)
            self.send_header("Content-Length", "0")
            self.end_headers()

        def do_POST(self):
            length = int(self.headers.get("Content-Length") or 0)
            form = dict(urllib.parse.parse_qsl(self.rfile.read(length).decode()))
            path = urllib.parse.urlsplit(self.path).path
            if path == "/token":
                return self.token(form)
            if path == "/introspect":
                info = access.get(form.get("token", ""))
                if not info or info["exp"] < time.time():
                    return self.reply(200, {"active": False})
                return self.reply(200, {"active": True, "username": info["user"], "exp": int(info["exp"])})
            if path == "/revoke":
                token = form.get("token", "")
                access.pop(token, None)
                if refresh.pop(token, None):
                    for t in [t for t, i in access.items() if i["refresh"] == token]:
                        del access[t]
                return self.reply(200, {})
            self.reply(404, {"error": "not_found"})

        def token(self, form):
            grant = form.get("grant_type")
            if grant == "authorization_code":
                c = codes.pop(form.get("code", ""), None)
                verifier = form.get("code_verifier", "")
                digest = base64.urlsafe_b64encode(hashlib.sha256(verifier.encode()).digest()).rstrip(b"=").decode()
                if not c or c["client"] != form.get("client_id") or c["redirect"] != form.get("redirect_uri") \
                        or digest != c["challenge"] or not 43 <= len(verifier) <= 128:
                    record({"grant": grant, "ok": False})
                    return self.reply(400, {"error": "invalid_grant"})
                rt = "rt-" + secrets.token_urlsafe(24)
                refresh[rt] = c["user"]
                at = new_access(c["user"], rt)
                record({"grant": grant, "ok": True, "code": form.get("code"), "access_token": at, "refresh_token": rt})
                return self.reply(200, {"access_token": at, "token_type": "Bearer", "expires_in": script["lifetime"],
                                        "refresh_token": rt, "scope": c["scope"]})
            if grant == "refresh_token":
                rt = form.get("refresh_token", "")
                user = refresh.get(rt)
                if not user or form.get("client_id") not in script["users"]:
                    record({"grant": grant, "ok": False})
                    return self.reply(400, {"error": "invalid_grant", "error_description": "revoked"})
                answer = {"token_type": "Bearer", "expires_in": script["lifetime"]}
                if script.get("rotate"):
                    del refresh[rt]
                    rt = answer["refresh_token"] = "rt-" + secrets.token_urlsafe(24)
                    refresh[rt] = user
                answer["access_token"] = at = new_access(user, rt)
                record({"grant": grant, "ok": True, "access_token": at, "refresh_token": answer.get("refresh_token")})
                return self.reply(200, answer)
            self.reply(400, {"error": "unsupported_grant_type"})

    server = ThreadingHTTPServer(("127.0.0.1", script["port"]), Handler)
    open("ready", "w").close()
    server.serve_forever()


if __name__ == "__main__":
    _serve(sys.argv[1])
