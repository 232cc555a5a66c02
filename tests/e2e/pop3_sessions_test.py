"""Sessions side by side against the real Quillo: a client that idles or stops reading
keeps nobody else waiting, a second client is told the mailbox is in use, a burst of
clients all get an answer, a connection given up costs no refresh, and with
refresh-interval the greeting comes from what the background refresh downloaded."""

import poplib
import socket
import threading
import time
import unittest

from http_server import HttpServer
from quillo_harness import AppDir, Pop3Client, Quillo, free_port, rss_feed as rss

LAST_MODIFIED = "Sat, 01 Jan 2005 00:00:00 GMT"
IN_USE = b"-ERR [IN-USE] mailbox in use\r\n"
# "Must answer within" limits, far above what a served client needs.
ANSWER_LIMIT = 30


def settings(port, urls, extra=""):
    feeds = "".join("<feed>%s</feed>" % url for url in urls)
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quillo><settings><port>%d</port>"
            "<disable-messagebox>true</disable-messagebox><disable-trayicon>true</disable-trayicon>"
            "%s</settings><feed-list>%s</feed-list></quillo>\n" % (port, extra, feeds))


class Sessions(unittest.TestCase):
    def setUp(self):
        self.http = HttpServer()
        self.http.route("/feed.xml", body=rss("feed", 3, body="body"), headers={"Last-Modified": LAST_MODIFIED})
        self.app = AppDir()
        self.port = free_port()

    def tearDown(self):
        self.http.stop()
        self.app.cleanup()

    def start(self, routes=("/feed.xml",), extra=""):
        self.app.write("Quillo.xml", settings(self.port, [self.http.url(r) for r in routes], extra))
        return Quillo(self.app, port=self.port)

    def login(self, client):
        self.assertEqual(client.greeting(), b"+OK QUILLO WELCOME\r\n")
        self.assertTrue(client.single("USER me").startswith(b"+OK"))
        return client.single("PASS secret")

    def test_an_idle_client_and_a_second_one(self):
        with self.start():
            with Pop3Client(self.port) as idle:
                self.assertEqual(self.login(idle), b"+OK\r\n")
                # The second client is greeted while the first idles, and told why it
                # cannot have the mailbox (poplib as a real client).
                second = poplib.POP3("127.0.0.1", self.port, timeout=ANSWER_LIMIT)
                self.assertIn("RESP-CODES", second.capa())
                second.user("me")
                with self.assertRaises(poplib.error_proto) as refused:
                    second.pass_("secret")
                self.assertEqual(refused.exception.args[0], IN_USE.rstrip())
                self.assertEqual(second.quit(), b"+OK")
                # The first session is untouched by all this.
                self.assertTrue(idle.single("STAT").startswith(b"+OK 3 "))
                self.assertEqual(idle.single("QUIT"), b"+OK\r\n")
            # Once it has ended, the mailbox is free again.
            with Pop3Client(self.port) as next_client:
                self.assertEqual(self.login(next_client), b"+OK\r\n")
                self.assertTrue(next_client.single("STAT").startswith(b"+OK 3 "))

    def test_a_client_that_stops_reading_keeps_nobody_waiting(self):
        big = "x" * 400000
        self.http.route("/big.xml", body=rss("big", 8, body=big), headers={"Last-Modified": LAST_MODIFIED})
        with self.start(routes=("/big.xml",)):
            stalled = Pop3Client(self.port)
            try:
                self.assertEqual(self.login(stalled), b"+OK\r\n")
                stalled.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
                for n in range(1, 9):
                    stalled.command("RETR %d" % n)  # and never read
                with Pop3Client(self.port, timeout=ANSWER_LIMIT) as other:
                    self.assertEqual(self.login(other), IN_USE)
                    self.assertEqual(other.single("QUIT"), b"+OK\r\n")
            finally:
                stalled.close()

    def test_a_client_that_stops_reading_is_dropped_after_a_minute(self):
        big = "x" * 2000000
        self.http.route("/big.xml", body=rss("big", 1, body=big), headers={"Last-Modified": LAST_MODIFIED})
        with self.start(routes=("/big.xml",)):
            stalled = Pop3Client(self.port)
            try:
                self.assertEqual(self.login(stalled), b"+OK\r\n")
                for _ in range(20):
                    stalled.command("RETR 1")  # 40 MB of replies, never read
                local = stalled.sock.getsockname()[1]
                start = time.monotonic()
                # The server's end, from /proc: a client that reads nothing never sees
                # the close itself. 60 s without a byte taken, plus a generous margin.
                while time.monotonic() - start < 110 and self.server_end_state(local) == "01":
                    time.sleep(0.5)
                self.assertNotEqual(self.server_end_state(local), "01")
                self.assertGreater(time.monotonic() - start, 30)
            finally:
                stalled.close()

    def server_end_state(self, client_port):
        """The TCP state of Quillo's end of the connection from client_port (01:
        established), None when it is gone."""
        with open("/proc/net/tcp") as f:
            for line in list(f)[1:]:
                fields = line.split()
                if fields[1].endswith(":%04X" % self.port) and fields[2].endswith(":%04X" % client_port):
                    return fields[3]
        return None

    def test_fifty_clients_at_once_all_get_an_answer(self):
        # A slow feed makes the first refresh last while the others come in.
        self.http.route("/feed.xml", body=rss("feed", 3, body="body"), delay=1.0)
        with self.start():
            answers = []
            lock = threading.Lock()

            def client():
                try:
                    with Pop3Client(self.port, timeout=ANSWER_LIMIT) as c:
                        greeting = c.greeting()
                        c.single("USER me")
                        reply = c.single("PASS secret")
                        c.single("QUIT")
                    with lock:
                        answers.append((greeting, reply))
                except OSError as e:
                    with lock:
                        answers.append((repr(e), b""))

            threads = [threading.Thread(target=client) for _ in range(50)]
            for t in threads:
                t.start()
            for t in threads:
                t.join(2 * ANSWER_LIMIT)
            self.assertEqual(len(answers), 50)
            self.assertEqual([g for g, _ in answers], [b"+OK QUILLO WELCOME\r\n"] * 50)
            # Each is either served or told the mailbox is in use: never left hanging.
            self.assertTrue(all(r in (b"+OK\r\n", IN_USE) for _, r in answers), answers)
            self.assertGreaterEqual([r for _, r in answers].count(b"+OK\r\n"), 1)

    def test_connections_given_up_before_the_greeting_cost_no_refresh(self):
        self.http.route("/feed.xml", body=rss("feed", 3, body="body"), delay=1.0)
        with self.start():
            with Pop3Client(self.port, timeout=ANSWER_LIMIT) as first:
                time.sleep(0.2)
                for _ in range(5):
                    socket.create_connection(("127.0.0.1", self.port)).close()
                self.assertEqual(self.login(first), b"+OK\r\n")
                self.assertEqual(first.single("QUIT"), b"+OK\r\n")
            time.sleep(3)
            self.assertEqual(len(self.http.requests_for("/feed.xml")), 1)

    def test_with_an_interval_the_greeting_comes_from_the_background_refresh(self):
        with self.start(extra="<refresh-interval>60</refresh-interval>"):
            deadline = time.monotonic() + ANSWER_LIMIT
            while time.monotonic() < deadline and not self.app.exists(
                    "data/127.0.0.1:%d-feed.xml/latest.xml" % self.http.port):
                time.sleep(0.05)
            for _ in range(3):
                with Pop3Client(self.port, timeout=ANSWER_LIMIT) as c:
                    self.assertEqual(self.login(c), b"+OK\r\n")
                    self.assertTrue(c.single("STAT").startswith(b"+OK 3 "))
                    self.assertEqual(c.single("QUIT"), b"+OK\r\n")
            # Connections do not refresh: the one download is the background one.
            self.assertEqual(len(self.http.requests_for("/feed.xml")), 1)

    def test_deletions_hold_across_sessions_served_from_one_download(self):
        with self.start(extra="<refresh-interval>60</refresh-interval>"):
            deadline = time.monotonic() + ANSWER_LIMIT
            while time.monotonic() < deadline and not self.app.exists(
                    "data/127.0.0.1:%d-feed.xml/latest.xml" % self.http.port):
                time.sleep(0.05)
            with Pop3Client(self.port) as c:
                self.login(c)
                self.assertEqual(c.single("DELE 1"), b"+OK\r\n")
                self.assertEqual(c.single("QUIT"), b"+OK\r\n")
            with Pop3Client(self.port) as c:
                self.login(c)
                self.assertTrue(c.single("STAT").startswith(b"+OK 2 "))
                # RSET brings back only this session's deletions, not the recorded one.
                self.assertEqual(c.single("DELE 1"), b"+OK\r\n")
                self.assertEqual(c.single("RSET"), b"+OK\r\n")
                self.assertTrue(c.single("STAT").startswith(b"+OK 2 "))
                self.assertEqual(c.single("DELE 1"), b"+OK\r\n")
                # Dropped without QUIT: that deletion is undone.
            with Pop3Client(self.port) as c:
                self.login(c)
                self.assertTrue(c.single("STAT").startswith(b"+OK 2 "))
                c.single("QUIT")


if __name__ == "__main__":
    unittest.main()
