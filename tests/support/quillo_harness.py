"""Helpers for tests that run the real Quillo binary.

Quillo addresses every file from its executable's directory, so each test gets a
temporary application directory holding a copy of the binary, its Quillo.xml and its
feedlist.xml. Everything here talks to loopback only.
"""

import contextlib
import functools
import http.server
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
import unittest
from xml.sax.saxutils import escape, quoteattr

LOOPBACK = "127.0.0.1"


def quillo_binary():
    """Path of the built Quillo, from QUILLO_BIN (set by CTest)."""
    path = os.environ.get("QUILLO_BIN")
    if not path or not os.path.isfile(path):
        raise RuntimeError("QUILLO_BIN must name the built Quillo executable")
    return path


def free_port():
    """A TCP port on loopback that nothing listens on at the moment."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind((LOOPBACK, 0))
        return s.getsockname()[1]


def settings_xml(port=None, disable_messagebox=True, disable_trayicon=True,
                 enable_html=False, listen_address=None, feeds=(), extra="", password=None):
    """Text of a Quillo.xml. Message boxes are off by default so nothing waits on stdin."""
    parts = ["<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quillo>\n <settings>\n"]
    if port is not None:
        parts.append("  <port>%d</port>\n" % port)
    if listen_address is not None:
        parts.append("  <listen-address>%s</listen-address>\n" % escape(listen_address))
    parts.append("  <disable-messagebox>%s</disable-messagebox>\n" % ("true" if disable_messagebox else "false"))
    parts.append("  <disable-trayicon>%s</disable-trayicon>\n" % ("true" if disable_trayicon else "false"))
    parts.append("  <enable-html>%s</enable-html>\n" % ("true" if enable_html else "false"))
    if password is not None:
        parts.append("  <password>%s</password>\n" % escape(password))
    parts.append(" </settings>\n")
    if feeds:
        parts.append(" <feed-list>\n")
        for url in feeds:
            parts.append("  <feed>%s</feed>\n" % escape(url))
        parts.append(" </feed-list>\n")
    parts.append(extra)
    parts.append("</quillo>\n")
    return "".join(parts)


def rss_feed(title, count, body=None):
    """An RSS 2.0 document of `count` items "<title> i", each linking to a loopback URL
    and described as "<body> i" ("<title> body i" by default)."""
    body = body if body is not None else "%s body" % title
    items = "".join(
        "<item><title>%s %d</title><link>http://127.0.0.1/%s/%d</link>"
        "<description>%s %d</description></item>\n" % (title, i, title, i, body, i)
        for i in range(count))
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel>"
            "<title>%s</title><link>http://127.0.0.1/</link>\n%s</channel></rss>\n" % (title, items))


def opml_xml(urls):
    """Text of a flat feedlist.xml with one outline per URL."""
    lines = ["<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "<opml version=\"1.0\">",
             "<head><title>feeds</title></head>", "<body>"]
    for i, url in enumerate(urls):
        lines.append("<outline text=%s type=\"rss\" xmlUrl=%s/>" % (quoteattr("feed %d" % i), quoteattr(url)))
    lines += ["</body>", "</opml>", ""]
    return "\n".join(lines)


class AppDir:
    """A temporary application directory with its own copy of Quillo."""

    def __init__(self, binary=None):
        self.path = tempfile.mkdtemp(prefix="quillo-app-")
        self.binary = os.path.join(self.path, "Quillo")
        shutil.copy2(binary or quillo_binary(), self.binary)

    def write(self, name, text, mode="w"):
        full = os.path.join(self.path, name)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, mode + ("b" if isinstance(text, bytes) else "")) as f:
            f.write(text)
        return full

    def read(self, name, binary=False):
        with open(os.path.join(self.path, name), "rb" if binary else "r") as f:
            return f.read()

    def exists(self, name):
        return os.path.exists(os.path.join(self.path, name))

    def cleanup(self):
        shutil.rmtree(self.path, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.cleanup()


def is_listening(port):
    """Whether some socket listens on the TCP port (read from /proc, no connection made,
    so no refresh is triggered)."""
    wanted = ":%04X" % port
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        try:
            with open(table) as f:
                next(f)
                for line in f:
                    fields = line.split()
                    if fields[1].endswith(wanted) and fields[3] == "0A":
                        return True
        except OSError:
            continue
    return False


class Quillo:
    """A running Quillo process; stderr is collected in a file of the app directory."""

    def __init__(self, app, args=(), env=None, port=None, wait=True, timeout=10):
        self.app = app
        self.port = port
        self.stderr_path = os.path.join(app.path, "stderr.txt")
        self._stderr = open(self.stderr_path, "wb")
        full_env = dict(os.environ)
        full_env.pop("DISPLAY", None)
        full_env.pop("WAYLAND_DISPLAY", None)
        if env:
            full_env.update(env)
        self.process = subprocess.Popen([app.binary, *args], cwd="/", env=full_env,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=self._stderr)
        if wait and port is not None:
            self.wait_listening(timeout)

    def wait_listening(self, timeout=10):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError("Quillo ended early (%s): %s" % (self.process.returncode, self.stderr()))
            if is_listening(self.port):
                return
            time.sleep(0.05)
        raise RuntimeError("Quillo did not listen on port %d" % self.port)

    def stderr(self):
        if not self._stderr.closed:
            self._stderr.flush()
        with open(self.stderr_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def wait(self, timeout):
        """Exit code, or None when the process is still running after timeout seconds."""
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def running(self):
        return self.process.poll() is None

    def terminate(self, timeout=15):
        if self.running():
            self.process.send_signal(signal.SIGTERM)
        return self.wait(timeout)

    def stop(self):
        if self.running():
            self.process.send_signal(signal.SIGTERM)
            if self.wait(15) is None:
                self.process.kill()
                self.process.wait()
        self._stderr.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


class Pop3Client:
    """A plain POP3 driver over one socket, for replies byte for byte."""

    def __init__(self, port, host=LOOPBACK, timeout=30):
        self.sock = socket.create_connection((host, port), timeout=timeout)
        self.buffer = b""

    def send(self, data):
        self.sock.sendall(data)

    def command(self, line):
        self.send(line.encode("latin-1") + b"\r\n" if isinstance(line, str) else line)

    def read_line(self):
        while b"\r\n" not in self.buffer:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise EOFError("connection closed; pending %r" % self.buffer)
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\r\n", 1)
        return line + b"\r\n"

    def read_multiline(self):
        """The whole multi-line reply, status line and terminating ".\\r\\n" included."""
        out = self.read_line()
        if not out.startswith(b"+OK"):
            return out
        while True:
            line = self.read_line()
            out += line
            if line == b".\r\n":
                return out

    def greeting(self):
        return self.read_line()

    def single(self, line):
        self.command(line)
        return self.read_line()

    def multi(self, line):
        self.command(line)
        return self.read_multiline()

    def login(self, user="me", password="x"):
        """USER and PASS; the reply to PASS (or to USER when that failed)."""
        reply = self.single("USER " + user)
        if not reply.startswith(b"+OK"):
            return reply
        return self.single("PASS " + password)

    def greet_and_login(self, user="me", password="x"):
        """Reads the greeting and logs in; the reply to PASS."""
        self.greeting()
        return self.login(user, password)

    def closed_by_peer(self, timeout=5):
        """Whether the server closes the connection within timeout seconds."""
        self.sock.settimeout(timeout)
        try:
            while True:
                chunk = self.sock.recv(65536)
                if not chunk:
                    return True
                self.buffer += chunk
        except socket.timeout:
            return False
        except OSError:
            return True

    def close(self):
        with contextlib.suppress(OSError):
            self.sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def open_mailbox(port, user="me", password="x", timeout=30):
    """A logged-in Pop3Client holding the mailbox. A session still ending holds it for a
    moment, so an IN-USE answer is retried until timeout seconds have passed."""
    deadline = time.monotonic() + timeout
    while True:
        client = Pop3Client(port, timeout=timeout)
        reply = client.greet_and_login(user, password)
        if reply == b"+OK\r\n":
            return client
        client.close()
        if not reply.startswith(b"-ERR [IN-USE]") or time.monotonic() > deadline:
            raise AssertionError("login failed: %r" % reply)
        time.sleep(0.1)


def open_poplib_mailbox(port, timeout=60):
    """A logged-in poplib client holding the mailbox and the seconds its greeting took.
    A session still recording its QUIT answers IN-USE for a moment, so that answer is
    retried until timeout seconds have passed."""
    import poplib
    deadline = time.monotonic() + timeout
    while True:
        started = time.monotonic()
        box = poplib.POP3(LOOPBACK, port, timeout=timeout)
        greeted = time.monotonic() - started
        box.user("me")
        try:
            box.pass_("x")
            return box, greeted
        except poplib.error_proto as error:
            box.close()
            if b"[IN-USE]" not in error.args[0] or time.monotonic() > deadline:
                raise
            time.sleep(0.2)


class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class FeedServer:
    """A threaded HTTP server on loopback serving a directory (Last-Modified and
    If-Modified-Since come from SimpleHTTPRequestHandler)."""

    def __init__(self, directory):
        self.directory = directory
        handler = functools.partial(_QuietHandler, directory=directory)
        self.server = http.server.ThreadingHTTPServer((LOOPBACK, 0), handler)
        self.port = self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def url(self, name):
        return "http://%s:%d/%s" % (LOOPBACK, self.port, name)

    def stop(self):
        self.server.shutdown()
        self.server.server_close()
        self.thread.join()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


class FeedServerTestCase(unittest.TestCase):
    """A test with its own feed server, application folder and POP3 port, each fresh
    for every test and cleaned up after it."""

    def setUp(self):
        from http_server import HttpServer  # beside this file; it imports nothing of ours
        self.http = HttpServer()
        self.app = AppDir()
        self.port = free_port()

    def tearDown(self):
        self.http.stop()
        self.app.cleanup()
