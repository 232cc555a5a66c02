"""Logins against the real Quillo with a password set: a guessing loop is answered only
a few times whatever it does, three failures close a connection, a client without the
password costs no download and holds nothing, and the owner logs in while strangers
idle or stall after STLS."""

import os
import poplib
import shutil
import socket
import ssl
import tempfile
import threading
import time
import unittest

from http_server import HttpServer, make_test_ca
from quillo_harness import AppDir, Quillo, free_port, rss_feed, settings_xml

PASSWORD = "correct horse"
BAD = b"-ERR [AUTH] invalid password\r\n"
ANSWER_LIMIT = 30


def connect(port, source=None, timeout=ANSWER_LIMIT):
    """A socket to Quillo on 127.0.0.1, from another loopback address when given."""
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.settimeout(timeout)
    if source:
        sock.bind((source, 0))
    sock.connect(("127.0.0.1", port))
    return sock


def read_line(sock, buffer):
    while b"\r\n" not in buffer[0]:
        chunk = sock.recv(4096)
        if not chunk:
            raise EOFError(buffer[0])
        buffer[0] += chunk
    line, buffer[0] = buffer[0].split(b"\r\n", 1)
    return line + b"\r\n"


class Login(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.certs = tempfile.mkdtemp(prefix="quillo-login-certs-")
        cls.ca, cls.cert, cls.key = make_test_ca(cls.certs)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.certs, ignore_errors=True)

    def setUp(self):
        self.http = HttpServer()
        self.http.route("/feed.xml", body=rss_feed("feed", 3))
        self.app = AppDir()
        self.port = free_port()
        shutil.copy(self.cert, os.path.join(self.app.path, "server.pem"))
        shutil.copy(self.key, os.path.join(self.app.path, "server.key"))
        self.app.write("Quillo.xml", settings_xml(
            port=self.port, password=PASSWORD, feeds=[self.http.url("/feed.xml")],
            extra="<settings><tls-certificate>server.pem</tls-certificate><tls-key>server.key</tls-key>"
                  "<tls-port>%d</tls-port></settings>\n" % free_port()))

    def tearDown(self):
        self.http.stop()
        self.app.cleanup()

    def downloads(self):
        return len(self.http.requests_for("/feed.xml"))

    def owner_reads_the_feed(self, source=None):
        box = poplib.POP3("127.0.0.1", self.port, timeout=ANSWER_LIMIT)
        if source:
            # poplib has no source address: the same exchange over a socket of our own.
            box.sock.close()
            box.sock = connect(self.port, source)
            box.file = box.sock.makefile("rb")
            box.welcome = box._getresp()
        self.assertTrue(box.welcome.startswith(b"+OK QUILLO WELCOME <"))
        box.user("me")
        self.assertEqual(box.pass_(PASSWORD), b"+OK")
        self.assertEqual(box.stat()[0], 3)
        self.assertEqual(box.quit(), b"+OK")

    def test_a_guessing_loop_is_answered_a_few_times_and_downloads_nothing(self):
        with Quillo(self.app, port=self.port):
            answers = []
            sockets = []
            lock = threading.Lock()
            stop = threading.Event()

            def guess():
                # Connection after connection, each guess sent at once after the last answer.
                while not stop.is_set():
                    try:
                        sock = connect(self.port, timeout=60)
                    except OSError:
                        return
                    with lock:
                        sockets.append(sock)
                    buffer = [b""]
                    try:
                        read_line(sock, buffer)
                        for n in range(10):
                            sock.sendall(b"USER me\r\nPASS guess %d\r\n" % n)
                            read_line(sock, buffer)
                            reply = read_line(sock, buffer)
                            with lock:
                                answers.append(reply)
                    except (OSError, EOFError):
                        pass
                    finally:
                        sock.close()

            threads = [threading.Thread(target=guess) for _ in range(8)]
            start = time.monotonic()
            for t in threads:
                t.start()
            time.sleep(5)
            with lock:
                answered = list(answers)
            stop.set()
            for sock in list(sockets):
                try:
                    sock.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
            for t in threads:
                t.join(ANSWER_LIMIT)
            elapsed = time.monotonic() - start
            # One address, eight connections: a few answers in five seconds, each a refusal.
            self.assertTrue(all(a == BAD for a in answered), answered)
            self.assertGreaterEqual(len(answered), 1)
            self.assertLessEqual(len(answered), 5, "%d answers in %.1f s" % (len(answered), elapsed))
            # Nobody logged in, so nothing was downloaded.
            self.assertEqual(self.downloads(), 0)
            log = self.app.read("log.txt")
            self.assertIn("POP3のログインに失敗しました。アドレス: 127.0.0.1", log)
            self.assertNotIn("guess", log)
            # The owner, elsewhere, is not held by that address's failures.
            self.owner_reads_the_feed(source="127.0.0.2")
            self.assertEqual(self.downloads(), 1)

    def test_three_failures_close_the_connection(self):
        with Quillo(self.app, port=self.port):
            sock = connect(self.port, source="127.0.0.3")
            buffer = [b""]
            read_line(sock, buffer)
            sock.sendall(b"".join(b"USER me\r\nPASS guess %d\r\n" % n for n in range(4)))
            replies = []
            try:
                while True:
                    replies.append(read_line(sock, buffer))
            except EOFError:
                pass
            sock.close()
            self.assertEqual(replies, [b"+OK Password required\r\n", BAD] * 3)

    def test_the_owner_logs_in_while_strangers_idle_or_stall_after_stls(self):
        with Quillo(self.app, port=self.port):
            # One stranger sends CAPA now and then, the other asks for TLS and goes quiet.
            idler = connect(self.port)
            idle_buffer = [b""]
            self.assertTrue(read_line(idler, idle_buffer).startswith(b"+OK QUILLO WELCOME <"))
            idler.sendall(b"CAPA\r\n")
            staller = connect(self.port)
            stall_buffer = [b""]
            read_line(staller, stall_buffer)
            staller.sendall(b"STLS\r\n")
            self.assertEqual(read_line(staller, stall_buffer), b"+OK Begin TLS negotiation\r\n")
            time.sleep(0.5)
            idler.sendall(b"CAPA\r\n")
            self.assertEqual(self.downloads(), 0)
            self.owner_reads_the_feed()
            self.assertEqual(self.downloads(), 1)
            # Over TLS too, with the strangers still there.
            box = poplib.POP3("127.0.0.1", self.port, timeout=ANSWER_LIMIT)
            box.stls(ssl.create_default_context(cafile=self.ca))
            box.user("me")
            self.assertEqual(box.pass_(PASSWORD), b"+OK")
            self.assertEqual(box.quit(), b"+OK")
            idler.close()
            staller.close()


if __name__ == "__main__":
    unittest.main()
