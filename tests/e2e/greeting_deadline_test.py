"""A feed server that accepts and never answers holds neither the greeting nor the other
feeds: the greeting goes out at the greeting-deadline with the feeds that are there, the
late feed goes on downloading in the background and its items come in a later session;
a feed is never fetched twice at once."""

import os
import poplib
import signal
import socket
import threading
import time
import unittest

from http_server import HttpServer
from quillo_harness import AppDir, Quillo, free_port, rss_feed as rss

LAST_MODIFIED = "Sat, 01 Jan 2005 00:00:00 GMT"
DEADLINE = 2
# Far below the 120 s a transfer may take and far above the deadline: a greeting that
# waits for the silent feed cannot make it, one at the deadline always does.
GREETING_LIMIT = 60


class SilentFeedServer:
    """Accepts every connection and answers none, until answer_first() sends the first
    one held a complete feed. Counts the requests and the most ever open at once."""

    def __init__(self, body):
        self.body = body.encode("utf-8")
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(16)
        self.port = self.listener.getsockname()[1]
        self.lock = threading.Lock()
        self.held = []
        self.accepted = 0
        self.most_open = 0
        self.closing = False
        threading.Thread(target=self._accept, daemon=True).start()

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def _open_count(self):
        count = 0
        for conn in self.held:
            try:
                data = conn.recv(1, socket.MSG_PEEK | socket.MSG_DONTWAIT)
                count += 1 if data else 0
            except BlockingIOError:
                count += 1
            except OSError:
                pass
        return count

    def _accept(self):
        while not self.closing:
            try:
                conn, _ = self.listener.accept()
            except OSError:
                return
            with self.lock:
                self.accepted += 1
                self.held.append(conn)
                self.most_open = max(self.most_open, self._open_count())

    def answer_first(self):
        with self.lock:
            conn = self.held[0]
        conn.settimeout(5)
        request = b""
        while b"\r\n\r\n" not in request:
            request += conn.recv(4096)
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\nContent-Length: %d\r\n"
                     b"Connection: close\r\n\r\n%s" % (len(self.body), self.body))
        conn.close()

    def stop(self):
        self.closing = True
        self.listener.close()
        with self.lock:
            for conn in self.held:
                conn.close()


def settings(port, urls, extra=""):
    feeds = "".join("<feed>%s</feed>" % url for url in urls)
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quillo><settings><port>%d</port>"
            "<disable-messagebox>true</disable-messagebox><disable-trayicon>true</disable-trayicon>"
            "<greeting-deadline>%d</greeting-deadline>%s</settings><feed-list>%s</feed-list></quillo>\n"
            % (port, DEADLINE, extra, feeds))


class GreetingDeadline(unittest.TestCase):
    def setUp(self):
        self.http = HttpServer()
        self.http.route("/a.xml", body=rss("a", 2), headers={"Last-Modified": LAST_MODIFIED})
        self.http.route("/b.xml", body=rss("b", 3), headers={"Last-Modified": LAST_MODIFIED})
        self.silent = SilentFeedServer(rss("late", 4))
        self.app = AppDir()
        self.port = free_port()
        # The silent feed comes first, so the feeds behind it must not wait for it.
        self.app.write("Quillo.xml", settings(self.port, [self.silent.url("/late.xml"), self.http.url("/a.xml"),
                                                          self.http.url("/b.xml")]))

    def tearDown(self):
        self.silent.stop()
        self.http.stop()
        self.app.cleanup()

    def session(self):
        """Seconds to the greeting, and the subjects of the messages."""
        start = time.monotonic()
        client = poplib.POP3("127.0.0.1", self.port, timeout=GREETING_LIMIT)
        waited = time.monotonic() - start
        try:
            client.user("me")
            client.pass_("secret")
            count, _ = client.stat()
            subjects = []
            for n in range(1, count + 1):
                header = client.top(n, 0)[1]
                subjects += [line.decode() for line in header if line.startswith(b"Subject: ")]
            client.quit()
        finally:
            if client.sock:
                client.sock.close()
        return waited, subjects

    def wait_for(self, condition, timeout=30):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline and not condition():
            time.sleep(0.05)
        return condition()

    def test_a_silent_feed_holds_neither_the_greeting_nor_the_other_feeds(self):
        with Quillo(self.app, port=self.port):
            waited, subjects = self.session()
            self.assertLess(waited, GREETING_LIMIT)
            self.assertEqual(len(subjects), 5, subjects)
            self.assertEqual(self.silent.accepted, 1)

            # While the late feed is still downloading, a new session joins that refresh
            # instead of fetching it a second time.
            waited, subjects = self.session()
            self.assertLess(waited, GREETING_LIMIT)
            self.assertEqual(len(subjects), 5, subjects)
            self.assertEqual(self.silent.accepted, 1)

            # Its reply arrives in the background, within its own time-outs; the next
            # session offers its items.
            self.silent.answer_first()
            folder = os.path.join(self.app.path, "data", "127.0.0.1:%d-late.xml" % self.silent.port)
            self.assertTrue(self.wait_for(lambda: os.path.exists(os.path.join(folder, "latest.xml"))))
            waited, subjects = self.session()
            self.assertLess(waited, GREETING_LIMIT)
            self.assertEqual(len([s for s in subjects if "late" in s]), 4, subjects)
            # That session's refresh asked again, once; the server never saw two at once.
            self.assertEqual(self.silent.accepted, 2)
            self.assertEqual(self.silent.most_open, 1)

    def test_sigterm_during_a_hanging_refresh_ends_the_process_promptly(self):
        self.app.write("Quillo.xml", settings(self.port, [self.silent.url("/late.xml")],
                                              extra="").replace("<greeting-deadline>%d<" % DEADLINE,
                                                                "<greeting-deadline>300<"))
        q = Quillo(self.app, port=self.port)
        try:
            client = socket.create_connection(("127.0.0.1", self.port))
            self.assertTrue(self.wait_for(lambda: self.silent.accepted == 1))
            q.process.send_signal(signal.SIGTERM)
            # The main thread gives a stuck server thread 10 s before it leaves without
            # it; the refresh and the waiting session must end well before that.
            self.assertEqual(q.wait(8), 0)
            client.close()
        finally:
            q.stop()


if __name__ == "__main__":
    unittest.main()
