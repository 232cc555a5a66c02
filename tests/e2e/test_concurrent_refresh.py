"""The real Quillo fetching a mixed set of feeds side by side gives a mail client exactly
what it gets when the feeds are fetched one at a time: the same messages under the same
numbers and ids, the same log entries in the same order, the same files."""

import os
import poplib
import re
import unittest

from http_server import HttpServer
from quillo_harness import AppDir, Quillo, free_port

LAST_MODIFIED = "Sat, 01 Jan 2005 00:00:00 GMT"
STAMP = re.compile(rb"\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\] ")


def rss(title, count):
    items = "".join(
        "<item><title>%s 記事 %d</title><link>http://127.0.0.1/%s/%d</link>"
        "<description><![CDATA[<p>%s の本文 %d</p>]]></description>"
        "<pubDate>Tue, 08 Dec 2026 0%d:00:00 +0900</pubDate></item>\n" % (title, i, title, i, title, i, i)
        for i in range(count))
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel>"
            "<title>%s</title><link>http://127.0.0.1/</link>\n%s</channel></rss>\n" % (title, items))


def settings(port, urls, concurrency):
    feeds = "".join("<feed>%s</feed>" % url for url in urls)
    extra = "<download-concurrency>%s</download-concurrency>" % concurrency if concurrency else ""
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quillo><settings><port>%d</port>"
            "<disable-messagebox>true</disable-messagebox><disable-trayicon>true</disable-trayicon>"
            "%s</settings><feed-list>%s</feed-list></quillo>\n" % (port, extra, feeds))


def forget_fetch_states(app):
    for folder, _, names in os.walk(os.path.join(app.path, "data")):
        if "fetchstate.txt" in names:
            os.remove(os.path.join(folder, "fetchstate.txt"))


class ConcurrentRefresh(unittest.TestCase):
    def setUp(self):
        self.servers = [HttpServer("127.0.0.1"), HttpServer("127.0.0.2")]
        a, b = self.servers
        # Slow enough that side-by-side transfers really overlap and finish out of order.
        a.route("/first.xml", body=rss("first", 3), delay=0.4, headers={"Last-Modified": LAST_MODIFIED})
        b.route("/second.xml", body=rss("second", 2), headers={"Last-Modified": LAST_MODIFIED})
        a.route("/missing.xml", status=404, reason="Not Found", body="no")
        b.route("/moved.xml", status=301, redirect=b.url("/second.xml"))
        a.route("/broken.xml", body="<rss><channel><item><title>x</title>")
        b.route("/packed.xml", body=rss("packed", 2), gzip_body=True, delay=0.2,
                headers={"ETag": "\"packed-1\""})
        a.route("/error.xml", status=500, reason="Internal Server Error", body="oops", delay=0.1)
        b.route("/cut.xml", body=rss("cut", 6), cut_after=100)
        self.urls = [a.url("/first.xml"), a.url("/missing.xml"), b.url("/second.xml"),
                     b.url("/moved.xml"), a.url("/broken.xml"), b.url("/packed.xml"),
                     a.url("/error.xml"), b.url("/cut.xml"), "http://127.0.0.1:1/refused.xml",
                     a.url("/first.xml")]
        self.apps = []

    def tearDown(self):
        for server in self.servers:
            server.stop()
        for app in self.apps:
            app.cleanup()

    def session(self, port, delete):
        client = poplib.POP3("127.0.0.1", port, timeout=120)
        try:
            client.user("me")
            client.pass_("x")
            count, size = client.stat()
            uidl = client.uidl()[1]
            texts = [b"\r\n".join(client.retr(n)[1]) for n in range(1, count + 1)]
            # The feed report (the moved and the gone feed) tells the time it was filed.
            report = [i for i, line in enumerate(uidl) if line.split()[1].startswith(b"feedreport")]
            octets = client.list()[1]
            for i in reversed(report):
                size -= int(octets[i].split()[1])
                del texts[i], uidl[i]
            count -= len(report)
            for n in delete:
                if n <= count:
                    client.dele(n)
            client.quit()
        finally:
            if client.sock:
                client.sock.close()
        return (count, size, uidl, texts)

    def run_quillo(self, concurrency):
        app = AppDir()
        self.apps.append(app)
        port = free_port()
        app.write("Quillo.xml", settings(port, self.urls, concurrency))
        with Quillo(app, port=port):
            # Two connections: the second meets the validators and the sentitems.xml of
            # the first, and asks for every feed again (the waits of the failing ones
            # forgotten).
            first = self.session(port, delete=[1, 4])
            forget_fetch_states(app)
            sessions = [first, self.session(port, delete=[])]
        log = app.read("log.txt", binary=True) if app.exists("log.txt") else b""
        entries = [e for e in STAMP.split(log) if e]
        files = {}
        data = os.path.join(app.path, "data")
        for folder, _, names in os.walk(data):
            for name in names:
                if name == "fetchstate.txt":
                    continue  # the times of the requests
                path = os.path.join(folder, name)
                relative = os.path.relpath(path, data)
                if "/mail/" in relative:
                    # Stored messages are named by the time and process that stored them:
                    # counted, their texts are what the sessions above read.
                    stored = relative[:relative.index("/mail/") + 6] + "*"
                    files[stored] = files.get(stored, 0) + 1
                    continue
                with open(path, "rb") as f:
                    files[relative] = f.read()
        return sessions, entries, files

    def test_side_by_side_gives_what_one_at_a_time_gives(self):
        one_sessions, one_log, one_files = self.run_quillo("1")
        # The set is mixed for real: messages, a second connection, failures logged.
        self.assertGreater(one_sessions[0][0], 0)
        self.assertEqual(len(one_log), 10, one_log)
        for server in self.servers:
            server.requests.clear()
        many_sessions, many_log, many_files = self.run_quillo("")
        self.assertEqual(one_sessions, many_sessions)
        self.assertEqual(one_log, many_log)
        self.assertEqual(sorted(one_files), sorted(many_files))
        self.assertEqual(one_files, many_files)

    def test_etag_is_sent_back_and_compressed_body_stored_decoded(self):
        self.urls = [self.servers[1].url("/packed.xml")]
        self.run_quillo("")
        requests = self.servers[1].requests_for("/packed.xml")
        self.assertEqual(len(requests), 2)
        self.assertIn("gzip", requests[0]["headers"].get("accept-encoding", ""))
        self.assertNotIn("if-none-match", requests[0]["headers"])
        self.assertEqual(requests[1]["headers"].get("if-none-match"), "\"packed-1\"")
        folder = os.path.join(self.apps[-1].path, "data", "127.0.0.2:%d-packed.xml" % self.servers[1].port)
        with open(os.path.join(folder, "latest.xml"), "rb") as f:
            self.assertEqual(f.read(), rss("packed", 2).encode("utf-8"))
        with open(os.path.join(folder, "etag.txt"), "rb") as f:
            self.assertEqual(f.read(), b"\"packed-1\"")


if __name__ == "__main__":
    unittest.main()
