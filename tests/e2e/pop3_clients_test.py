"""Real POP3 clients against the real Quillo: Python's poplib, curl, fetchmail, mpop."""

import os
import poplib
import shutil
import subprocess
import tempfile
import unittest

from quillo_harness import (AppDir, FeedServer, Pop3Client, Quillo, free_port,
                            opml_xml, settings_xml)

ITEMS = 3


def rss_document(name, count):
    items = "".join(
        "<item><title>%s item %d</title><link>http://127.0.0.1/%s/%d</link>"
        "<description>first line %d&lt;br&gt;second line</description>"
        "<pubDate>Tue, 08 Dec 2026 0%d:00:00 +0900</pubDate></item>" % (name, i, name, i, i, i)
        for i in range(count))
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?><rss version=\"2.0\"><channel>"
            "<title>%s</title><link>http://127.0.0.1/%s</link><description>d</description>%s"
            "</channel></rss>" % (name, name, items))


class WithFeeds(unittest.TestCase):
    """One Quillo serving two feeds (2 and 3 items) from a loopback HTTP server."""

    def setUp(self):
        self.feeds_dir = tempfile.mkdtemp(prefix="quillo-feeds-")
        with open(os.path.join(self.feeds_dir, "one.xml"), "w") as f:
            f.write(rss_document("one", 2))
        with open(os.path.join(self.feeds_dir, "two.xml"), "w") as f:
            f.write(rss_document("two", 3))
        self.http = FeedServer(self.feeds_dir)
        self.app = AppDir()
        self.port = free_port()
        self.app.write("Quillo.xml", settings_xml(port=self.port, feeds=[self.http.url("one.xml")]))
        self.app.write("feedlist.xml", opml_xml([self.http.url("two.xml")]))
        self.quillo = Quillo(self.app, port=self.port)

    def tearDown(self):
        self.quillo.stop()
        self.http.stop()
        self.app.cleanup()
        shutil.rmtree(self.feeds_dir, ignore_errors=True)

    def mailbox_count(self):
        with Pop3Client(self.port) as c:
            c.greet_and_login()
            count = int(c.single("STAT").split()[1])
        self.assertEqual(count, 5, self.app.read("log.txt") if self.app.exists("log.txt") else "")
        return count

    def test_poplib_walks_the_whole_mailbox(self):
        count = self.mailbox_count()
        self.assertEqual(count, 5)
        p = poplib.POP3("127.0.0.1", self.port, timeout=30)
        self.assertEqual(p.getwelcome(), b"+OK QUILLO WELCOME")
        p.user("me")
        p.pass_("secret")
        n, total = p.stat()
        self.assertEqual(n, 5)
        _, listing, _ = p.list()
        sizes = {int(a): int(b) for a, b in (line.split() for line in listing)}
        self.assertEqual(sorted(sizes), [1, 2, 3, 4, 5])
        self.assertEqual(sum(sizes.values()), total)
        self.assertEqual(p.list(2), b"+OK 2 %d" % sizes[2])
        _, uids, _ = p.uidl()
        self.assertEqual(len(set(u.split()[1] for u in uids)), 5)
        self.assertEqual(p.uidl(3), b"+OK 3 " + uids[2].split()[1])
        _, lines, octets = p.retr(1)
        self.assertIn(b"", lines)
        _, top, _ = p.top(1, 0)
        self.assertEqual(top, lines[:lines.index(b"") + 1])
        self.assertEqual(p.dele(2), b"+OK")
        with self.assertRaises(poplib.error_proto):
            p.retr(2)
        self.assertEqual(p.stat()[0], 4)
        self.assertEqual(p.rset(), b"+OK")
        self.assertEqual(p.stat()[0], 5)
        p.dele(1)
        p.dele(5)
        self.assertEqual(p.quit(), b"+OK")
        # Deleted and confirmed: those two are never offered again.
        p = poplib.POP3("127.0.0.1", self.port, timeout=30)
        p.user("me")
        p.pass_("x")
        self.assertEqual(p.stat()[0], 3)
        p.quit()

    def test_retr_size_matches_list_size(self):
        self.mailbox_count()
        with Pop3Client(self.port) as c:
            c.greet_and_login()
            listing = c.multi("LIST").split(b"\r\n")[1:-2]
            for line in listing:
                n, size = line.split()
                reply = c.multi("RETR " + n.decode())
                # The size counts what RETR sends between its status line and the
                # terminating ".CRLF".
                self.assertEqual(len(reply) - len(b"+OK\r\n") - len(b".\r\n"), int(size))

    def test_dele_without_quit_is_forgotten(self):
        self.mailbox_count()
        with Pop3Client(self.port) as c:
            c.greet_and_login()
            self.assertEqual(c.single("DELE 1"), b"+OK\r\n")
        with Pop3Client(self.port) as c:
            self.assertEqual(c.greet_and_login(), b"+OK\r\n")
            self.assertEqual(c.single("STAT").split()[1], b"5")

    def test_curl_lists_and_retrieves(self):
        count = self.mailbox_count()
        out = subprocess.run(["curl", "-s", "--max-time", "30", "pop3://127.0.0.1:%d/" % self.port,
                              "-u", "me:secret"], capture_output=True, check=True).stdout
        self.assertEqual(len(out.splitlines()), count)
        msg = subprocess.run(["curl", "-s", "--max-time", "30", "pop3://127.0.0.1:%d/1" % self.port,
                              "-u", "me:secret"], capture_output=True, check=True).stdout
        self.assertIn(b"Subject:", msg)

    def test_fetchmail_downloads_and_deletes_everything(self):
        self.mailbox_count()
        home = tempfile.mkdtemp(prefix="quillo-fetchmail-")
        try:
            mbox = os.path.join(home, "mail")
            rc = os.path.join(home, "fetchmailrc")
            with open(rc, "w") as f:
                f.write('poll 127.0.0.1 protocol pop3 port %d user "me" password "secret" '
                        'mda "cat >> %s" sslproto "" no sslcertck\n' % (self.port, mbox))
            os.chmod(rc, 0o600)
            result = subprocess.run(["fetchmail", "-f", rc, "--pidfile", os.path.join(home, "pid"),
                                     "-i", os.path.join(home, "ids"), "--nodetach"],
                                    env=dict(os.environ, HOME=home), capture_output=True, timeout=60)
            self.assertEqual(result.returncode, 0, result.stderr)
            with open(mbox, "rb") as f:
                self.assertEqual(f.read().count(b"Subject:"), 5)
            with Pop3Client(self.port) as c:
                c.greet_and_login()
                self.assertEqual(c.single("STAT"), b"+OK 0 0\r\n")
        finally:
            shutil.rmtree(home, ignore_errors=True)

    def test_mpop_downloads_into_an_mbox(self):
        self.mailbox_count()
        home = tempfile.mkdtemp(prefix="quillo-mpop-")
        try:
            mbox = os.path.join(home, "mbox")
            rc = os.path.join(home, "mpoprc")
            with open(rc, "w") as f:
                f.write("account default\nhost 127.0.0.1\nport %d\nuser me\npassword secret\n"
                        "auth user\ntls off\ndelivery mbox %s\nuidls_file %s\nkeep on\n"
                        % (self.port, mbox, os.path.join(home, "uidls")))
            os.chmod(rc, 0o600)
            result = subprocess.run(["mpop", "-C", rc], capture_output=True, timeout=60)
            self.assertEqual(result.returncode, 0, result.stderr)
            with open(mbox, "rb") as f:
                self.assertEqual(f.read().count(b"\nSubject:"), 5)
        finally:
            shutil.rmtree(home, ignore_errors=True)


class EmptyMailbox(unittest.TestCase):
    """The clients against a gateway without feeds: nothing to fetch, no hang."""

    def setUp(self):
        self.app = AppDir()
        self.port = free_port()
        self.app.write("Quillo.xml", settings_xml(port=self.port))
        self.quillo = Quillo(self.app, port=self.port)

    def tearDown(self):
        self.quillo.stop()
        self.app.cleanup()

    def test_poplib_sees_an_empty_mailbox(self):
        p = poplib.POP3("127.0.0.1", self.port, timeout=30)
        self.assertEqual(p.capa(), {"USER": [], "TOP": [], "UIDL": [], "RESP-CODES": []})
        p.user("me")
        p.pass_("x")
        self.assertEqual(p.stat(), (0, 0))
        self.assertEqual(p.list()[:2], (b"+OK", []))
        self.assertEqual(p.uidl()[:2], (b"+OK", []))
        with self.assertRaises(poplib.error_proto):
            p.list(1)
        with self.assertRaises(poplib.error_proto):
            p.retr(1)
        self.assertEqual(p.noop(), b"+OK")
        self.assertEqual(p.quit(), b"+OK")

    def test_curl_lists_nothing(self):
        out = subprocess.run(["curl", "-s", "--max-time", "30", "pop3://127.0.0.1:%d/" % self.port,
                              "-u", "me:secret"], capture_output=True, timeout=60)
        self.assertEqual(out.returncode, 0)
        self.assertEqual(out.stdout.strip(), b"")

    def test_fetchmail_finds_no_mail(self):
        home = tempfile.mkdtemp(prefix="quillo-fetchmail-")
        try:
            rc = os.path.join(home, "fetchmailrc")
            with open(rc, "w") as f:
                f.write('poll 127.0.0.1 protocol pop3 port %d user "me" password "secret" '
                        'mda "cat > /dev/null" sslproto "" no sslcertck\n' % self.port)
            os.chmod(rc, 0o600)
            result = subprocess.run(["fetchmail", "-f", rc, "--pidfile", os.path.join(home, "pid"),
                                     "-i", os.path.join(home, "ids"), "--nodetach"],
                                    env=dict(os.environ, HOME=home), capture_output=True, timeout=60)
            # 1 is fetchmail's "no mail".
            self.assertEqual(result.returncode, 1, result.stderr)
        finally:
            shutil.rmtree(home, ignore_errors=True)

    def test_mpop_finishes(self):
        home = tempfile.mkdtemp(prefix="quillo-mpop-")
        try:
            rc = os.path.join(home, "mpoprc")
            with open(rc, "w") as f:
                f.write("account default\nhost 127.0.0.1\nport %d\nuser me\npassword secret\n"
                        "auth user\ntls off\ndelivery mbox %s\nuidls_file %s\n"
                        % (self.port, os.path.join(home, "mbox"), os.path.join(home, "uidls")))
            os.chmod(rc, 0o600)
            result = subprocess.run(["mpop", "-C", rc], capture_output=True, timeout=60)
            self.assertEqual(result.returncode, 0, result.stderr)
        finally:
            shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
