"""POP3 over TLS against the real Quillo: STLS on the POP3 port and implicit TLS on
tls-port with Python's poplib and fetchmail, clear text pipelined after STLS never
executed, and a certificate that cannot be loaded stopping Quillo."""

import os
import poplib
import shutil
import socket
import ssl
import subprocess
import tempfile
import time
import unittest

from http_server import make_test_ca
from quillo_harness import AppDir, FeedServer, Pop3Client, Quillo, free_port, settings_xml

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DEMO_FEEDS = os.path.join(ROOT, "scripts", "demo", "feeds")
DEMO_FEED_NAMES = ("quillo-news.xml", "tech-notes.atom", "diary.rdf")
# "Must answer within" limits, far above what a served client needs.
ANSWER_LIMIT = 30


def tls_settings(certificate, key, tls_port=None):
    parts = ["<settings><tls-certificate>%s</tls-certificate><tls-key>%s</tls-key>" % (certificate, key)]
    if tls_port is not None:
        parts.append("<tls-port>%d</tls-port>" % tls_port)
    parts.append("</settings>\n")
    return "".join(parts)


class Tls(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.certs = tempfile.mkdtemp(prefix="quillo-tls-certs-")
        cls.ca, cls.cert, cls.key = make_test_ca(cls.certs)
        cls.feeds = FeedServer(DEMO_FEEDS)

    @classmethod
    def tearDownClass(cls):
        cls.feeds.stop()
        shutil.rmtree(cls.certs, ignore_errors=True)

    def setUp(self):
        self.app = AppDir()
        self.port = free_port()
        self.tls_port = free_port()
        # The certificate beside Quillo.xml, named relatively.
        shutil.copy(self.cert, os.path.join(self.app.path, "server.pem"))
        shutil.copy(self.key, os.path.join(self.app.path, "server.key"))
        self.app.write("Quillo.xml", settings_xml(
            port=self.port, feeds=[self.feeds.url(n) for n in DEMO_FEED_NAMES],
            extra=tls_settings("server.pem", "server.key", self.tls_port)))
        self.context = ssl.create_default_context(cafile=self.ca)

    def tearDown(self):
        self.app.cleanup()

    def test_poplib_reads_the_mail_after_stls(self):
        with Quillo(self.app, port=self.port):
            p = poplib.POP3("127.0.0.1", self.port, timeout=ANSWER_LIMIT)
            self.assertIn("STLS", p.capa())
            self.assertEqual(p.stls(context=self.context), b"+OK Begin TLS negotiation")
            self.assertNotIn("STLS", p.capa())
            p.user("me")
            p.pass_("secret")
            count = len(p.list()[1])
            self.assertGreaterEqual(count, 6)
            message = b"\n".join(p.retr(1)[1])
            self.assertIn(b"Subject: ", message)
            self.assertEqual(p.quit(), b"+OK")

    def test_poplib_pop3_ssl_on_the_tls_port(self):
        with Quillo(self.app, port=self.port):
            p = poplib.POP3_SSL("127.0.0.1", self.tls_port, timeout=ANSWER_LIMIT, context=self.context)
            self.assertEqual(p.getwelcome(), b"+OK QUILLO WELCOME")
            self.assertNotIn("STLS", p.capa())
            p.user("me")
            p.pass_("secret")
            self.assertGreaterEqual(p.stat()[0], 6)
            self.assertIn(b"Subject: ", b"\n".join(p.retr(1)[1]))
            # Deleted over TLS and confirmed: gone for the next client, on either port.
            p.dele(1)
            total = p.stat()[0]
            self.assertEqual(p.quit(), b"+OK")
            with Pop3Client(self.port) as c:
                c.greeting()
                c.single("USER me")
                c.single("PASS secret")
                self.assertEqual(int(c.single("STAT").split()[1]), total)

    def test_clear_text_pipelined_after_stls_is_not_executed(self):
        with Quillo(self.app, port=self.port):
            with Pop3Client(self.port, timeout=ANSWER_LIMIT) as c:
                c.greeting()
                # Injected with STLS: logs in and deletes, as if said under TLS.
                c.send(b"STLS\r\nUSER me\r\nPASS x\r\nDELE 1\r\nQUIT\r\n")
                self.assertEqual(c.read_line(), b"+OK Begin TLS negotiation\r\n")
                self.assertEqual(c.buffer, b"")
                tls = self.context.wrap_socket(c.sock, server_hostname="127.0.0.1")
                # Under TLS the session is still before USER, with nothing deleted.
                tls.sendall(b"PASS x\r\nUSER me\r\nPASS x\r\nSTAT\r\nQUIT\r\n")
                replies = b""
                while replies.count(b"\r\n") < 5:
                    chunk = tls.recv(4096)
                    if not chunk:
                        break
                    replies += chunk
                lines = replies.split(b"\r\n")
                # The injected USER never counted: PASS is still out of order.
                self.assertEqual(lines[0], b"-ERR USER first", replies)
                self.assertEqual(lines[2], b"+OK", replies)
                stat_count = int(lines[3].split()[1])
                self.assertEqual(lines[4], b"+OK", replies)
                tls.close()
            with Pop3Client(self.port) as c:
                c.greeting()
                c.login()
                self.assertEqual(int(c.single("STAT").split()[1]), stat_count)
            self.assertGreaterEqual(stat_count, 6)

    def test_fetchmail_fetches_through_stls_by_default(self):
        home = tempfile.mkdtemp(prefix="quillo-fetchmail-")
        try:
            mbox = os.path.join(home, "mail")
            rc = os.path.join(home, "fetchmailrc")
            # No sslproto: fetchmail's own choice, which is STLS when offered. It matches
            # the certificate by DNS name only, so the name is given.
            with open(rc, "w") as f:
                f.write('poll 127.0.0.1 protocol pop3 port %d user "me" password "secret" '
                        'mda "cat >> %s" sslcertck sslcertfile "%s" sslcommonname localhost\n' % (self.port, mbox, self.ca))
            os.chmod(rc, 0o600)
            with Quillo(self.app, port=self.port, env={"QUILLO_TRACE": "1"}) as quillo:
                result = subprocess.run(["fetchmail", "-v", "-f", rc, "--pidfile", os.path.join(home, "pid"),
                                         "-i", os.path.join(home, "ids"), "--nodetach"],
                                        env=dict(os.environ, HOME=home), capture_output=True, timeout=120)
                self.assertEqual(result.returncode, 0, result.stderr + result.stdout)
                self.assertIn(b"STLS", result.stdout + result.stderr)
                with open(mbox, "rb") as f:
                    self.assertGreaterEqual(f.read().count(b"\nSubject: "), 6)
                self.assertIn("TLS: TLS", quillo.stderr())
        finally:
            shutil.rmtree(home, ignore_errors=True)


class BadCertificate(unittest.TestCase):
    def setUp(self):
        self.app = AppDir()
        self.port = free_port()

    def tearDown(self):
        self.app.cleanup()

    def start_with_missing_certificate(self):
        self.app.write("Quillo.xml", settings_xml(
            port=self.port, extra=tls_settings("missing.pem", "missing.key", free_port())))
        quillo = Quillo(self.app, port=self.port, wait=False)
        status = quillo.wait(ANSWER_LIMIT)
        quillo.stop()
        return quillo, status

    def test_a_missing_certificate_stops_quillo_with_a_message(self):
        quillo, status = self.start_with_missing_certificate()
        self.assertIsNotNone(status, "Quillo kept running")
        self.assertIn("missing.pem", quillo.stderr())
        self.assertIn("missing.pem", self.app.read("log.txt"))
        with self.assertRaises(OSError):
            socket.create_connection(("127.0.0.1", self.port), timeout=5).close()

    def test_a_missing_certificate_is_a_non_zero_exit_status(self):
        _, status = self.start_with_missing_certificate()
        self.assertNotIn(status, (0, None))


if __name__ == "__main__":
    unittest.main()
