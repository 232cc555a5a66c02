#!/usr/bin/env python3
"""No upgrade offers an already delivered item again, over a whole corpus of feeds.

    python3 bench/corpus/check_upgrade.py OLD_QUILLO NEW_QUILLO [CORPUS_DIR]

For every feed document: the old build serves it and the client deletes every message
and quits, so the old build records them all; then, on the same application directory,
the new build and (for reference) the old build serve the document again. The new build
must offer no more messages than the old one does itself (an undated Atom entry is
offered at every refresh by both). Exits non-zero when a document breaks the rule.
"""

import concurrent.futures
import os
import poplib
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from xml.sax.saxutils import escape

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import compare_messages as cm  # noqa: E402


# Copies are made one at a time: a file open for writing while another thread forks
# stays busy for exec ("Text file busy").
COPY_LOCK = threading.Lock()


def session(binary, folder, url, delete):
    exe = os.path.join(folder, "Quillo-" + os.path.basename(os.path.dirname(os.path.dirname(binary))))
    if not os.path.exists(exe):
        with COPY_LOCK:
            shutil.copy(binary, exe + ".tmp")
            os.rename(exe + ".tmp", exe)
    port = cm.free_port()
    with open(os.path.join(folder, "Quillo.xml"), "w") as f:
        f.write("<quillo><settings><port>%d</port><disable-messagebox>true</disable-messagebox>"
                "<disable-trayicon>true</disable-trayicon></settings><feed-list><feed>%s</feed>"
                "</feed-list></quillo>" % (port, escape(url)))
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    with COPY_LOCK:
            process = subprocess.Popen([exe], cwd=folder, env=env, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
    try:
        deadline = time.time() + 20
        while True:
            try:
                pop = poplib.POP3(cm.LOOPBACK, port, timeout=60)
                break
            except OSError:
                if time.time() > deadline:
                    raise
                time.sleep(0.05)
        count = pop.stat()[0]
        if delete:
            for n in range(1, count + 1):
                pop.dele(n)
        pop.quit()
        return count
    finally:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()


def check(old, new, path):
    server = cm.serve(path)
    folder = tempfile.mkdtemp(prefix="quillo-upgrade-")
    try:
        url = "http://%s:%d/feed.xml" % (cm.LOOPBACK, server.server_address[1])
        first = session(old, folder, url, True)
        if first == 0:
            return path, 0, 0, 0
        saved = folder + "-data"
        shutil.copytree(os.path.join(folder, "data"), saved)
        again_new = session(new, folder, url, False)
        shutil.rmtree(os.path.join(folder, "data"))
        shutil.copytree(saved, os.path.join(folder, "data"))
        shutil.rmtree(saved)
        again_old = session(old, folder, url, False)
        return path, first, again_old, again_new
    finally:
        server.shutdown()
        shutil.rmtree(folder, ignore_errors=True)


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    old, new = sys.argv[1], sys.argv[2]
    here = os.path.dirname(os.path.abspath(__file__))
    corpus = sys.argv[3] if len(sys.argv) > 3 else os.path.join(here, "..", "..", "..", "shared", "corpus")
    if not os.path.isdir(corpus):
        print("corpus folder %s is missing: nothing to check" % corpus)
        return 0
    paths = []
    for root, _, files in os.walk(corpus):
        for name in sorted(files):
            if name.endswith((".txt", ".tsv")) or name.startswith("LICENSE"):
                continue
            if b"<opml" not in open(os.path.join(root, name), "rb").read(4096).lower():
                paths.append(os.path.join(root, name))
    read = worse = 0
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        for path, first, again_old, again_new in pool.map(lambda p: check(old, new, p), sorted(paths)):
            if first == 0:
                continue
            read += 1
            if again_new > again_old:
                worse += 1
                print("OFFERED AGAIN %-70s delivered %3d, old offers again %3d, new %3d" %
                      (os.path.relpath(path, corpus), first, again_old, again_new))
    print("documents delivered by the old build: %d; new build offers more of them again: %d" % (read, worse))
    return 1 if worse else 0


if __name__ == "__main__":
    sys.exit(main())
