"""The feed folders of tests/data/legacy, as a Quillo binary writes them.

A set is a folder holding feeds/ (the documents served) and data/ (what a Quillo left
for them): this folder itself (written by the Xerces-based Quillo) and v1.3/ (written by
Quillo 1.3, before RFC 5322 dates and whole titles).

    legacy_feeds.py make QUILLO [SET]   runs that Quillo on the feeds of SET/feeds, takes
                                        every item with POP3 (DELE all, QUIT) and copies
                                        the feed folders to SET/data (default SET: here)
    legacy_feeds.py check QUILLO [SET]  gives a Quillo the stored folders of every set
                                        (or of SET) and fails unless it offers none of
                                        their items again and keeps every record

Everything runs on loopback: a temporary application directory with a copy of the
binary, an HTTP server on 127.0.0.1 serving feeds/, and Python's poplib.
"""

import contextlib
import datetime
import email
import email.policy
import email.utils
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
SETS = [HERE, os.path.join(HERE, "v1.3")]
# The one feed that answers with validators; a request that sends them back gets 304.
VALIDATED = "rss2.xml"
LAST_MODIFIED = "Sat, 01 Jan 2005 00:00:00 GMT"
ETAG = '"legacy-rss2-1"'
STORED_FILES = ["sentitems.xml", "latest.xml", "lastmodified.txt", "etag.txt"]
# A query that makes another feed folder for the validated feed; the server ignores it.
FRESH = "?fresh"
# Items without a date: their records hold the time of the parse that wrote them.
UNDATED_LINKS = {"http://example.com/undated", "http://example.com/v13/undated", "http://example.com/json/4"}
# Feeds whose items have no date at all: each parse dates them anew.
UNDATED_FEEDS = {"guid-only.xml"}
# A date as this version writes it: the day name and a numeric zone.
RFC5322_DATE = re.compile(r"(Mon|Tue|Wed|Thu|Fri|Sat|Sun), \d\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                          r"\d{4} \d\d:\d\d:\d\d [+-]\d{4}$")


def feed_names(feeds):
    return sorted(os.listdir(feeds))


class _FeedHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        name = self.path.lstrip("/").split("?")[0]
        self.server.requests.append((self.path, dict(self.headers)))
        path = os.path.join(self.server.feeds, name)
        if name not in feed_names(self.server.feeds) or not os.path.isfile(path):
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
def feed_server(feeds):
    server = http.server.ThreadingHTTPServer((LOOPBACK, 0), _FeedHandler)
    server.feeds = feeds
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


def sender_address(url):
    """The From address Quillo gives the messages of a feed: FNV-1a 64 of its folder name."""
    h = 0xcbf29ce484222325
    for b in folder_name(url).encode("utf-8"):
        h = ((h ^ b) * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    return "%016x" % h


def take_everything(pop3_port, ids=None):
    """One POP3 session: the subjects offered (raw header lines), every message deleted.
    With a list as ids, (sender address, link, UIDL) of each message go into it."""
    pop = poplib.POP3(LOOPBACK, pop3_port, timeout=60)
    pop.user("me")
    pop.pass_("x")
    count, _ = pop.stat()
    subjects = []
    for n in range(1, count + 1):
        _, lines, _ = pop.top(n, 0)
        subjects += [line for line in lines if line.lower().startswith(b"subject:")]
        if ids is not None:
            uid = pop.uidl(n).split()[2].decode("ascii")
            message = email.message_from_bytes(b"\r\n".join(pop.retr(n)[1]), policy=email.policy.default)
            part = message.get_body(("plain",))
            link = part.get_content().split("\n", 1)[0][len("link: "):].strip()
            ids.append((message["From"].addresses[0].username, link, uid))
        pop.dele(n)
    pop.quit()
    return subjects


def new_app(binary):
    app = tempfile.mkdtemp(prefix="quillo-legacy-")
    shutil.copy2(binary, os.path.join(app, "Quillo"))
    return app


def make(binary, legacy_set):
    feeds = os.path.join(legacy_set, "feeds")
    out = os.path.join(legacy_set, "data")
    names = feed_names(feeds)
    app = new_app(binary)
    try:
        with feed_server(feeds) as server:
            urls = ["http://%s:%d/%s" % (LOOPBACK, server.server_address[1], n) for n in names]
            pop3_port = free_port()
            with open(os.path.join(app, "Quillo.xml"), "w") as f:
                f.write(settings_xml(pop3_port, urls))
            with running_quillo(binary, app, pop3_port):
                ids = []
                offered = take_everything(pop3_port, ids)
                print("offered %d messages" % len(offered))
                feed_of = {sender_address(url)[:12]: name for name, url in zip(names, urls)}
                with open(os.path.join(legacy_set, "uids.txt"), "w", encoding="utf-8") as f:
                    f.write("# The UIDL of every item, as that Quillo gave it with the feeds at this port.\n")
                    f.write("port\t%d\n" % server.server_address[1])
                    for address, link, uid in ids:
                        f.write("%s\t%s\t%s\n" % (feed_of[address], link, uid))
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


def readable_date(text):
    """Whether Python reads the text as an RFC 5322 or an ISO 8601 date."""
    try:
        email.utils.parsedate_to_datetime(text)
        return True
    except (TypeError, ValueError, IndexError):
        pass
    try:
        datetime.datetime.fromisoformat(text.replace("Z", "+00:00"))
        return True
    except ValueError:
        return False


def compare_records(url, before, after, before_path, after_path, undated_feed=False):
    """What changed between the stored records and those the binary saved at QUIT, as
    failure texts. Every record stays, in its order and under its link. A record whose
    item is in the document is written anew with the texts of the binary: the same, or
    a subject read anew and a date with the day name and a numeric zone (or, when the
    feed's date cannot be read, the date as the feed wrote it)."""
    failures = []
    if [r[1] for r in after] != [r[1] for r in before]:
        return ["%s: records lost or moved:\n %r\n %r" % (url, before, after)]
    for old, new in zip(before, after):
        # A date that is none stays as the feed wrote it, so it is the same at every check.
        if new[2] != old[2] and not RFC5322_DATE.match(new[2]) and readable_date(new[2]):
            failures.append("%s: date %r written as %r" % (url, old[2], new[2]))
        if new != old:
            print("rewritten: %r\n       as: %r" % (old, new))
    # An undated item is written with the time of its latest parse.
    undated = lambda rs: [r if r[1] not in UNDATED_LINKS and not undated_feed else r[:2] for r in rs]
    if undated(after) == undated(before) and not UNDATED_LINKS & {r[1] for r in before} and not undated_feed:
        # The save stamps each record with the day it was seen in the feed (files of
        # Quillo 1.3 hold stamps of their own); apart from those lines the file keeps
        # its bytes.
        rewritten = open(after_path, "rb").read()
        stamp = rb"    <last-seen>\d{4}-\d\d-\d\d</last-seen>\n"
        # ...and the identity of its item.
        identity = rb"    <identity>[0-9a-f]{32}</identity>\n"
        stamps = len(re.findall(stamp, rewritten))
        identities = len(re.findall(identity, rewritten))
        if stamps != len(after) or identities != len(after):
            failures.append("%s: %d records, %d last-seen, %d identity" % (url, len(after), stamps, identities))
        original = re.sub(stamp, b"", open(before_path, "rb").read())
        if original != re.sub(identity, b"", re.sub(stamp, b"", rewritten)):
            failures.append("%s: sentitems.xml is not byte for byte the same" % url)
    return failures


def check(binary, legacy_set):
    """0 when the binary, given the stored folders of the set, offers nothing again and
    keeps the records. The validated feed is given twice: once with its validators (it
    must send the stored ETag back and get 304) and once without them, as FRESH (served
    the same document), so that its records are matched against a parsed document too.
    A second session after the QUIT that rewrote the records offers nothing either."""
    feeds_dir = os.path.join(legacy_set, "feeds")
    stored = os.path.join(legacy_set, "data")
    app = new_app(binary)
    failures = []
    try:
        with feed_server(feeds_dir) as server:
            base = "http://%s:%d/" % (LOOPBACK, server.server_address[1])
            feeds = [(name, base + name) for name in feed_names(feeds_dir)] + [(VALIDATED, base + VALIDATED + FRESH)]
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
                failures += compare_records(url, records(before_path), records(after_path), before_path, after_path,
                                            name in UNDATED_FEEDS)
            log = os.path.join(app, "log.txt")
            if os.path.exists(log):
                text = open(log, encoding="utf-8", errors="replace").read()
                print("log.txt:\n" + text)
                if "sentitems.xml" in text:
                    failures.append("the log names sentitems.xml")
        for failure in failures:
            print("FAIL", legacy_set, failure)
        return 1 if failures else 0
    finally:
        shutil.rmtree(app, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) in (3, 4) and sys.argv[1] == "make":
        make(sys.argv[2], os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else HERE)
    elif len(sys.argv) in (3, 4) and sys.argv[1] == "check":
        sets = [os.path.abspath(sys.argv[3])] if len(sys.argv) > 3 else SETS
        sys.exit(max(check(sys.argv[2], s) for s in sets))
    else:
        sys.exit(__doc__)
