"""The feed folders of tests/data/legacy/data, as a Quillo binary writes them.

    legacy_feeds.py make QUILLO [OUT [FEED...]]
                                        runs that Quillo on the feeds of feeds/ (or the
                                        FEEDs named), takes every item with POP3 (DELE
                                        all, QUIT) and copies the feed folders to OUT
                                        (default: data/ here)
    legacy_feeds.py check QUILLO        gives a Quillo the stored folders and fails
                                        unless it offers none of their items again

Everything runs on loopback: a temporary application directory with a copy of the
binary, an HTTP server on 127.0.0.1 serving feeds/, and Python's poplib.
"""

import contextlib
import http.server
import os
import poplib
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import xml.etree.ElementTree

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "support"))
from quillo_harness import LOOPBACK, free_port, is_listening  # noqa: E402
FEEDS = os.path.join(HERE, "feeds")
FEED_NAMES = ["rss2.xml", "rss1.xml", "atom.xml", "rss2-sjis.xml", "guid-only.xml", "same-title.xml"]
# Feeds whose items have no date: each parse dates them anew.
UNDATED_FEEDS = ["guid-only.xml"]
# The one feed that answers with validators; a request that sends them back gets 304.
VALIDATED = "rss2.xml"
LAST_MODIFIED = "Sat, 01 Jan 2005 00:00:00 GMT"
ETAG = '"legacy-rss2-1"'
STORED_FILES = ["sentitems.xml", "latest.xml", "lastmodified.txt", "etag.txt"]
# A query that makes another feed folder for the validated feed; the server ignores it.
FRESH = "?fresh"
UNDATED_LINK = "http://example.com/undated"


class _FeedHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        name = self.path.lstrip("/").split("?")[0]
        self.server.requests.append((self.path, dict(self.headers)))
        path = os.path.join(FEEDS, name)
        if name not in FEED_NAMES or not os.path.isfile(path):
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        headers = [("Content-Type", "application/xml")]
        if name == VALIDATED:
            headers += [("Last-Modified", LAST_MODIFIED), ("ETag", ETAG)]
            if (self.headers.get("If-None-Match") == ETAG
                    or self.headers.get("If-Modified-Since") == LAST_MODIFIED):
                self.send_response(304)
                for header in headers[1:]:
                    self.send_header(*header)
                self.end_headers()
                return
        with open(path, "rb") as f:
            body = f.read()
        self.send_response(200)
        for header in headers:
            self.send_header(*header)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


@contextlib.contextmanager
def feed_server():
    server = http.server.ThreadingHTTPServer((LOOPBACK, 0), _FeedHandler)
    server.requests = []
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield server
    finally:
        server.shutdown()
        server.server_close()
        thread.join()


def folder_name(url):
    """The feed folder of a URL: what follows "://", with "/" and "?" made "-"."""
    return url.split("://", 1)[1].replace("/", "-").replace("?", "-")


def settings_xml(pop3_port, urls):
    feeds = "".join("  <feed>%s</feed>\n" % url for url in urls)
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<quillo>\n <settings>\n'
            "  <port>%d</port>\n  <disable-messagebox>true</disable-messagebox>\n"
            "  <disable-trayicon>true</disable-trayicon>\n </settings>\n"
            " <feed-list>\n%s </feed-list>\n</quillo>\n" % (pop3_port, feeds))


@contextlib.contextmanager
def running_quillo(binary, app, pop3_port):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    with open(os.path.join(app, "stderr.txt"), "wb") as err:
        process = subprocess.Popen([os.path.join(app, "Quillo")], cwd="/", env=env,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err)
        try:
            deadline = time.monotonic() + 20
            while True:
                if process.poll() is not None:
                    raise RuntimeError("Quillo ended early with %s" % process.returncode)
                if is_listening(pop3_port):
                    break
                if time.monotonic() > deadline:
                    raise RuntimeError("Quillo does not listen on %d" % pop3_port)
                time.sleep(0.1)
            yield process
        finally:
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(15)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()


def take_everything(pop3_port):
    """One POP3 session: the subjects offered (raw header lines), every message deleted."""
    pop = poplib.POP3(LOOPBACK, pop3_port, timeout=60)
    pop.user("me")
    pop.pass_("x")
    count, _ = pop.stat()
    subjects = []
    for n in range(1, count + 1):
        _, lines, _ = pop.top(n, 0)
        subjects += [line for line in lines if line.lower().startswith(b"subject:")]
        pop.dele(n)
    pop.quit()
    return subjects


def new_app(binary):
    app = tempfile.mkdtemp(prefix="quillo-legacy-")
    shutil.copy2(binary, os.path.join(app, "Quillo"))
    return app


def make(binary, out, names=FEED_NAMES):
    app = new_app(binary)
    try:
        with feed_server() as server:
            urls = ["http://%s:%d/%s" % (LOOPBACK, server.server_address[1], n) for n in names]
            pop3_port = free_port()
            with open(os.path.join(app, "Quillo.xml"), "w") as f:
                f.write(settings_xml(pop3_port, urls))
            with running_quillo(binary, app, pop3_port):
                offered = take_everything(pop3_port)
                print("offered %d messages" % len(offered))
                # The records are written after the reply to QUIT.
                folders = [os.path.join(app, "data", folder_name(url)) for url in urls]
                deadline = time.monotonic() + 20
                while not all(os.path.isfile(os.path.join(f, "sentitems.xml")) for f in folders):
                    if time.monotonic() > deadline:
                        raise RuntimeError("no sentitems.xml after QUIT")
                    time.sleep(0.1)
                time.sleep(0.5)
                stored = {}
                for name, url in zip(names, urls):
                    src = os.path.join(app, "data", folder_name(url))
                    stored[name] = {f: open(os.path.join(src, f), "rb").read()
                                    for f in STORED_FILES if os.path.isfile(os.path.join(src, f))}
                again = take_everything(pop3_port)
                if again:
                    raise RuntimeError("the binary offered items again: %r" % again)
        for name, files in stored.items():
            dest = os.path.join(out, name)
            shutil.rmtree(dest, ignore_errors=True)
            os.makedirs(dest)
            for f, data in files.items():
                with open(os.path.join(dest, f), "wb") as g:
                    g.write(data)
            print(name, sorted(files))
        log = os.path.join(app, "log.txt")
        if os.path.exists(log):
            print("log.txt:\n" + open(log, encoding="utf-8", errors="replace").read())
    finally:
        shutil.rmtree(app, ignore_errors=True)


def records(path):
    """(subject, link, date) of every item of a sentitems.xml."""
    if not os.path.exists(path):
        return []
    root = xml.etree.ElementTree.parse(path).getroot()
    return [tuple(item.findtext(f) or "" for f in ("subject", "link", "date")) for item in root.iter("item")]


def check(binary, stored=os.path.join(HERE, "data")):
    """0 when the binary, given the stored folders, offers nothing again and keeps the
    records. The validated feed is given twice: once with its validators (it must send
    the stored ETag back and get 304) and once without them, as FRESH (served the same
    document), so that its records are matched against a parsed document too."""
    app = new_app(binary)
    failures = []
    try:
        with feed_server() as server:
            base = "http://%s:%d/" % (LOOPBACK, server.server_address[1])
            feeds = [(name, base + name) for name in FEED_NAMES] + [(VALIDATED, base + VALIDATED + FRESH)]
            for name, url in feeds:
                dest = os.path.join(app, "data", folder_name(url))
                os.makedirs(dest)
                for f in STORED_FILES:
                    if url.endswith(FRESH) and f in ("lastmodified.txt", "etag.txt"):
                        continue
                    if os.path.isfile(os.path.join(stored, name, f)):
                        shutil.copy2(os.path.join(stored, name, f), dest)
            pop3_port = free_port()
            with open(os.path.join(app, "Quillo.xml"), "w") as f:
                f.write(settings_xml(pop3_port, [url for _, url in feeds]))
            with running_quillo(binary, app, pop3_port):
                offered = take_everything(pop3_port)
                # QUIT rewrites the records of every parsed feed; the next session waits for it.
                again = take_everything(pop3_port)
            if offered or again:
                failures.append("offered again: %r" % (offered + again))
            validated = [h for path, h in server.requests if path == "/" + VALIDATED]
            if not validated or validated[0].get("If-None-Match") != ETAG:
                failures.append("the stored ETag was not sent back at the first request")
            for name, url in feeds:
                before_path = os.path.join(stored, name, "sentitems.xml")
                after_path = os.path.join(app, "data", folder_name(url), "sentitems.xml")
                before, after = records(before_path), records(after_path)
                # An undated item is written with the time of its latest parse.
                undated = lambda rs: [r if r[1] != UNDATED_LINK and name not in UNDATED_FEEDS else r[:2]
                                      for r in rs]
                if undated(after) != undated(before):
                    failures.append("%s: records changed:\n %r\n %r" % (url, before, after))
                elif UNDATED_LINK not in [r[1] for r in before] and name not in UNDATED_FEEDS:
                    # The save stamps each record with the day it was seen in the feed and
                    # the identity of its item; apart from those lines the file keeps its
                    # bytes.
                    rewritten = open(after_path, "rb").read()
                    stamp = rb"    <last-seen>\d{4}-\d\d-\d\d</last-seen>\n"
                    identity = rb"    <identity>[0-9a-f]{32}</identity>\n"
                    stamps = len(re.findall(stamp, rewritten))
                    identities = len(re.findall(identity, rewritten))
                    if stamps != len(after) or identities != len(after):
                        failures.append("%s: %d records, %d last-seen, %d identity"
                                        % (url, len(after), stamps, identities))
                    original = re.sub(stamp, b"", open(before_path, "rb").read())
                    if original != re.sub(identity, b"", re.sub(stamp, b"", rewritten)):
                        failures.append("%s: sentitems.xml is not byte for byte the same" % url)
            log = os.path.join(app, "log.txt")
            if os.path.exists(log):
                text = open(log, encoding="utf-8", errors="replace").read()
                print("log.txt:\n" + text)
                if "sentitems.xml" in text:
                    failures.append("the log names sentitems.xml")
        for failure in failures:
            print("FAIL", failure)
        return 1 if failures else 0
    finally:
        shutil.rmtree(app, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "make":
        make(sys.argv[2], sys.argv[3] if len(sys.argv) > 3 else os.path.join(HERE, "data"),
             sys.argv[4:] or FEED_NAMES)
    elif len(sys.argv) == 3 and sys.argv[1] == "check":
        sys.exit(check(sys.argv[2]))
    else:
        sys.exit(__doc__)
