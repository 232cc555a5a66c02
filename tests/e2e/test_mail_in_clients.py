"""Mail as readers see it: mpop fetches the demo feeds (and a few of our own) from the
real Quillo into an mbox, and Python's mailbox and email packages read every message
back: one sender address per feed with the feed title as its name, the subject, and a
body that decodes in its declared charset, with HTML rendered as text."""

import email
import email.header
import email.policy
import email.utils
import mailbox
import os
import shutil
import subprocess
import tempfile
import unittest

from http_server import HttpServer
from quillo_harness import AppDir, Quillo, free_port, opml_xml, settings_xml

DEMO_FEEDS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "demo", "feeds")

WESTERN = """<?xml version="1.0" encoding="UTF-8"?>
<rss version="2.0"><channel>
<title>Wellness: Health, Fitness, Nutrition &amp; More - The Washington Post</title>
<link>http://127.0.0.1/wellness</link><description>d</description>
<item><title>Caf&#233; cr&#232;me, "literally" =?UTF-8?B?SGk=?=</title>
<link>http://127.0.0.1/wellness/1</link>
<description><![CDATA[<p>Caf&eacute; cr&egrave;me <a href="http://127.0.0.1/more">more</a></p>
<ul><li>one</li><li>two</li></ul><p>Read full article&nbsp;&nbsp;&gt;&gt;</p><script>x()</script>]]></description>
</item></channel></rss>
"""

UNTITLED = """<?xml version="1.0" encoding="UTF-8"?>
<rss version="2.0"><channel><link>http://127.0.0.1/</link><description>d</description>
<item><title>No title feed item</title><link>http://127.0.0.1/untitled/1</link>
<description>plain text</description></item></channel></rss>
"""

# Feed title, then (subject, a text the decoded body holds, charset: ISO-2022-JP for
# Japanese, UTF-8 for the rest, whether the item is HTML) per message, in the order Quillo offers them: the feed-list of Quillo.xml
# first, then feedlist.xml.
EXPECTED = [
    ("Quillo のお知らせ", [
        ("Quillo へようこそ", "メールソフトでフィードを読むための POP3 ゲートウェイです。", "iso-2022-jp", False),
        ("フィードの追加方法", "Corvane で feedlist.xml を編集するか", "iso-2022-jp", False)]),
    ("Tech notes (Atom demo)", [
        ("Conditional GET saves bandwidth", "a 304 reply keeps the feed quiet.", "utf-8", False),
        ("POP3 in one paragraph", "QUIT are all a reader needs.", "utf-8", True)]),
    ("日記 (RSS 1.0 デモ)", [
        ("冬の朝", "霜が降りて、庭が真っ白でした。", "iso-2022-jp", False),
        ("新しいメールソフト", "フィードがメールで届くのは便利です。", "iso-2022-jp", False)]),
    ("Wellness: Health, Fitness, Nutrition & More - The Washington Post", [
        ('Café crème, "literally" =?UTF-8?B?SGk=?=',
         "Café crème more[1]\n\n* one\n* two\n\nRead full article  >>\n\n[1] http://127.0.0.1/more",
         "utf-8", True)]),
    ("127.0.0.1", [("No title feed item", "plain text", "utf-8", False)]),
]


def decoded(value):
    return str(email.header.make_header(email.header.decode_header(value)))


class MailInClients(unittest.TestCase):
    def setUp(self):
        self.http = HttpServer()
        for name in ("quillo-news.xml", "tech-notes.atom", "diary.rdf"):
            with open(os.path.join(DEMO_FEEDS, name), "rb") as f:
                self.http.route("/" + name, body=f.read())
        self.http.route("/wellness.xml", body=WESTERN)
        self.http.route("/untitled.xml", body=UNTITLED)
        self.home = tempfile.mkdtemp(prefix="quillo-mail-")
        self.app = AppDir()
        self.quillo = None

    def tearDown(self):
        if self.quillo:
            self.quillo.stop()
        self.http.stop()
        self.app.cleanup()
        shutil.rmtree(self.home, ignore_errors=True)

    def start(self, enable_html):
        port = free_port()
        self.app.write("Quillo.xml", settings_xml(port=port, enable_html=enable_html,
                                                  feeds=[self.http.url("/quillo-news.xml")]))
        self.app.write("feedlist.xml", opml_xml([self.http.url(p) for p in
                                                 ("/tech-notes.atom", "/diary.rdf", "/wellness.xml",
                                                  "/untitled.xml")]))
        self.quillo = Quillo(self.app, port=port)
        return port

    def fetch_with_mpop(self, port):
        path = os.path.join(self.home, "mbox")
        rc = os.path.join(self.home, "mpoprc")
        with open(rc, "w") as f:
            f.write("account default\nhost 127.0.0.1\nport %d\nuser me\npassword secret\n"
                    "auth user\ntls off\ndelivery mbox %s\nuidls_file %s\nkeep on\n"
                    % (port, path, os.path.join(self.home, "uidls")))
        os.chmod(rc, 0o600)
        result = subprocess.run(["mpop", "-C", rc], capture_output=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        box = mailbox.mbox(path, create=False)
        self.addCleanup(box.close)
        return [box.get_bytes(key) for key in box.keys()]

    def check_messages(self, raw_messages, html):
        expected = [(title, item) for title, items in EXPECTED for item in items]
        self.assertEqual(len(raw_messages), len(expected))
        addresses = {}
        for raw, (title, (subject, body_text, charset, is_html)) in zip(raw_messages, expected):
            self.assertTrue(all(b < 0x80 for b in raw), "8-bit mail from %s" % title)
            for line in raw.split(b"\n"):
                self.assertLessEqual(len(line.rstrip(b"\r")), 998)
            msg = email.message_from_bytes(raw, policy=email.policy.compat32)
            sender = email.utils.getaddresses([msg["From"]])
            self.assertEqual(len(sender), 1, msg["From"])
            name, address = sender[0]
            self.assertEqual(decoded(name), title)
            self.assertTrue(address.endswith("@quillo.invalid"), address)
            addresses.setdefault(title, set()).add(address)
            self.assertEqual(decoded(msg["Subject"]), subject)

            parsed = email.message_from_bytes(raw, policy=email.policy.default)
            plain = parsed.get_body(preferencelist=("plain",))
            self.assertEqual(plain.get_content_charset(), charset)
            text = plain.get_content().replace("\r\n", "\n")
            self.assertIn(body_text, text)
            self.assertNotIn("&#", text)
            self.assertNotIn("<p>", text)
            self.assertEqual(parsed.get_content_type(),
                             "multipart/alternative" if html and is_html else "text/plain")
            if html and is_html:
                markup = parsed.get_body(preferencelist=("html",)).get_content()
                self.assertIn("<p>", markup)
                self.assertNotIn("script", markup)
        # One address per feed, and no two feeds share one.
        self.assertTrue(all(len(a) == 1 for a in addresses.values()), addresses)
        self.assertEqual(len(set.union(*addresses.values())), len(EXPECTED))

    def test_demo_mailbox_reads_well_in_a_mail_reader(self):
        self.check_messages(self.fetch_with_mpop(self.start(enable_html=False)), html=False)

    def test_html_mail_carries_the_text_and_the_cleaned_html(self):
        self.check_messages(self.fetch_with_mpop(self.start(enable_html=True)), html=True)


if __name__ == "__main__":
    unittest.main()
