"""The listening side the scripted providers share: a socket on loopback served by a thread of
its own, one session at a time, until close(). A subclass answers a connection in _session."""

import socket
import threading


class ScriptedServer:
    def __init__(self):
        """Starts serving at once: a subclass sets its own state before calling this."""
        self.sessions = 0
        self._stop = False
        self._listener = socket.socket()
        self._listener.bind(("127.0.0.1", 0))
        self._listener.listen(4)
        self._listener.settimeout(0.2)
        self.port = self._listener.getsockname()[1]
        self._thread = threading.Thread(target=self._serve, daemon=True)
        self._thread.start()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        self._stop = True
        self._thread.join(timeout=10)
        self._listener.close()

    def _session(self, conn):
        raise NotImplementedError

    def _serve(self):
        while not self._stop:
            try:
                conn, _ = self._listener.accept()
            except OSError:
                continue
            self.sessions += 1
            try:
                self._session(conn)
            except OSError:
                pass   # the client went away
            finally:
                conn.close()

    def _lines(self, conn):
        """The client's lines without their CRLF, until it closes or the server stops."""
        buf = b""
        conn.settimeout(0.2)
        while not self._stop:
            while b"\r\n" in buf:
                line, buf = buf.split(b"\r\n", 1)
                yield line.decode("latin-1")
            try:
                data = conn.recv(65536)
            except socket.timeout:
                continue
            if not data:
                return
            buf += data
