"""Stand-ins for what a mail settings look-up asks on the network, on loopback, in threads of
the test: an HTTPS server for domains' settings files (its certificate from the test's
authority, one for every name it serves) and a DNS server answering SRV and MX questions.

    with SettingsServer(ca, ["autoconfig.example.test", "example.test"]) as web:
        web.route("autoconfig.example.test", "/mail/config-v1.1.xml", body=b"...")
        web.route("example.test", "/.well-known/...", body=b"...", delay=30)   # a slow answer
        ... TRAWLEX_AUTOCONFIG_CONNECT=127.0.0.1:web.port ...
    with TestDns() as dns:
        dns.srv("_pop3s._tcp.example.test", [(0, 0, 995, "localhost")])
        dns.mx("example.test", [(10, "aspmx.l.google.com")])
        ... TRAWLEX_DNS_SERVER=127.0.0.1:dns.port ...
Any other question gets "no such name"; web.requests lists (host, path) as they came.
ImapsStandIn(cert, user, password) is an IMAP server over TLS with just enough for a server
check (greeting, CAPABILITY, LOGIN, LOGOUT).
"""

import socket
import ssl
import struct
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


class SettingsServer:
    def __init__(self, ca, names):
        self.cert, self.key = ca.server(*names)
        self.routes = {}
        self.requests = []
        server = self

        class Handler(BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_GET(self):
                host = (self.headers.get("Host") or "").split(":")[0]
                server.requests.append((host, self.path))
                status, body, delay = server.routes.get((host, self.path), (404, b"not here", 0))
                if delay:
                    time.sleep(delay)
                try:
                    self.send_response(status)
                    self.send_header("Content-Type", "text/xml")
                    self.send_header("Content-Length", str(len(body)))
                    self.end_headers()
                    self.wfile.write(body)
                except OSError:
                    pass

        self.httpd = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.httpd.daemon_threads = True
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(self.cert, self.key)
        self.httpd.socket = context.wrap_socket(self.httpd.socket, server_side=True)
        self.port = self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)

    def route(self, host, path, body=b"", status=200, delay=0):
        self.routes[(host, path)] = (status, body, delay)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.httpd.shutdown()
        self.httpd.server_close()


def _name(text):
    out = b""
    for label in text.rstrip(".").split("."):
        if label:
            out += bytes([len(label)]) + label.encode()
    return out + b"\0"


class TestDns:
    SRV, MX = 33, 15

    def __init__(self):
        self.records = {}
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.settimeout(0.2)
        self.port = self.sock.getsockname()[1]
        self.questions = []
        self._stop = False
        self.thread = threading.Thread(target=self._serve, daemon=True)

    def srv(self, name, targets):
        """targets: (priority, weight, port, target)"""
        self.records[(name.lower(), self.SRV)] = [struct.pack(">HHH", p, w, port) + _name(t)
                                                  for p, w, port, t in targets]

    def mx(self, name, hosts):
        self.records[(name.lower(), self.MX)] = [struct.pack(">H", pref) + _name(h) for pref, h in hosts]

    def _answer(self, query):
        qid, flags, qd = struct.unpack(">HHH", query[:6])
        pos, labels = 12, []
        while query[pos]:
            labels.append(query[pos + 1:pos + 1 + query[pos]].decode())
            pos += 1 + query[pos]
        qtype = struct.unpack(">H", query[pos + 1:pos + 3])[0]
        question = query[12:pos + 5]
        name = ".".join(labels).lower()
        self.questions.append((name, qtype))
        rdatas = self.records.get((name, qtype))
        rcode = 0 if rdatas else 3
        header = struct.pack(">HHHHHH", qid, 0x8180 | (flags & 0x0100) | rcode, 1, len(rdatas or []), 0, 0)
        answers = b"".join(struct.pack(">HHHIH", 0xC00C, qtype, 1, 300, len(r)) + r for r in rdatas or [])
        return header + question + answers

    def _serve(self):
        while not self._stop:
            try:
                query, peer = self.sock.recvfrom(4096)
            except socket.timeout:
                continue
            except OSError:
                return
            try:
                self.sock.sendto(self._answer(query), peer)
            except (IndexError, struct.error):
                pass

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self._stop = True
        self.thread.join(2)
        self.sock.close()


class ImapsStandIn:
    """An IMAP server over TLS from the first byte, enough for a server check: the greeting,
    CAPABILITY, LOGIN of one user, LOGOUT; every command line kept in commands."""

    def __init__(self, cert, user, password, greeting=b"* OK stand-in ready"):
        self.user, self.password, self.greeting = user, password, greeting
        self.commands = []
        self.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self.context.load_cert_chain(*cert)
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(4)
        self.listener.settimeout(0.2)
        self.port = self.listener.getsockname()[1]
        self._stop = False
        self.thread = threading.Thread(target=self._serve, daemon=True)

    def _session(self, conn):
        with self.context.wrap_socket(conn, server_side=True) as tls:
            tls.settimeout(10)
            reader = tls.makefile("rb")
            tls.sendall(self.greeting + b"\r\n")
            for raw in reader:
                line = raw.decode().rstrip("\r\n")
                self.commands.append(line)
                tag, _, rest = line.partition(" ")
                verb = rest.split(" ")[0].upper()
                if verb == "CAPABILITY":
                    tls.sendall(b"* CAPABILITY IMAP4rev1 AUTH=PLAIN IDLE\r\n%s OK done\r\n" % tag.encode())
                elif verb == "LOGIN":
                    good = rest == 'LOGIN "%s" "%s"' % (self.user, self.password)
                    tls.sendall(b"%s %s\r\n" % (tag.encode(), b"OK logged in" if good else
                                                b"NO [AUTHENTICATIONFAILED] wrong"))
                elif verb == "LOGOUT":
                    tls.sendall(b"* BYE\r\n%s OK bye\r\n" % tag.encode())
                    return
                else:
                    tls.sendall(b"%s BAD unknown\r\n" % tag.encode())

    def _serve(self):
        while not self._stop:
            try:
                conn, _ = self.listener.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            try:
                self._session(conn)
            except (OSError, ssl.SSLError):
                pass

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self._stop = True
        self.thread.join(2)
        self.listener.close()
