"""What the corpus scripts share: the feed documents of a corpus, a loopback server for
one of them, and a real Quillo run on an application directory of its own."""

import contextlib
import http.server
import os
import poplib
import shutil
import signal
import socket
import subprocess
import threading
import time
from xml.sax.saxutils import escape

LOOPBACK = "127.0.0.1"
# Feed bodies may hold very long lines; the mail text itself is what is compared.
poplib._MAXLINE = 1 << 24
# Copies and starts one at a time: a file open for writing while another thread forks
# stays busy for exec ("Text file busy").
_EXEC_LOCK = threading.Lock()


def default_corpus():
    here = os.path.dirname(os.path.abspath(__file__))
    return os.path.normpath(os.path.join(here, "..", "..", "..", "shared", "corpus"))


def feed_documents(corpus):
    """Every file of the corpus but its notes and the OPML feed lists, sorted."""
    paths = []
    for root, _, files in os.walk(corpus):
        for name in sorted(files):
            if name.endswith((".txt", ".tsv")) or name.startswith("LICENSE"):
                continue
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                if b"<opml" not in f.read(4096).lower():
                    paths.append(path)
    return sorted(paths)


def free_port():
    with socket.socket() as s:
        s.bind((LOOPBACK, 0))
        return s.getsockname()[1]


@contextlib.contextmanager
def served(path, content_type="application/xml"):
    """The document's bytes at the URL this yields, from a server on loopback."""
    with open(path, "rb") as f:
        data = f.read()

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            self.send_response(200)
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer((LOOPBACK, 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        yield "http://%s:%d/feed.xml" % (LOOPBACK, server.server_address[1])
    finally:
        server.shutdown()
        server.server_close()


@contextlib.contextmanager
def quillo_session(binary, folder, url):
    """A POP3 connection to the binary, run headless in folder with the one feed."""
    exe = os.path.join(folder, "Quillo-" + str(abs(hash(binary))))
    with _EXEC_LOCK:
        if not os.path.exists(exe):
            shutil.copy(binary, exe + ".tmp")
            os.rename(exe + ".tmp", exe)
    port = free_port()
    with open(os.path.join(folder, "Quillo.xml"), "w") as f:
        f.write("<quillo><settings><port>%d</port><disable-messagebox>true</disable-messagebox>"
                "<disable-trayicon>true</disable-trayicon></settings><feed-list><feed>%s</feed>"
                "</feed-list></quillo>" % (port, escape(url)))
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    with _EXEC_LOCK:
        process = subprocess.Popen([exe], cwd=folder, env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
    try:
        deadline = time.time() + 20
        while True:
            try:
                pop = poplib.POP3(LOOPBACK, port, timeout=120)
                break
            except OSError:
                if time.time() > deadline or process.poll() is not None:
                    raise
                time.sleep(0.05)
        pop.user("me")
        pop.pass_("x")
        yield pop
    finally:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
