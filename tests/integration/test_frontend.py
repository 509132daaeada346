"""The front end tarnwick as a user meets it: with a stand-in engine on the offscreen platform
(its LINK_REGISTER, and trawlexctl handing the controller role back), and on a real X display
with a real tray host and a real engine (tray icon, double click, tray menu, cycle, exit)."""

import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import threading
import time
import unittest

from harness import BIN_DIR, Engine, TRAWLEX, TRAWLEXCTL, free_port, private_env, wait_until

TARNWICK = os.path.join(BIN_DIR, "tarnwick")
ARTEFACTS = os.environ.get("TRAWLEX_ARTEFACTS_DIR",
                           os.path.join(BIN_DIR, "..", "tests", "artefacts", "frontend"))
WM_ENGINE_LINK = 2024
LINK_REGISTER, LINK_START_CYCLE, LINK_SHUTDOWN = 1, 2, 3
FRONT_END_REF = "TARNWICKCLASS.Tarnwick"


class World(Engine):
    """A private world whose engine the front end starts (or a stand-in plays)."""

    def __init__(self):
        super().__init__()
        os.makedirs(os.path.join(self.run_dir, "tarnwick"), mode=0o700)
        self.front_end = None

    def start_front_end(self, extra_env=None):
        env = dict(self.env)
        env.update(extra_env or {})
        self.fe_log = open(os.path.join(self.root, "tarnwick.stderr"), "wb")
        self.front_end = subprocess.Popen([TARNWICK], cwd=self.work, env=env,
                                          stdout=subprocess.DEVNULL, stderr=self.fe_log)
        return self.front_end

    def front_end_socket(self):
        return os.path.join(self.run_dir, "tarnwick", FRONT_END_REF + ".sock")

    def registry_value(self, name):
        path = os.path.join(self.config_dir, "tarnwick", "user.reg")
        try:
            with open(path, encoding="utf-8", errors="replace") as f:
                m = re.search(r'^"%s"="(.*)"$' % re.escape(name), f.read(), re.M)
        except OSError:
            return None
        return m.group(1) if m else None

    def engine_pids(self):
        """Engines of this world (started by the front end in a session of their own)."""
        pids = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                if os.readlink("/proc/%s/exe" % entry) != os.path.realpath(TRAWLEX):
                    continue
                with open("/proc/%s/environ" % entry, "rb") as f:
                    if ("XDG_RUNTIME_DIR=" + self.run_dir).encode() in f.read().split(b"\0"):
                        pids.append(int(entry))
            except OSError:
                continue
        return pids

    def close(self):
        if self.front_end and self.front_end.poll() is None:
            self.front_end.kill()
            self.front_end.wait()
        if self.front_end:
            self.fe_log.close()
        for pid in self.engine_pids():
            os.kill(pid, signal.SIGKILL)
        self.stop()


class StandInEngine(threading.Thread):
    """Listens where the engine's window is published and records every link record."""

    def __init__(self, world):
        super().__init__(daemon=True)
        self.path = world.link_socket()
        self.server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.server.bind(self.path)
        self.server.listen(8)
        self.server.settimeout(0.1)
        self.records = []
        self.lock = threading.Lock()
        self.running = True

    def run(self):
        conns = []
        while self.running:
            try:
                c, _ = self.server.accept()
                c.setblocking(False)
                conns.append([c, b""])
            except socket.timeout:
                pass
            for item in conns:
                try:
                    data = item[0].recv(4096)
                except BlockingIOError:
                    continue
                except OSError:
                    data = b""
                item[1] += data
                self._take(item)
        for c, _ in conns:
            c.close()
        self.server.close()

    def _take(self, item):
        buf = item[1]
        while len(buf) >= 48:
            magic, _ver, kind, msg, flags, wparam, lparam, _dw, size, _ = struct.unpack_from("<IHHIIQqQII", buf)
            if magic != 0x4B4C5754 or len(buf) < 48 + size:
                break
            payload, buf = buf[48:48 + size], buf[48 + size:]
            refs = []
            for bit in (1, 2):
                if flags & bit:
                    n = struct.unpack_from("<H", payload)[0]
                    refs.append(payload[2:2 + n].decode())
                    payload = payload[2 + n:]
            lref = refs[-1] if flags & 2 else None
            with self.lock:
                self.records.append((kind, msg, wparam, lref if lref is not None else lparam))
        item[1] = buf

    def got(self):
        with self.lock:
            return list(self.records)

    def stop(self):
        self.running = False
        self.join(2)


@unittest.skipUnless(os.path.exists(TARNWICK), "the front end is not built (no Qt 6)")
class FrontEndLink(unittest.TestCase):
    def setUp(self):
        self.world = World()
        self.addCleanup(self.world.close)
        self.engine = StandInEngine(self.world)
        self.engine.start()
        self.addCleanup(self.engine.stop)

    def ctl(self, *args):
        return subprocess.run([TRAWLEXCTL, *args], env=self.world.env, capture_output=True, text=True,
                              timeout=10)

    def registers_of(self, ref_prefix):
        return [r for r in self.engine.got()
                if r[:3] == (1, WM_ENGINE_LINK, LINK_REGISTER) and str(r[3]).startswith(ref_prefix)]

    def test_the_front_end_registers_and_trawlexctl_hands_the_role_back(self):
        fe = self.world.start_front_end({"QT_QPA_PLATFORM": "offscreen"})
        self.assertTrue(wait_until(lambda: self.registers_of(FRONT_END_REF), 10), self.engine.got())
        self.assertIsNone(fe.poll())
        self.assertEqual(self.world.registry_value("Status"), "OK")

        # look only looks: nothing reaches the engine.
        before = len(self.engine.got())
        r = self.ctl("look")
        self.assertEqual(r.returncode, 0, r.stderr)
        time.sleep(0.2)
        self.assertEqual(len(self.engine.got()), before)

        # watch takes the role for its time and gives it back when it ends.
        r = self.ctl("watch", "--timeout", "0.5")
        self.assertEqual(r.returncode, 2)
        self.assertTrue(wait_until(lambda: len(self.registers_of(FRONT_END_REF)) == 2, 3), self.engine.got())
        tail = self.engine.got()[before:]
        self.assertTrue(str(tail[0][3]).startswith("TRAWLEXCTLCLASS.trawlexctl-"), tail)
        self.assertEqual(tail[-1], (1, WM_ENGINE_LINK, LINK_REGISTER, FRONT_END_REF))

        # An interrupted cycle gives it back too.
        p = subprocess.Popen([TRAWLEXCTL, "cycle"], env=self.world.env, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True)
        self.assertTrue(wait_until(lambda: any(r[2] == LINK_START_CYCLE for r in self.engine.got()), 5))
        p.send_signal(signal.SIGINT)
        self.assertEqual(p.wait(5), 130)
        p.stdout.close()
        p.stderr.close()
        self.assertTrue(wait_until(lambda: len(self.registers_of(FRONT_END_REF)) == 3, 3), self.engine.got())

        # Without a front end there is nobody to hand it to.
        fe.terminate()
        fe.wait(5)
        wait_until(lambda: not os.path.exists(self.world.front_end_socket()), 2)
        r = self.ctl("watch", "--timeout", "0.3")
        time.sleep(0.2)
        self.assertEqual(len(self.registers_of(FRONT_END_REF)), 3)

    def test_look_without_an_engine_fails(self):
        self.engine.stop()
        os.unlink(self.world.link_socket())
        r = self.ctl("look")
        self.assertEqual(r.returncode, 1)


def _tools_missing():
    return [t for t in ("Xvfb", "trayer", "xdotool", "xwininfo", "import") if not shutil.which(t)]


def start_xvfb():
    """An X server on a display number it picks itself: (its process, ":N")."""
    r, w = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    with os.fdopen(r) as f:
        number = f.readline().strip()
    if not number:
        xvfb.kill()
        xvfb.wait()
        raise RuntimeError("Xvfb did not start")
    return xvfb, ":" + number


def screenshot(env, path, crop=None):
    """The screen of env's display (or the part crop = (w, h, x, y)) saved at path."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    args = ["import", "-window", "root"]
    if crop:
        args += ["-crop", "%dx%d+%d+%d" % crop]
    subprocess.run(args + [path], env=env, capture_output=True, timeout=10)
    return path


class Desktop:
    """An X display of our own (Xvfb picks a free number) with a tray host (trayer)."""

    def __init__(self, root):
        """The display lives in the world at root: its environment is that world's, plus
        DISPLAY. What was started is ended again when the desktop does not come up."""
        self.xvfb = self.trayer = None
        try:
            self._start(root)
        except BaseException:
            self.close()
            raise

    def _start(self, root):
        self.xvfb, self.display = start_xvfb()
        self.env = private_env(root, DISPLAY=self.display)
        # A loaded machine may take long to map the panel; a dead trayer ends the wait at once
        # and is started again (it has been seen to die at start now and then).
        trayer_log = os.path.join(root, "trayer.log")
        for attempt in range(3):
            with open(trayer_log, "ab") as log:
                self.trayer = subprocess.Popen(["trayer", "--edge", "top", "--align", "right", "--widthtype",
                                                "request", "--height", "24", "--transparent", "false",
                                                "--tint", "0xdddddd", "--SetDockType", "true"],
                                               env=self.env, stdout=log, stderr=log)
            if wait_until(lambda: self.trayer.poll() is not None or '("panel" "trayer")' in self.tree(), 60, 0.1) \
                    and self.trayer.poll() is None:
                break
            if self.trayer.poll() is None:
                self.trayer.kill()
            self.trayer.wait()
        else:
            with open(trayer_log, errors="replace") as log:
                raise RuntimeError("trayer did not come up: " + log.read()[-2000:])

    def run(self, *args):
        return subprocess.run(list(args), env=self.env, capture_output=True, text=True, timeout=10)

    def tree(self):
        return self.run("xwininfo", "-root", "-tree").stdout

    def windows(self, name="Tarnwick"):
        """Top-level windows of the program: (id, width, height, x, y), not the tray icon."""
        out = []
        for line in self.tree().splitlines():
            m = re.match(r'^(\s*)(0x[0-9a-f]+) "%s": \("tarnwick" "Tarnwick"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)'
                         % re.escape(name), line)
            if m and len(m.group(1)) == 5:
                out.append((m.group(2), int(m.group(3)), int(m.group(4)), int(m.group(5)), int(m.group(6))))
        return out

    def tray_icon(self):
        """The program's icon embedded in trayer's panel: (x, y, width, height), or None."""
        lines = self.tree().splitlines()
        for i, line in enumerate(lines):
            if '("panel" "trayer")' not in line:
                continue
            indent = len(line) - len(line.lstrip())
            for inner in lines[i + 1:]:
                if len(inner) - len(inner.lstrip()) <= indent:
                    break
                m = re.search(r'"Tarnwick": \("tarnwick" "Tarnwick"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)', inner)
                if m:
                    w, h, x, y = map(int, m.groups())
                    return x, y, w, h
        return None

    def shot(self, name, crop=None):
        return screenshot(self.env, os.path.join(ARTEFACTS, name), crop)

    def close(self):
        for p in (self.trayer, self.xvfb):
            if p is not None and p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()


@unittest.skipUnless(os.path.exists(TARNWICK), "the front end is not built (no Qt 6)")
@unittest.skipIf(_tools_missing(), "needs Xvfb, trayer, xdotool, xwininfo and import")
class FrontEndOnADesktop(unittest.TestCase):
    def setUp(self):
        self.world = World()
        self.addCleanup(self.world.close)
        self.desk = Desktop(self.world.root)
        self.addCleanup(self.desk.close)
        # The dial-up entry goes through the stand-in nmcli: its line is up for the first cycle,
        # and Cycle Now later has to dial it, slowly, so that the connecting state can be seen.
        self.world.write_registry({"outhostname": "127.0.0.1", "outhostport": free_port(), "rasentry": "MyISP"})
        self.nmcli = os.path.join(self.world.root, "nmcli")
        os.makedirs(self.nmcli)
        for name, text in (("entries", "MyISP\n"), ("active", "MyISP:activated\n"), ("up_sleep", "3")):
            with open(os.path.join(self.nmcli, name), "w") as f:
                f.write(text)

    def xdo(self, *args):
        return self.desk.run("xdotool", *args)

    def start_cycles(self):
        return sum(1 for t in self.world.log_texts() if t == "MAIL  MED Start cycle")

    def test_tray_window_menu_cycle_and_exit_with_a_real_engine(self):
        fixtures = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "dialup", "fixtures")
        env = dict(self.desk.env, QT_QPA_PLATFORM="xcb", NMCLI_SCENARIO=self.nmcli,
                   PATH=fixtures + ":" + self.desk.env.get("PATH", os.environ.get("PATH", "/usr/bin:/bin")))
        fe = self.world.start_front_end(env)
        # The front end starts the engine that lies beside it.
        self.assertTrue(wait_until(lambda: os.path.exists(self.world.link_socket()), 10), "no engine")
        self.assertTrue(wait_until(lambda: len(self.world.engine_pids()) == 1, 5))
        self.assertTrue(wait_until(lambda: self.desk.tray_icon() is not None, 10), self.desk.tree())
        x, y, w, h = self.desk.tray_icon()
        centre = (x + w // 2, y + h // 2)
        tray_area = (96, 32, 1024 - 96, 0)
        time.sleep(0.3)
        self.desk.shot("1-tray-suspended.png", tray_area)

        # A double click on the icon opens the main window, centred.
        self.xdo("mousemove", str(centre[0]), str(centre[1]), "click", "--repeat", "2", "--delay", "80", "1")
        big = lambda: [win for win in self.desk.windows() if win[1] > 300]
        self.assertTrue(wait_until(big, 5), self.desk.tree())
        centred = lambda: abs(big()[0][3] + big()[0][1] // 2 - 512) <= 8
        self.assertTrue(wait_until(centred, 3), big())
        wid, ww, wh, wx, wy = big()[0]
        time.sleep(0.3)
        self.desk.shot("2-main-window.png", (ww + 20, wh + 20, max(wx - 10, 0), max(wy - 10, 0)))

        # trawlexctl takes the controller role for its cycle and hands it back.
        r = self.world.ctl("cycle", "--timeout", "1")
        self.assertIn(r.returncode, (0, 2, 3), r.stderr)
        self.assertTrue(r.stdout.startswith("CYCLE_STARTED"), r.stdout)
        self.assertEqual(self.world.registry_value("Status"), "OK")

        # Cycle Now from the tray menu reaches the engine; its notices come back to the tray.
        os.unlink(os.path.join(self.nmcli, "active"))
        self.xdo("mousemove", str(centre[0]), str(centre[1]), "click", "3")
        menu = lambda: [win for win in self.desk.windows() if 60 < win[1] < 300 and win[2] > 100]
        self.assertTrue(wait_until(menu, 5), self.desk.tree())
        _, mw, mh, mx, my = menu()[0]
        time.sleep(0.3)
        self.desk.shot("3-tray-menu.png", (mw + 40, mh + 40, max(mx - 20, 0), 0))
        self.xdo("key", "c")
        self.assertTrue(wait_until(lambda: self.start_cycles() == 2, 5), self.world.log_texts())
        self.assertTrue(wait_until(lambda: self.world.registry_value("Status") != "OK", 5))
        self.assertIn(self.world.registry_value("Status"),
                      ("Establishing connection...", "Sending outgoing mail...", "Checking for new e-mail...",
                       "Failure during cycle (refer to log file for further info)"))
        frames = []
        for i in range(3):
            time.sleep(0.25)
            frames.append(self.desk.shot("4-tray-cycle-%d.png" % i, (32, 32, x - 5, 0)))
        if self.world.registry_value("Status") == "Establishing connection...":
            # Still connecting: the frames change every 200 ms, so the three shots are not all alike.
            contents = set()
            for f in frames:
                with open(f, "rb") as fh:
                    contents.add(fh.read())
            self.assertGreater(len(contents), 1, "the tray icon does not animate")

        # A second copy says that one runs already, and ends.
        second = subprocess.Popen([TARNWICK], cwd=self.world.work, env=dict(self.world.env, **env),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        box = lambda: [win for win in self.desk.windows() if win[0] != wid and 150 < win[1] < 700 and win[2] < 300]
        self.assertTrue(wait_until(box, 5), self.desk.tree())
        _, bw, bh, bx, by = box()[0]
        time.sleep(0.3)
        self.desk.shot("5-already-running.png", (bw + 20, bh + 20, bx - 10, by - 10))
        self.xdo("key", "Return")
        self.assertEqual(second.wait(5), 0)
        self.assertIsNone(fe.poll())

        # File > Exit and Yes end both programs.
        self.xdo("mousemove", str(wx + 20), str(wy + 8), "click", "1")
        time.sleep(0.4)
        self.xdo("key", "e")
        self.assertTrue(wait_until(box, 5), self.desk.tree())
        time.sleep(0.3)
        self.desk.shot("6-shutdown-question.png", (ww + 20, wh + 20, max(wx - 10, 0), max(wy - 10, 0)))
        self.xdo("key", "y")
        self.assertEqual(fe.wait(10), 0)
        self.assertTrue(wait_until(lambda: not self.world.engine_pids(), 10), "the engine did not end")
        self.assertFalse(os.path.exists(self.world.link_socket()))


if __name__ == "__main__":
    unittest.main()
