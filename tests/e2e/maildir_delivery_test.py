"""The maildir setting: every new item goes into a Maildir at once, recorded as
delivered, and POP3 offers nothing new. What users read Maildirs with reads it: Python's
mailbox package, neomutt, and a Dovecot serving the "feeds" layout over IMAP."""

import email
import email.header
import mailbox
import os
import poplib
import re
import tempfile
import shutil
import unittest
from xml.sax.saxutils import escape

from dovecot_server import DovecotServer
from http_server import HttpServer
from neomutt_tmux import NeomuttInTmux
from quillo_harness import AppDir, Quillo, free_port, settings_xml


def document(title, entries):
    items = "".join("<item><title>%s</title><link>http://127.0.0.1/%d</link>"
                    "<description>%s</description></item>\n" % (escape(t), abs(hash(t)), escape(body))
                    for t, body in entries)
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?><rss version=\"2.0\"><channel><title>%s</title>"
            "<link>http://127.0.0.1/</link>%s</channel></rss>" % (title, items)).encode("utf-8")


ARS = [("Plain subject", "A body.\n.A line that starts with a dot"), ("日本語の件名", "本文です。")]
NEWS = [("Café opens", "Crème brûlée & <b>bold</b>")]


def read(path, mode="rb"):
    with open(path, mode, **({} if "b" in mode else {"encoding": "utf-8"})) as f:
        return f.read()


def dovecot_name(disk_name):
    """The IMAP name, decoded, of a Maildir++ folder kept in modified UTF-7."""
    from dovecot_server import modified_utf7_decode
    return modified_utf7_decode(disk_name[1:])


def decoded(value):
    return str(email.header.make_header(email.header.decode_header(value)))


class MaildirDelivery(unittest.TestCase):
    def setUp(self):
        self.http = HttpServer()
        self.app = AppDir()
        self.port = free_port()
        self.home = tempfile.mkdtemp(prefix="quillo-home-")
        self.maildir = os.path.join(self.home, "Mail")
        self.http.route("/ars.xml", body=document("Ars Technica", ARS))
        self.http.route("/news.xml", body=document("日本語ニュース", NEWS))
        self.app.write("feedlist.xml",
                       "<?xml version=\"1.0\"?><opml version=\"1.0\"><head/><body>"
                       "<outline text=\"Technology\"><outline text=\"ars\" xmlUrl=\"%s\"/></outline>"
                       "<outline text=\"news\" xmlUrl=\"%s\"/></body></opml>"
                       % (self.http.url("/ars.xml"), self.http.url("/news.xml")))

    def tearDown(self):
        self.http.stop()
        self.app.cleanup()
        shutil.rmtree(self.home, ignore_errors=True)

    def run_quillo(self, folders):
        settings = settings_xml(self.port).replace(
            " </settings>", "  <maildir>~/Mail</maildir>\n  <maildir-folders>%s</maildir-folders>\n </settings>"
            % folders)
        self.app.write("Quillo.xml", settings)
        with Quillo(self.app, port=self.port, env={"HOME": self.home}):
            for _ in range(2):
                box = poplib.POP3("127.0.0.1", self.port, timeout=60)
                box.user("me")
                box.pass_("x")
                self.assertEqual(box.stat()[0], 0, "POP3 offers nothing the Maildir got")
                box.quit()
        self.assertFalse(os.path.exists(os.path.join(self.app.path, "log.txt")),
                         self.app.read("log.txt") if os.path.exists(os.path.join(self.app.path, "log.txt")) else "")

    def test_python_mailbox_reads_every_message_and_the_items_are_recorded(self):
        self.run_quillo("none")
        box = mailbox.Maildir(self.maildir, factory=None, create=False)
        self.assertEqual(box.list_folders(), [])
        self.assertEqual(len(box.keys()), 3)
        seen = {}
        for key in box.keys():
            message = box.get_message(key)
            raw = box.get_bytes(key)
            self.assertNotIn(b"\r", raw, "a Maildir on Linux holds LF lines")
            self.assertTrue(all(b < 0x80 for b in raw))
            subject = decoded(message["Subject"])
            body = message.get_payload(decode=True).decode(message.get_content_charset())
            seen[subject] = (decoded(message["From"]), body)
        self.assertEqual(sorted(seen), sorted(["Plain subject", "日本語の件名", "Café opens"]))
        self.assertTrue(seen["日本語の件名"][0].startswith("Ars Technica <"))
        self.assertIn("本文です。", seen["日本語の件名"][1])
        self.assertIn("\n.A line that starts with a dot", seen["Plain subject"][1])
        self.assertTrue(seen["Café opens"][0].startswith("日本語ニュース <"))
        self.assertIn("Crème brûlée &", seen["Café opens"][1])
        records = "".join(read(os.path.join(root, "sentitems.xml"), "r")
                          for root, _, files in os.walk(os.path.join(self.app.path, "data"))
                          if "sentitems.xml" in files)
        self.assertEqual(records.count("<item>"), 3)
        # Recorded: a new start delivers nothing twice.
        self.run_quillo("none")
        self.assertEqual(len(mailbox.Maildir(self.maildir, factory=None, create=False).keys()), 3)

    def test_dovecot_serves_one_folder_per_feed_and_every_message_intact(self):
        self.run_quillo("feeds")
        expected = {"Feeds.Technology.Ars Technica": 2, "Feeds.日本語ニュース": 1}
        files = {}
        for name in os.listdir(self.maildir):
            if name.startswith("."):
                new = os.path.join(self.maildir, name, "new")
                files[name] = sorted(read(os.path.join(new, f)) for f in os.listdir(new))
        # On disk the names are in IMAP's modified UTF-7, as Dovecot keeps them by default.
        self.assertEqual(sorted(files), [".Feeds.&ZeVnLIqeMMsw5TD8MLk-", ".Feeds.Technology.Ars Technica"])
        with DovecotServer(self.maildir) as dovecot:
            imap = dovecot.imap()
            try:
                self.assertEqual(sorted(dovecot.folders(imap)), sorted(["INBOX"] + list(expected)), dovecot.log())
                for disk_name, stored in files.items():
                    status, _ = imap.select('"%s"' % disk_name[1:], readonly=True)
                    self.assertEqual(status, "OK", disk_name)
                    status, data = imap.fetch("1:*", "(BODY.PEEK[])")
                    bodies = sorted(part[1] for part in data if isinstance(part, tuple))
                    self.assertEqual(bodies, sorted(b.replace(b"\n", b"\r\n") for b in stored), disk_name)
                    self.assertEqual(len(bodies), expected[dovecot_name(disk_name)])
            finally:
                imap.logout()

    def test_neomutt_opens_a_feed_folder(self):
        self.run_quillo("feeds")
        with NeomuttInTmux(self.maildir, folder=".Feeds.Technology.Ars Technica") as mutt:
            screen = mutt.wait_for("Plain subject")
            self.assertIn("日本語の件名", screen)
            rows = [line for line in screen.splitlines() if re.match(r"\s+\d+ Ars Technica ", line)]
            self.assertEqual(len(rows), 2, screen)


if __name__ == "__main__":
    unittest.main()
