#!/usr/bin/env python3
"""Byte-for-byte comparison of the messages two Quillo builds offer for the same feeds.

    python3 bench/corpus/compare_messages.py OLD_QUILLO NEW_QUILLO [CORPUS_DIR]

Every feed document of the corpus (default ../shared/corpus beside the checkout) is
served on loopback to one run of each build; both sessions RETR every message. The
Date header of an undated item is the time of the parse, so it is masked; everything
else must be equal. Prints one line per document that differs and the totals.
"""

import concurrent.futures
import os
import poplib
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import http.server
from xml.sax.saxutils import escape

LOOPBACK = "127.0.0.1"
# Feed bodies may hold very long lines; the mail text itself is what is compared.
poplib._MAXLINE = 1 << 24
DATE = re.compile(rb"^Date: .*$", re.M)


COPY_LOCK = threading.Lock()


def free_port():
    with socket.socket() as s:
        s.bind((LOOPBACK, 0))
        return s.getsockname()[1]


def serve(path):
    data = open(path, "rb").read()

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            self.send_response(200)
            self.send_header("Content-Type", "application/xml")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer((LOOPBACK, 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def messages(binary, url):
    folder = tempfile.mkdtemp(prefix="quillo-compare-")
    try:
        exe = os.path.join(folder, "Quillo")
        # One copy at a time: a file open for writing while another thread forks stays
        # busy for exec ("Text file busy").
        with COPY_LOCK:
            shutil.copy(binary, exe + ".tmp")
            os.rename(exe + ".tmp", exe)
        port = free_port()
        with open(os.path.join(folder, "Quillo.xml"), "w") as f:
            f.write("<quillo><settings><port>%d</port><disable-messagebox>true</disable-messagebox>"
                    "<disable-trayicon>true</disable-trayicon></settings><feed-list><feed>%s</feed>"
                    "</feed-list></quillo>" % (port, escape(url)))
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env["QT_QPA_PLATFORM"] = "offscreen"
        with COPY_LOCK:
            process = subprocess.Popen([exe], cwd=folder, env=env, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
        try:
            deadline = time.time() + 20
            while True:
                try:
                    pop = poplib.POP3(LOOPBACK, port, timeout=60)
                    break
                except OSError:
                    if time.time() > deadline:
                        raise
                    time.sleep(0.05)
            count = pop.stat()[0]
            texts = [b"\r\n".join(pop.retr(n)[1]) for n in range(1, count + 1)]
            pop.quit()
            return texts
        finally:
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def Head(text):
    end = text.find(b"\r\n\r\n")
    link_end = text.find(b"\r\n", end + 4)
    return text[:link_end]


def compare(old, new, path):
    server = serve(path)
    try:
        url = "http://%s:%d/feed.xml" % (LOOPBACK, server.server_address[1])
        a = [DATE.sub(b"Date: -", t) for t in messages(old, url)]
        b = [DATE.sub(b"Date: -", t) for t in messages(new, url)]
        dump = os.environ.get("COMPARE_DUMP")
        if dump:
            for i, (x, y) in enumerate(zip(a, b)):
                if x != y:
                    base = os.path.join(dump, os.path.basename(path))
                    open(base + ".old", "wb").write(x)
                    open(base + ".new", "wb").write(y)
                    break
        equal = sum(1 for x, y in zip(a, b) if x == y)
        # Headers and the link line: what a reader sees in the list, and what the
        # delivered records compare.
        heads = sum(1 for x, y in zip(a, b) if Head(x) == Head(y))
        return path, len(a), len(b), equal, heads
    finally:
        server.shutdown()


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    old, new = sys.argv[1], sys.argv[2]
    here = os.path.dirname(os.path.abspath(__file__))
    corpus = sys.argv[3] if len(sys.argv) > 3 else os.path.join(here, "..", "..", "..", "shared", "corpus")
    if not os.path.isdir(corpus):
        print("corpus folder %s is missing: nothing to compare" % corpus)
        return 0
    paths = []
    for root, _, files in os.walk(corpus):
        for name in sorted(files):
            if name.endswith((".txt", ".tsv")) or name.startswith("LICENSE"):
                continue
            head = open(os.path.join(root, name), "rb").read(4096).lower()
            if b"<opml" not in head:
                paths.append(os.path.join(root, name))
    same = bodies = changed = 0
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        for path, n_old, n_new, equal, heads in pool.map(lambda p: compare(old, new, p), sorted(paths)):
            if n_old == 0:
                continue
            if n_old == n_new == equal:
                same += 1
                continue
            if n_old == n_new == heads:
                bodies += 1
                kind = "bodies only"
            else:
                changed += 1
                kind = "HEADERS"
            print("%-80s old %3d new %3d identical %3d same headers %3d  %s" %
                  (os.path.relpath(path, corpus), n_old, n_new, equal, heads, kind))
    print("documents the old build read: %d; all messages identical: %d; only bodies differ: %d; "
          "headers or counts differ: %d" % (same + bodies + changed, same, bodies, changed))
    return 0


if __name__ == "__main__":
    sys.exit(main())
