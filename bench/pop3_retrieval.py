#!/usr/bin/python3
"""Retrieval benchmark: MESSAGES messages of about 10 KB on a private Dovecot POP3 server,
retrieved into the store by one account check (check_once), and the same number retrieved in
the same run by fetchmail delivering each message to a file of its own through its --mda, and
by mpop (where installed) delivering to a maildir. The clients take turns for ROUNDS rounds;
prints every run, the median time and messages per second of each, and our median over mpop's.

    bench/pop3_retrieval.py [MESSAGES [ROUNDS]]   (after scripts/build.sh; default 1000, 5)
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(TOP, "tests", "integration"))
os.environ.setdefault("TRAWLEX_BIN_DIR", os.path.join(TOP, "build", "bin"))

sys.path.insert(0, os.path.join(TOP, "bench"))

from check_world import CheckWorld  # noqa: E402
from harness import private_env  # noqa: E402
from interleaved import interleaved_runs, print_runs  # noqa: E402
from peers.dovecot import PrivateDovecot  # noqa: E402


def message(n):
    line = b"%05d Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod.\n" % n
    return (b"From: bench@example.net\nTo: user@example.net\nMessage-ID: <%d@bench>\n"
            b"Subject: message %d\n\n" % (n, n) + line * 128)   # about 10 KB


def seed(dc, user, count):
    for n in range(count):
        dc.deliver(user, message(n))


def run_ours(dc, count):
    world = CheckWorld()
    try:
        world.add_account("bench", dc.port, "bench", "pw")
        start = time.monotonic()
        p = world.start_check()
        out, err = p.communicate(timeout=600)
        elapsed = time.monotonic() - start
        stored = len(out.split())
        if p.returncode != 0 or stored != count:
            raise RuntimeError("check_once stored %d of %d (status %d)" % (stored, count, p.returncode))
        return elapsed
    finally:
        world.close()


def run_fetchmail(dc, count):
    home = tempfile.mkdtemp(prefix="fetchmail-bench-")
    out_dir = os.path.join(home, "out")
    os.mkdir(out_dir)
    rc = os.path.join(home, "fetchmailrc")
    with open(rc, "w") as f:
        f.write('set no syslog\nset no bouncemail\n'
                'poll 127.0.0.1 with proto POP3 port %d uidl\n'
                '  user "bench" there with password "pw" is "bench" here\n'
                '  options nokeep fetchall no rewrite sslproto ""\n'
                '  mda "cat > %s/$$.eml"\n' % (dc.port, out_dir))
    os.chmod(rc, 0o600)
    env = private_env(home, HOME=home, FETCHMAILHOME=home)
    start = time.monotonic()
    r = subprocess.run(["fetchmail", "-f", rc, "--nodetach"], env=env, capture_output=True, timeout=600)
    elapsed = time.monotonic() - start
    got = len(os.listdir(out_dir))
    subprocess.run(["rm", "-rf", home])
    if got != count:
        raise RuntimeError("fetchmail delivered %d of %d (status %d): %s" % (got, count, r.returncode,
                                                                          r.stderr.decode()[-500:]))
    return elapsed


def run_mpop(dc, count):
    home = tempfile.mkdtemp(prefix="mpop-bench-")
    try:
        box = os.path.join(home, "Maildir")
        for d in ("cur", "new", "tmp"):
            os.makedirs(os.path.join(box, d))
        start = time.monotonic()
        subprocess.run(["mpop", "--host=127.0.0.1", "--port=%d" % dc.port, "--auth=user", "--user=bench",
                        "--passwordeval=echo pw", "--tls=off", "--delivery=maildir," + box, "--keep=off",
                        "--only-new=off", "--uidls-file=" + os.path.join(home, "uidls"), "--timeout=120"],
                       env=private_env(home, HOME=home), capture_output=True, timeout=900, check=True)
        elapsed = time.monotonic() - start
        got = len(os.listdir(os.path.join(box, "new")))
        if got != count:
            raise RuntimeError("mpop delivered %d of %d" % (got, count))
        return elapsed
    finally:
        subprocess.run(["rm", "-rf", home])


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    clients = [("check_once (fsynced store)", run_ours), ("fetchmail --mda (file per message)", run_fetchmail)]
    if shutil.which("mpop"):
        clients.append(("mpop (maildir)", run_mpop))
    with PrivateDovecot({"bench": "pw"}) as dc:
        def seeded(name, run):
            def timed():
                seed(dc, "bench", count)
                took = run(dc, count)
                assert not dc.messages("bench"), "%s left messages on the server" % name
                return took
            return name, timed

        times = interleaved_runs([seeded(name, run) for name, run in clients], rounds)
    print("retrieval of %d messages of about 10 KB from a local Dovecot POP3 server, %d rounds taking turns"
          % (count, rounds))
    peer = clients[-1][0]
    print_runs(times, count, "messages", clients[0][0], peer, 0.8 if peer.startswith("mpop") else 1.0)


if __name__ == "__main__":
    main()
