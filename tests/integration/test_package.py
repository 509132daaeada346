"""The Debian package made by the documented command (cpack -G DEB in the build tree), taken
apart with dpkg-deb and installed by dpkg into a private root (never into the machine): its
files, the postinst's capability on the engine, stripped programs with their symbols in the
-dbgsym package, manual pages that render, desktop entries and units that hold together, and
lintian without errors."""

import glob
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

from harness import free_port, private_env

SOURCE_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../..")
BUILD_DIR = os.environ.get("TRAWLEX_BUILD_DIR",
                           os.path.join(os.path.dirname(__file__), "../../build"))


def run(*args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=300, **kwargs)


class DebianPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not shutil.which("dpkg-deb") or not shutil.which("cpack"):
            raise unittest.SkipTest("not a Debian machine")
        cls.tmp = tempfile.mkdtemp(prefix="trawlex-pkg-")
        out = os.path.join(cls.tmp, "out")
        made = run("cpack", "-G", "DEB", "-B", out, cwd=BUILD_DIR)
        if made.returncode != 0:
            shutil.rmtree(cls.tmp)
            raise AssertionError("cpack failed:\n" + made.stdout + made.stderr)
        debs = glob.glob(os.path.join(out, "trawlex_*.deb"))
        assert len(debs) == 1, os.listdir(out)
        cls.deb = debs[0]
        cls.dbgsym = (glob.glob(os.path.join(out, "trawlex-dbgsym_*.ddeb")) +
                      glob.glob(os.path.join(out, "trawlex-dbgsym_*.deb")))
        cls.root = os.path.join(cls.tmp, "root")
        subprocess.run(["dpkg-deb", "-x", cls.deb, cls.root], check=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def path(self, rel):
        return os.path.join(self.root, rel)

    def field(self, name):
        return run("dpkg-deb", "-f", self.deb, name).stdout.strip()

    def test_holds_programs_units_entries_icons_pages_and_documents(self):
        expected = [
            "usr/bin/trawlex", "usr/bin/trawlexctl", "usr/bin/tarnwick", "usr/bin/tarnwick-start",
            "usr/share/systemd/user/trawlex.service", "usr/share/systemd/user/trawlex-cycle.service",
            "usr/share/systemd/user/trawlex-cycle.timer",
            "etc/xdg/autostart/tarnwick.desktop", "usr/share/applications/tarnwick.desktop",
            "usr/share/icons/hicolor/scalable/apps/tarnwick.svg",
            "usr/share/man/man8/trawlex.8.gz", "usr/share/man/man1/trawlexctl.1.gz",
            "usr/share/man/man1/tarnwick.1.gz", "usr/share/man/man5/tarnwick-registry.5.gz",
            "usr/share/doc/trawlex/README.md", "usr/share/doc/trawlex/copyright",
            "usr/share/doc/trawlex/changelog.Debian.gz",
            "usr/share/tarnwick/help/index.html",
            "usr/share/tarnwick/translations/tarnwick_de.qm",
        ]
        expected += [f"usr/share/icons/hicolor/{n}x{n}/apps/tarnwick.png"
                     for n in (16, 22, 32, 48, 64, 128)]
        missing = [p for p in expected if not os.path.isfile(self.path(p))]
        self.assertEqual(missing, [])
        for prog in ("trawlex", "trawlexctl", "tarnwick", "tarnwick-start"):
            self.assertTrue(os.access(self.path("usr/bin/" + prog), os.X_OK), prog)
        # Nothing under /usr/local, and no file only its owner may read.
        self.assertFalse(os.path.exists(self.path("usr/local")))
        for top, _, files in os.walk(self.root):
            for f in files:
                mode = os.stat(os.path.join(top, f)).st_mode
                self.assertTrue(mode & 0o004, os.path.join(top, f))

    def test_dependencies_come_from_the_shared_libraries(self):
        depends = self.field("Depends")
        for lib in ("libc6", "libevent", "libssl3", "libqt6widgets6", "libcap2-bin"):
            self.assertIn(lib, depends)

    def test_programs_are_hardened_stripped_and_their_symbols_are_in_the_dbgsym_package(self):
        self.assertEqual(len(self.dbgsym), 1, "no -dbgsym package")
        dbg = os.path.join(self.tmp, "dbg")
        subprocess.run(["dpkg-deb", "-x", self.dbgsym[0], dbg], check=True)
        for prog in ("trawlex", "trawlexctl", "tarnwick"):
            sections = run("readelf", "-S", "-W", self.path("usr/bin/" + prog)).stdout
            self.assertNotIn(".debug_info", sections, prog)
            self.assertNotIn(".symtab", sections, prog)
            # Hardened: relocations resolved at start and then read-only, fortified calls.
            self.assertIn("BIND_NOW", run("readelf", "-d", self.path("usr/bin/" + prog)).stdout, prog)
            self.assertIn("_chk", run("readelf", "--dyn-syms", "-W", self.path("usr/bin/" + prog)).stdout, prog)
            note = run("readelf", "-n", self.path("usr/bin/" + prog)).stdout
            build_id = note.split("Build ID:")[1].split()[0]
            debug = os.path.join(dbg, "usr/lib/debug/.build-id", build_id[:2], build_id[2:] + ".debug")
            self.assertTrue(os.path.isfile(debug), prog)
            self.assertIn(".debug_info", run("readelf", "-S", "-W", debug).stdout, prog)

    def test_dpkg_installs_it_into_a_private_root_with_the_port_capability_and_purges_it(self):
        # A real dpkg run, but into a directory of the test's own: the machine's packages and
        # files are not touched. Its set-up runs outside a chroot with DPKG_ROOT pointing there.
        if os.geteuid() != 0:
            self.skipTest("dpkg and setcap need root")
        root = os.path.join(self.tmp, "dpkg-root")
        for d in ("var/lib/dpkg/info", "var/lib/dpkg/updates", "var/log"):
            os.makedirs(os.path.join(root, d))
        open(os.path.join(root, "var/lib/dpkg/status"), "w").close()
        dpkg = ["dpkg", "--root=" + root, "--log=" + os.path.join(root, "var/log/dpkg.log"),
                "--force-depends", "--force-script-chrootless"]
        env = private_env(self.tmp)
        installed = run(*dpkg, "-i", self.deb, env=env)
        self.assertEqual(installed.returncode, 0, installed.stdout + installed.stderr)
        status = run("dpkg-query", "--admindir=" + os.path.join(root, "var/lib/dpkg"),
                     "-W", "-f=${Status}", "trawlex", env=env).stdout
        self.assertEqual(status, "install ok installed")
        engine = os.path.join(root, "usr/bin/trawlex")
        self.assertIn("cap_net_bind_service=ep", run("getcap", engine).stdout)

        purged = run(*dpkg, "--purge", "trawlex", env=env)
        self.assertEqual(purged.returncode, 0, purged.stdout + purged.stderr)
        left = [os.path.relpath(os.path.join(top, f), root)
                for top, _, files in os.walk(root) for f in files
                if not os.path.relpath(top, root).startswith("var")]
        self.assertEqual(left, [])

    def test_manual_pages_render_without_warnings(self):
        pages = glob.glob(self.path("usr/share/man/man*/*.gz"))
        self.assertGreaterEqual(len(pages), 5)
        env = private_env(self.tmp, MANWIDTH="80", LC_ALL="C.UTF-8")
        for page in pages:
            # From the manual's top, where ".so man1/tarnwick.1" finds its page.
            shown = run("man", "--warnings", "-l", page, env=env, cwd=self.path("usr/share/man"))
            self.assertEqual(shown.returncode, 0, page)
            self.assertEqual(shown.stderr.strip(), "", page)
            self.assertIn("NAME", shown.stdout, page)

    def test_the_registry_page_names_every_value_the_programs_read(self):
        env = private_env(self.tmp, MANWIDTH="200", LC_ALL="C.UTF-8")
        page = run("man", "-l", self.path("usr/share/man/man5/tarnwick-registry.5.gz"), env=env).stdout
        with open(os.path.join(SOURCE_DIR, "config/settings.h")) as f:
            header = f.read()
        settings = re.findall(r'Setting k\w+\{"(\w+)"', header)
        settings += re.findall(r'char k\w+\[\] = "(\w+)"', header)
        with open(os.path.join(SOURCE_DIR, "oauth/oauth_settings.h")) as f:
            settings += re.findall(r'char kO?Auth\w*\[\] = "(\w+)"', f.read())
        self.assertGreater(len(settings), 25)
        # Account values, where the sources read them by name.
        reads = re.compile(r'(?:text\(|regQueryDword\(account, |queryString\(account, |'
                           r'account(?:String|Dword)\([^;]*?, )"(\w+)"')
        accounts = set()
        for folder in ("shared", "engine", "pop3", "frontend"):
            for source in glob.glob(os.path.join(SOURCE_DIR, folder, "**/*.cpp"), recursive=True):
                with open(source) as f:
                    accounts.update(reads.findall(f.read()))
        self.assertGreater(len(accounts), 8)
        undocumented = [v for v in settings + sorted(accounts) if v not in page.split()]
        self.assertEqual(undocumented, [])

    def test_desktop_entries_validate_and_units_name_installed_programs(self):
        for entry in ("usr/share/applications/tarnwick.desktop", "etc/xdg/autostart/tarnwick.desktop"):
            checked = run("desktop-file-validate", self.path(entry))
            self.assertEqual((checked.returncode, checked.stdout + checked.stderr), (0, ""), entry)
        with open(self.path("usr/share/applications/tarnwick.desktop")) as f:
            self.assertIn("Categories=Network;Email;", f.read())
        with open(self.path("etc/xdg/autostart/tarnwick.desktop")) as f:
            self.assertIn("X-GNOME-Autostart-enabled=true", f.read())
        for unit in ("trawlex.service", "trawlex-cycle.service"):
            with open(self.path("usr/share/systemd/user/" + unit)) as f:
                execs = [l.split("=", 1)[1].split()[0] for l in f if l.startswith("ExecStart=")]
            self.assertEqual(len(execs), 1, unit)
            self.assertTrue(execs[0].startswith("/usr/bin/"), execs)
            self.assertTrue(os.path.isfile(self.path(execs[0].lstrip("/"))), execs)

    def test_systemd_accepts_the_units(self):
        if not shutil.which("systemd-analyze"):
            self.skipTest("no systemd-analyze")
        # The units name /usr/bin; here the programs lie in the extracted tree.
        units = os.path.join(self.tmp, "units")
        runtime = os.path.join(self.tmp, "runtime")
        os.makedirs(units)
        os.makedirs(runtime, mode=0o700)
        names = ("trawlex.service", "trawlex-cycle.service", "trawlex-cycle.timer")
        for name in names:
            with open(self.path("usr/share/systemd/user/" + name)) as f:
                text = f.read().replace("=/usr/bin/", "=" + self.path("usr/bin/"))
            with open(os.path.join(units, name), "w") as f:
                f.write(text)
        env = private_env(self.tmp, XDG_RUNTIME_DIR=runtime)
        checked = run("systemd-analyze", "verify", "--user", "--man=no", *names, cwd=units, env=env)
        self.assertEqual((checked.returncode, checked.stdout + checked.stderr), (0, ""))

    def test_the_units_commands_start_an_engine_that_the_cycle_service_reaches(self):
        # What systemd would run, in a private home: the engine's ExecStart, then the cycle
        # service's, which talks to that engine.
        home = os.path.join(self.tmp, "home")
        runtime = os.path.join(self.tmp, "run")
        os.makedirs(home, exist_ok=True)
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env = private_env(self.tmp, HOME=home, XDG_RUNTIME_DIR=runtime,
                   XDG_CONFIG_HOME=os.path.join(home, ".config"),
                   XDG_DATA_HOME=os.path.join(home, ".local/share"),
                   XDG_CACHE_HOME=os.path.join(home, ".cache"),
                   TRAWLEX_SMTP_PORT=str(free_port()), TRAWLEX_POP3_PORT=str(free_port()))

        def unit(name):
            settings = {}
            with open(self.path("usr/share/systemd/user/" + name)) as f:
                for line in f:
                    if "=" in line and not line.startswith("#"):
                        key, value = line.rstrip("\n").split("=", 1)
                        value = value.replace("%h", home).replace("/usr/bin/", self.path("usr/bin/"))
                        self.assertNotIn("%", value, line)
                        settings[key] = value
            return settings

        engine = subprocess.Popen(unit("trawlex.service")["ExecStart"].split(), cwd="/", env=env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            # Up: its link socket published and its folders made in the data directory.
            socket_dir = os.path.join(runtime, "tarnwick")
            work = os.path.join(home, ".local/share/tarnwick")

            def up():
                return (os.path.isdir(socket_dir) and any(n.endswith(".sock") for n in os.listdir(socket_dir))
                        and os.path.isdir(os.path.join(work, "outgoing"))
                        and os.path.isdir(os.path.join(work, "accounts/holding")))

            deadline = time.monotonic() + 10
            while time.monotonic() < deadline and engine.poll() is None and not up():
                time.sleep(0.05)
            self.assertIsNone(engine.poll(), "the engine ended at start")
            self.assertTrue(up(), "no socket or folders after 10 s")
            cycle = run(*unit("trawlex-cycle.service")["ExecStart"].split(), env=env, cwd=home)
            self.assertIn("CYCLE_FINISHED", cycle.stdout, cycle.stderr)
        finally:
            engine.send_signal(signal.SIGTERM)
            try:
                engine.wait(timeout=10)
            except subprocess.TimeoutExpired:
                engine.kill()
                engine.wait()
                self.fail("the engine did not end on SIGTERM")
        # systemd stops the service with SIGTERM: a clean end, as after a shutdown.
        self.assertEqual(engine.returncode, 0)

    def test_lintian_reports_no_error(self):
        if not shutil.which("lintian"):
            self.fail("lintian is missing: scripts/install-deps.sh installs it")
        for package in [self.deb] + self.dbgsym:
            checked = run("lintian", "--fail-on", "error", package, env=private_env(self.tmp))
            self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)


if __name__ == "__main__":
    unittest.main()
