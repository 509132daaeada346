"""The local SMTP and POP3 servers serve 127.0.0.0/8 only. A documentation address on the loopback interface
of a private network namespace stands for a peer from the network: the engine and both clients
run inside the namespace, which the test creates itself."""

import os
import subprocess
import sys
import unittest

from harness import Dialogue, Engine, wait_until

OUTSIDE = "192.0.2.1"   # TEST-NET-1, never routed


def namespaces_available():
    try:
        r = subprocess.run(["unshare", "-n", "sh", "-c", "ip link set lo up && ip addr add %s/32 dev lo" % OUTSIDE],
                           capture_output=True, timeout=10)
        return r.returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        return False


class LocalOnly(unittest.TestCase):
    def test_a_peer_from_outside_loopback_is_refused_inside_a_namespace(self):
        if not namespaces_available():
            self.skipTest("cannot create a network namespace here (needs root, unshare -n and ip)")
        script = "ip link set lo up && ip addr add %s/32 dev lo && TRAWLEX_INSIDE_NETNS=1 exec %s %s" % (
            OUTSIDE, sys.executable, os.path.abspath(__file__))
        r = subprocess.run(["unshare", "-n", "sh", "-c", script], capture_output=True, text=True, timeout=120,
                           cwd=os.path.dirname(os.path.abspath(__file__)))
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertIn("Ran 1 test", r.stderr)
        self.assertTrue(r.stderr.rstrip().endswith("OK"), r.stderr)


class InsideNamespace(unittest.TestCase):
    """Run only inside the namespace made by LocalOnly."""

    def test_inside(self):
        if os.environ.get("TRAWLEX_INSIDE_NETNS") != "1":
            self.skipTest("runs inside the namespace only")
        with Engine() as e:
            for port in (e.smtp_port, e.pop3_port):
                outsider = Dialogue(port, source=OUTSIDE)
                self.assertTrue(outsider.closed_by_peer(), "an outside peer must get no greeting")
                outsider.close()
            self.assertTrue(wait_until(lambda: e.log_texts().count(" NET HIGH DENYING EXTERNAL CONNECTION") == 2))
            for source in ("127.0.0.1", "127.0.0.2"):
                local = Dialogue(e.smtp_port, source=source)
                self.assertEqual(local.line(), "220 LOCALHOST Service ready")
                local.close()
                local = Dialogue(e.pop3_port, source=source)
                self.assertEqual(local.line(), "+OK POP3 server ready")
                local.close()
            self.assertEqual(e.log_texts().count(" NET HIGH DENYING EXTERNAL CONNECTION"), 2)


if __name__ == "__main__":
    unittest.main(defaultTest="InsideNamespace" if os.environ.get("TRAWLEX_INSIDE_NETNS") else "LocalOnly")
