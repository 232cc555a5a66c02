"""The POP3 grammar of the real Quillo, over a raw socket and with Python's poplib:
keywords in any case and matched whole, strict message numbers, nothing but the login
before login, sizes that are the octets RETR sends, the password and APOP, and the
warning for a listener beyond loopback without a password."""

import os
import poplib
import re
import unittest

from http_server import HttpServer
from quillo_harness import AppDir, Pop3Client, Quillo, free_port, open_mailbox, rss_feed, settings_xml

LAST_MODIFIED = "Sat, 01 Jan 2005 00:00:00 GMT"
UNKNOWN = b"-ERR unknown command\r\n"
BAD_PASSWORD = b"-ERR [AUTH] invalid password\r\n"
PASSWORD = "s3cret and spaces"


class Grammar(unittest.TestCase):
    password = None

    def setUp(self):
        self.http = HttpServer()
        # A body line that starts with a dot is sent dot-stuffed and counted so.
        self.http.route("/feed.xml", body=rss_feed("feed", 3, body=".dotted"),
                        headers={"Last-Modified": LAST_MODIFIED})
        self.app = AppDir()
        self.port = free_port()
        self.app.write("Quillo.xml", settings_xml(port=self.port, feeds=[self.http.url("/feed.xml")],
                                                  password=self.password))
        self.quillo = Quillo(self.app, port=self.port)

    def tearDown(self):
        self.quillo.stop()
        self.http.stop()
        self.app.cleanup()

    def stat(self):
        with open_mailbox(self.port) as c:
            reply = c.single("STAT")
            self.assertEqual(c.single("QUIT"), b"+OK\r\n")
        return reply


class WithoutPassword(Grammar):
    def test_keywords_in_any_case_and_only_whole(self):
        with Pop3Client(self.port) as c:
            self.assertEqual(c.greeting(), b"+OK QUILLO WELCOME\r\n")
            self.assertEqual(c.single("user me"), b"+OK Password required\r\n")
            self.assertEqual(c.single("pAsS x"), b"+OK\r\n")
            stat = c.single("stat")
            self.assertTrue(stat.startswith(b"+OK 3 "), stat)
            for line in ("QUITNOW", "STATUS", "DELE1", "LIST1", "NOOPS", "QUIT\tNOW"):
                self.assertEqual(c.single(line), UNKNOWN, line)
            self.assertEqual(c.single("Stat"), stat)
            self.assertEqual(c.single("quit"), b"+OK\r\n")
        # DELE1 deleted nothing, QUITNOW ended nothing.
        self.assertEqual(self.stat(), stat)

    def test_bad_message_numbers_and_arguments_are_errors_that_change_nothing(self):
        with open_mailbox(self.port) as c:
            stat = c.single("STAT")
            for line in ("LIST abc", "LIST 0", "LIST -1", "LIST +1", "RETR 1abc", "DELE 1x",
                         "TOP x 1", "UIDL 0", "DELE 99999999999", "RETR 4294967297", "LIST 4",
                         "TOP 1 -1", "TOP 1 x", "TOP 1", "RETR", "DELE", "LIST 1 2",
                         "TOP 1 2 3", "STAT 1", "NOOP now", "USER me", "PASS x"):
                reply = c.single(line)
                self.assertTrue(reply.startswith(b"-ERR"), (line, reply))
            self.assertEqual(c.single("STAT"), stat)
            self.assertEqual(c.single("QUIT"), b"+OK\r\n")
        self.assertEqual(self.stat(), stat)

    def test_only_the_login_commands_work_before_login(self):
        with Pop3Client(self.port) as c:
            c.greeting()
            for line in ("STAT", "LIST", "RETR 1", "DELE 1", "DELE 2", "UIDL", "TOP 1 0", "NOOP", "RSET",
                         "PASS x"):
                reply = c.single(line)
                self.assertTrue(reply.startswith(b"-ERR"), (line, reply))
            self.assertEqual(c.login(), b"+OK\r\n")
            self.assertTrue(c.single("STAT").startswith(b"+OK 3 "))
            self.assertEqual(c.single("QUIT"), b"+OK\r\n")
        # Nothing was deleted before the login, so nothing was recorded at QUIT.
        self.assertTrue(self.stat().startswith(b"+OK 3 "))
        # QUIT before login ends the session too.
        with Pop3Client(self.port) as c:
            c.greeting()
            self.assertEqual(c.single("QUIT"), b"+OK\r\n")
            self.assertTrue(c.closed_by_peer())

    def test_list_and_stat_sizes_are_the_octets_retr_sends(self):
        with open_mailbox(self.port) as c:
            count, total = (int(v) for v in c.single("STAT").split()[1:3])
            listing = c.multi("LIST").split(b"\r\n")[1:-2]
            self.assertEqual(len(listing), count)
            sizes = 0
            for line in listing:
                n, size = line.split()
                self.assertEqual(c.single("LIST " + n.decode()), b"+OK " + line + b"\r\n")
                reply = c.multi("RETR " + n.decode())
                self.assertIn(b"\r\n..dotted", reply)
                body = reply[len(b"+OK\r\n"):-len(b".\r\n")]
                self.assertEqual(len(body), int(size), n)
                sizes += int(size)
            self.assertEqual(sizes, total)
        p = poplib.POP3("127.0.0.1", self.port, timeout=30)
        p.user("me")
        p.pass_("x")
        _, lines, _ = p.list()
        self.assertEqual(sum(int(line.split()[1]) for line in lines), p.stat()[1])
        p.quit()


class WithPassword(Grammar):
    password = PASSWORD

    def test_pass_must_match_and_a_wrong_one_starts_over(self):
        with Pop3Client(self.port) as c:
            greeting = c.greeting()
            self.assertRegex(greeting, rb"^\+OK QUILLO WELCOME <\d+\.\d+@[^<>@ ]+>\r\n$")
            self.assertEqual(c.single("USER me"), b"+OK Password required\r\n")
            self.assertEqual(c.single("PASS s3cret"), BAD_PASSWORD)
            self.assertTrue(c.single("STAT").startswith(b"-ERR"))
            self.assertTrue(c.single("PASS " + PASSWORD).startswith(b"-ERR"))
            self.assertEqual(c.login(password=PASSWORD), b"+OK\r\n")
            self.assertTrue(c.single("STAT").startswith(b"+OK 3 "))
            self.assertEqual(c.single("QUIT"), b"+OK\r\n")
        with Pop3Client(self.port) as c:
            self.assertNotEqual(c.greeting(), greeting)

    def test_poplib_logs_in_with_pass_and_with_apop(self):
        p = poplib.POP3("127.0.0.1", self.port, timeout=30)
        p.user("me")
        with self.assertRaises(poplib.error_proto) as refused:
            p.pass_("wrong")
        self.assertEqual(refused.exception.args[0], BAD_PASSWORD.rstrip())
        p.user("me")
        p.pass_(PASSWORD)
        self.assertEqual(p.stat()[0], 3)
        p.quit()
        p = poplib.POP3("127.0.0.1", self.port, timeout=30)
        with self.assertRaises(poplib.error_proto):
            p.apop("me", "wrong")
        self.assertEqual(p.apop("me", PASSWORD), b"+OK")
        self.assertEqual(p.stat()[0], 3)
        self.assertEqual(p.dele(1), b"+OK")
        self.assertEqual(p.quit(), b"+OK")
        p = poplib.POP3("127.0.0.1", self.port, timeout=30)
        p.apop("me", PASSWORD)
        self.assertEqual(p.stat()[0], 2)
        p.quit()

    def test_a_second_session_hears_of_the_password_before_in_use(self):
        with open_mailbox(self.port, password=PASSWORD) as first:
            with Pop3Client(self.port) as second:
                second.greeting()
                self.assertEqual(second.login(password="wrong"), BAD_PASSWORD)
                self.assertEqual(second.login(password=PASSWORD), b"-ERR [IN-USE] mailbox in use\r\n")
                self.assertEqual(second.single("QUIT"), b"+OK\r\n")
            self.assertEqual(first.single("QUIT"), b"+OK\r\n")


class OpenToTheNetwork(unittest.TestCase):
    """Listening beyond loopback without a password is said at every start."""

    def setUp(self):
        self.app = AppDir()
        self.port = free_port()

    def tearDown(self):
        self.app.cleanup()

    def start_and_stop(self, password):
        self.app.write("Quillo.xml", settings_xml(port=self.port, listen_address="0.0.0.0", password=password))
        with Quillo(self.app, port=self.port) as quillo:
            # Served on loopback only; the test never talks to another address.
            with Pop3Client(self.port) as c:
                c.greeting()
                c.single("QUIT")
            stderr = quillo.stderr()
        log = self.app.read("log.txt") if self.app.exists("log.txt") else ""
        return log, stderr

    def test_warned_at_every_start_without_a_password(self):
        log, stderr = self.start_and_stop(password=None)
        self.assertIn("0.0.0.0", log)
        self.assertIn("password", log)
        self.assertIn("warning: listening on 0.0.0.0 without a password", stderr)
        log, stderr = self.start_and_stop(password=None)
        self.assertEqual(log.count("listen-address 0.0.0.0"), 2, log)
        self.assertIn("warning", stderr)
        os.remove(os.path.join(self.app.path, "log.txt"))
        log, stderr = self.start_and_stop(password="pw")
        self.assertEqual(log, "")
        self.assertNotIn("warning", stderr)


if __name__ == "__main__":
    unittest.main()
