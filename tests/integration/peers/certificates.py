"""A private certificate authority for tests, made with the openssl command in a temporary
directory: server certificates signed by it (for given DNS names and IP addresses, valid or
already expired) and self-signed ones.

    with TestAuthority() as ca:
        cert, key = ca.server("localhost", ips=["127.0.0.1"])
        ... ca.ca_file is the authority's certificate (PEM) ...
"""

import os
import shutil
import subprocess
import tempfile

OPENSSL = shutil.which("openssl") or "/usr/bin/openssl"
EC_KEY = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]


def _run(*args):
    subprocess.run([OPENSSL, *args], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


class TestAuthority:
    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="test-ca-")
        os.chmod(self.dir, 0o755)   # Dovecot's master reads the files after dropping nothing
        self.ca_file = os.path.join(self.dir, "ca.pem")
        self.ca_key = os.path.join(self.dir, "ca.key")
        _run("req", "-x509", *EC_KEY, "-keyout", self.ca_key, "-out", self.ca_file, "-days", "2",
             "-subj", "/CN=Trawlex Test Authority", "-addext", "basicConstraints=critical,CA:TRUE",
             "-addext", "keyUsage=critical,keyCertSign,cRLSign")
        self._count = 0

    def _paths(self, stem):
        self._count += 1
        base = os.path.join(self.dir, "%s-%d" % (stem, self._count))
        return base + ".pem", base + ".key"

    @staticmethod
    def _names(dns, ips):
        return ",".join(["DNS:" + d for d in dns] + ["IP:" + i for i in ips])

    def server(self, *dns, ips=(), expired=False):
        """(certificate, key) signed by the authority; expired: its validity ended yesterday."""
        cert, key = self._paths("server")
        csr = cert + ".csr"
        ext = cert + ".ext"
        with open(ext, "w") as f:
            f.write("subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n"
                    % self._names(dns, ips))
        _run("req", *EC_KEY, "-keyout", key, "-out", csr, "-subj", "/CN=" + (dns[0] if dns else ips[0]))
        _run("x509", "-req", "-in", csr, "-CA", self.ca_file, "-CAkey", self.ca_key, "-CAcreateserial",
             "-days", "-1" if expired else "2", "-extfile", ext, "-out", cert)
        os.chmod(key, 0o644)
        return cert, key

    def self_signed(self, *dns, ips=()):
        """(certificate, key) that signs itself; trusted only where the certificate is given."""
        cert, key = self._paths("self")
        _run("req", "-x509", *EC_KEY, "-keyout", key, "-out", cert, "-days", "2",
             "-subj", "/CN=" + (dns[0] if dns else ips[0]), "-addext", "subjectAltName=" + self._names(dns, ips))
        os.chmod(key, 0o644)
        return cert, key

    def close(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
