#!/usr/bin/python3
"""IMAP retrieval benchmark: MESSAGES messages of about 10 KB in the INBOX of a private Dovecot
IMAP server, retrieved by one account check (check_once) of an IMAP account, and in the same
run by fetchmail (each message to a file of its own through its --mda) and getmail6 (into a
maildir), all over IMAP on loopback. Two modes, each client taking turns for ROUNDS rounds:
deleting the mail at the server, and leaving it there; when leaving, mbsync (isync) pulls the
folder into a maildir in getmail6's place, the fastest of the IMAP downloaders. Prints every run, the median time and
messages per second of each, and our median over each peer's.

    bench/imap_retrieval.py [MESSAGES [ROUNDS [delete|leave]]]
    (after scripts/build.sh; default 1000, 3, both modes)

getmail6 takes minutes per round at 1,000 messages; a smaller MESSAGES gives a quick look.
"""

import imaplib
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
from pop3_retrieval import message  # noqa: E402

USER, PASSWORD = "bench", "pw"


def reseed(dc, count):
    """The INBOX holds exactly count fresh messages. What a run left is removed over IMAP, so
    that Dovecot's index never names a file that went behind its back."""
    imap = imaplib.IMAP4("127.0.0.1", dc.port)
    imap.login(USER, PASSWORD)
    if int(imap.select("INBOX")[1][0]) > 0:
        imap.store("1:*", "+FLAGS.SILENT", "(\\Deleted)")
        imap.expunge()
    imap.logout()
    for n in range(count):
        dc.deliver(USER, message(n))


def run_ours(dc, count, leave):
    world = CheckWorld()
    try:
        world.add_account("bench", dc.port, USER, PASSWORD,
                          values={"protocol": 1, "security": 0, "leavemail": 1 if leave else 0})
        start = time.monotonic()
        p = world.start_check()
        out, err = p.communicate(timeout=900)
        elapsed = time.monotonic() - start
        stored = len(out.split())
        if p.returncode != 0 or stored != count:
            raise RuntimeError("check_once stored %d of %d (status %d): %s" % (stored, count, p.returncode, err.decode()))
        return elapsed
    finally:
        world.close()


def run_fetchmail(dc, count, leave):
    home = tempfile.mkdtemp(prefix="fetchmail-bench-")
    try:
        out_dir = os.path.join(home, "out")
        os.mkdir(out_dir)
        rc = os.path.join(home, "fetchmailrc")
        with open(rc, "w") as f:
            f.write('set no syslog\nset no bouncemail\n'
                    'poll 127.0.0.1 with proto IMAP port %d\n'
                    '  user "%s" there with password "%s" is "bench" here\n'
                    '  options %s fetchall no rewrite sslproto ""\n'
                    # A file name of its own each: process ids repeat over thousands of messages.
                    '  mda "cat > $(mktemp -p %s)"\n' % (dc.port, USER, PASSWORD, "keep" if leave else "nokeep", out_dir))
        os.chmod(rc, 0o600)
        env = private_env(home, HOME=home, FETCHMAILHOME=home)
        start = time.monotonic()
        r = subprocess.run(["fetchmail", "-f", rc, "--nodetach"], env=env, capture_output=True, timeout=1800)
        elapsed = time.monotonic() - start
        got = len(os.listdir(out_dir))
        if got != count:
            raise RuntimeError("fetchmail delivered %d of %d (status %d): %s"
                               % (got, count, r.returncode, r.stderr.decode()[-500:]))
        return elapsed
    finally:
        shutil.rmtree(home, ignore_errors=True)


def run_getmail(dc, count, leave):
    home = tempfile.mkdtemp(prefix="getmail-bench-")
    try:
        box = os.path.join(home, "Maildir")
        for d in ("cur", "new", "tmp"):
            os.makedirs(os.path.join(box, d))
        user_line = ""
        if os.getuid() == 0:
            # getmail6 refuses to deliver as root: the maildir goes to "nobody".
            import pwd
            nobody = pwd.getpwnam("nobody")
            os.chmod(home, 0o755)
            for root, dirs, _ in os.walk(box):
                os.chown(root, nobody.pw_uid, nobody.pw_gid)
            user_line = "user = nobody\n"
        rc = os.path.join(home, "getmailrc")
        with open(rc, "w") as f:
            f.write("[retriever]\ntype = SimpleIMAPRetriever\nserver = 127.0.0.1\nport = %d\n"
                    "username = %s\npassword = %s\nmailboxes = (\"INBOX\",)\n"
                    "[destination]\ntype = Maildir\npath = %s/\n%s"
                    "[options]\nread_all = true\ndelete = %s\nverbose = 0\nmessage_log_syslog = false\n"
                    % (dc.port, USER, PASSWORD, box, user_line, "false" if leave else "true"))
        start = time.monotonic()
        r = subprocess.run(["getmail", "--rcfile", rc, "--getmaildir", home], env=private_env(home, HOME=home),
                           capture_output=True, timeout=3600)
        elapsed = time.monotonic() - start
        got = len(os.listdir(os.path.join(box, "new")))
        if got != count:
            raise RuntimeError("getmail delivered %d of %d (status %d): %s"
                               % (got, count, r.returncode, r.stderr.decode()[-500:]))
        return elapsed
    finally:
        shutil.rmtree(home, ignore_errors=True)


def run_mbsync(dc, count, leave):
    """Pulls only: mbsync's channel copies the folder and leaves the server as it was."""
    assert leave
    home = tempfile.mkdtemp(prefix="mbsync-bench-")
    try:
        box = os.path.join(home, "mail")
        os.mkdir(box)
        rc = os.path.join(home, "mbsyncrc")
        with open(rc, "w") as f:
            f.write("IMAPAccount bench\nHost 127.0.0.1\nPort %d\nUser %s\nPass %s\nSSLType None\n"
                    "AuthMechs LOGIN\n\n"
                    "IMAPStore remote\nAccount bench\n\n"
                    "MaildirStore local\nPath %s/\nInbox %s/INBOX\n\n"
                    "Channel bench\nFar :remote:\nNear :local:\nPatterns INBOX\nSync Pull\nCreate Near\n"
                    "SyncState *\n" % (dc.port, USER, PASSWORD, box, box))
        os.chmod(rc, 0o600)
        start = time.monotonic()
        r = subprocess.run(["mbsync", "-c", rc, "-q", "bench"], env=private_env(home, HOME=home),
                           capture_output=True, timeout=1800)
        elapsed = time.monotonic() - start
        inbox = os.path.join(box, "INBOX")
        got = sum(len(os.listdir(os.path.join(inbox, d))) for d in ("new", "cur") if os.path.isdir(os.path.join(inbox, d)))
        if r.returncode != 0 or got != count:
            raise RuntimeError("mbsync pulled %d of %d (status %d): %s"
                               % (got, count, r.returncode, r.stderr.decode()[-500:]))
        return elapsed
    finally:
        shutil.rmtree(home, ignore_errors=True)


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    modes = {"delete": (False,), "leave": (True,)}.get(sys.argv[3] if len(sys.argv) > 3 else "", (False, True))
    # Leaving the mail, getmail6 is left out: the question there is mbsync, and getmail6's
    # delivery to a maildir as "nobody" times out on a loaded machine.
    peers = {False: ["fetchmail --mda", "getmail6 maildir"], True: ["mbsync", "fetchmail --mda"]}
    runners = {"check_once": run_ours, "mbsync": run_mbsync, "fetchmail --mda": run_fetchmail,
               "getmail6 maildir": run_getmail}
    with PrivateDovecot({USER: PASSWORD}, protocol="imap") as dc:
        for leave in modes:
            goals = {"mbsync": 1.0} if leave else {"fetchmail --mda": 0.2, "getmail6 maildir": 0.1}
            clients = [(name, runners[name]) for name in ["check_once"] + peers[leave]]
            def seeded(name, run, leave=leave):
                def timed():
                    reseed(dc, count)
                    took = run(dc, count, leave)
                    left = len(dc.messages(USER))
                    assert left == (count if leave else 0), "%s left %d messages on the server" % (name, left)
                    return took
                return name, timed

            times = interleaved_runs([seeded(name, run) for name, run in clients], rounds)
            print("IMAP retrieval of %d messages of about 10 KB from a local Dovecot, %s, %d rounds taking turns"
                  % (count, "leaving the mail" if leave else "deleting the mail", rounds))
            for peer in peers[leave]:
                print_runs(times, count, "messages", "check_once", peer, goals.get(peer, 1.0))


if __name__ == "__main__":
    main()
