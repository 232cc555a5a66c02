"""The installed tree: `cmake --install` into a DESTDIR, its files checked by the tools
that read them (desktop-file-validate, systemd-analyze, man), and the installed Quillo
run with a temporary HOME, serving a POP3 session from its XDG folders."""

import os
import poplib
import re
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import unittest
import xml.etree.ElementTree as ElementTree

from quillo_harness import FeedServer, free_port, is_listening, opml_xml

BUILD = os.environ.get("QUILLO_BUILD_DIR", "")
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def tool(name):
    path = shutil.which(name)
    if not path:
        raise unittest.SkipTest("%s is not installed (scripts/deps installs it)" % name)
    return path


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n" and head[12:16] == b"IHDR", path
    return struct.unpack(">II", head[16:24])


class InstalledTree(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dest = tempfile.mkdtemp(prefix="quillo-destdir-")
        env = dict(os.environ, DESTDIR=cls.dest)
        subprocess.run(["cmake", "--install", BUILD, "--prefix", "/usr"], env=env, check=True,
                       stdout=subprocess.DEVNULL)
        cls.usr = os.path.join(cls.dest, "usr")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dest, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.usr, *parts)

    def test_desktop_files_are_valid_and_name_installed_programs_and_icons(self):
        validate = tool("desktop-file-validate")
        for name, program in (("quillo", "Quillo"), ("corvane", "Corvane")):
            with self.subTest(name=name):
                desktop = self.path("share", "applications", name + ".desktop")
                run = subprocess.run([validate, desktop], capture_output=True, text=True)
                self.assertEqual((run.returncode, run.stdout + run.stderr), (0, ""))
                with open(desktop, encoding="utf-8") as f:
                    text = f.read()
                self.assertRegex(text, r"(?m)^Exec=%s( |$)" % program)
                self.assertTrue(os.access(self.path("bin", program), os.X_OK))
                self.assertRegex(text, r"(?m)^Icon=%s$" % name)

    def test_icons_are_in_the_hicolor_theme_in_every_size(self):
        for name in ("quillo", "corvane"):
            for size in ICON_SIZES:
                with self.subTest(name=name, size=size):
                    png = self.path("share", "icons", "hicolor", "%dx%d" % (size, size), "apps", name + ".png")
                    self.assertEqual(png_size(png), (size, size))
            svg = ElementTree.parse(self.path("share", "icons", "hicolor", "scalable", "apps", name + ".svg"))
            self.assertEqual(svg.getroot().tag, "{http://www.w3.org/2000/svg}svg")

    def test_user_unit_verifies_and_stops_quillo_with_sigterm(self):
        analyze = tool("systemd-analyze")
        unit = self.path("lib", "systemd", "user", "quillo.service")
        with open(unit, encoding="utf-8") as f:
            text = f.read()
        self.assertRegex(text, r"(?m)^ExecStart=/usr/bin/Quillo$")
        self.assertRegex(text, r"(?m)^KillSignal=SIGTERM$")
        self.assertRegex(text, r"(?m)^WantedBy=default.target$")
        # systemd-analyze checks that the program and the manual page exist: point both
        # at the DESTDIR tree.
        check = tempfile.mkdtemp(prefix="quillo-unit-")
        self.addCleanup(shutil.rmtree, check, True)
        copy = os.path.join(check, "quillo.service")
        with open(copy, "w", encoding="utf-8") as f:
            f.write(text.replace("ExecStart=/usr/bin/Quillo", "ExecStart=" + self.path("bin", "Quillo")))
        run = subprocess.run([analyze, "verify", copy], capture_output=True, text=True,
                             env=dict(os.environ, MANPATH=self.path("share", "man")))
        self.assertEqual((run.returncode, run.stdout + run.stderr), (0, ""))

    def test_manual_pages_render_without_warnings_and_cover_what_they_must(self):
        man = tool("man")
        topics = {
            "quillo": ["--dir", "-once", "Quillo.xml", "feedlist.xml", "log.txt", "XDG_CONFIG_HOME",
                       "XDG_STATE_HOME", "SIGTERM", "listen-address", "download-concurrency"],
            "corvane": ["Corvane.ini", "XDG_CONFIG_HOME", "feedlist.xml", "SIGTERM", "ApiKey"],
        }
        for page, words in topics.items():
            with self.subTest(page=page):
                run = subprocess.run([man, "--warnings", "-E", "UTF-8", "-l", self.path("share", "man", "man1", page + ".1")],
                                     capture_output=True, text=True, env=dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8"))
                self.assertEqual((run.returncode, run.stderr), (0, ""))
                text = re.sub(r".\x08", "", run.stdout).replace("\u2010", "-").replace("\u2212", "-")
                for word in words:
                    self.assertIn(word, text)

    def test_installed_quillo_makes_its_xdg_folders_and_serves_a_session_from_them(self):
        home = tempfile.mkdtemp(prefix="quillo-home-")
        self.addCleanup(shutil.rmtree, home, True)
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "XDG_CONFIG_HOME", "XDG_STATE_HOME")}
        env["HOME"] = home
        config = os.path.join(home, ".config", "quillo")
        state = os.path.join(home, ".local", "state", "quillo")
        quillo = self.path("bin", "Quillo")

        # First start: the folders and a commented Quillo.xml on 127.0.0.1 port 1110 (that
        # port may be taken here; the files are made before Quillo listens).
        first = subprocess.Popen([quillo], cwd="/", env=env, stdin=subprocess.DEVNULL,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 30
        while not os.path.exists(os.path.join(config, "feedlist.xml")) and time.monotonic() < deadline:
            time.sleep(0.05)
        first.send_signal(signal.SIGTERM)
        self.assertEqual(first.wait(30), 0)
        with open(os.path.join(config, "Quillo.xml"), encoding="utf-8") as f:
            settings = f.read()
        self.assertIn("<port>1110</port>", settings)
        self.assertIn("<listen-address>127.0.0.1</listen-address>", settings)
        self.assertIn("<!--", settings)
        self.assertTrue(os.path.isdir(state))

        # The commented file as the user edits it: another port, one feed.
        feeds = tempfile.mkdtemp(prefix="quillo-feeds-")
        self.addCleanup(shutil.rmtree, feeds, True)
        with open(os.path.join(feeds, "news.xml"), "w", encoding="utf-8") as f:
            f.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?><rss version=\"2.0\"><channel><title>news</title>"
                    "<item><title>installed one</title><link>http://127.0.0.1/1</link></item>"
                    "<item><title>installed two</title><link>http://127.0.0.1/2</link></item></channel></rss>")
        port = free_port()
        with open(os.path.join(config, "Quillo.xml"), "w", encoding="utf-8") as f:
            f.write(settings.replace("<port>1110</port>", "<port>%d</port>" % port)
                    .replace("<disable-messagebox>false", "<disable-messagebox>true"))
        with FeedServer(feeds) as http:
            with open(os.path.join(config, "feedlist.xml"), "w", encoding="utf-8") as f:
                f.write(opml_xml([http.url("news.xml")]))
            server = subprocess.Popen([quillo], cwd="/", env=env, stdin=subprocess.DEVNULL,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            try:
                deadline = time.monotonic() + 30
                while not is_listening(port):
                    self.assertIsNone(server.poll(), server.stderr.read() if server.poll() is not None else "")
                    self.assertLess(time.monotonic(), deadline, "Quillo did not listen")
                    time.sleep(0.05)
                box = poplib.POP3("127.0.0.1", port, timeout=60)
                box.user("me")
                box.pass_("x")
                self.assertEqual(box.stat()[0], 2)
                self.assertIn(b"Subject: installed one", b"\n".join(box.retr(1)[1]))
                box.dele(1)
                box.quit()
            finally:
                server.send_signal(signal.SIGTERM)
                code = server.wait(30)
        self.assertEqual(code, 0)
        data = os.path.join(state, "data")
        folders = os.listdir(data)
        self.assertEqual(len(folders), 1)
        self.assertTrue(os.path.exists(os.path.join(data, folders[0], "sentitems.xml")))
        self.assertFalse(os.path.exists(os.path.join(config, "data")))
        self.assertEqual(sorted(os.listdir(self.path("bin"))), ["Corvane", "Quillo"])


if __name__ == "__main__":
    unittest.main()
