"""Mail that every reader shows right: a spread of feeds (Japanese that JIS X 0208 holds,
Japanese with NEC and IBM characters, Cyrillic only, Latin with accents in an Atom html
title, emoji and control characters in a JSON Feed, an undated item) served to the real
Quillo, every message taken with POP3 and read back three ways:

- Python's email package with its standard codecs, and the README's poplib example
  (email.header.make_header), which must not raise;
- glibc's iconv on every ISO-2022-JP part and encoded-word;
- neomutt (the Debian package) in tmux, whose screen (capture-pane) must show the
  decoded subject and body.

Dates are read with email.utils.parsedate_to_datetime and must give the item's instant
in its own offset; an undated item the time it was first seen, in the machine's real
offset (Quillo runs with TZ=Asia/Kolkata, +05:30)."""

import base64
import datetime
import email
import email.header
import email.policy
import email.utils
import mailbox
import os
import poplib
import re
import shutil
import subprocess
import tempfile
import time
import unittest

from http_server import HttpServer
from quillo_harness import AppDir, Quillo, free_port, settings_xml

UTC = datetime.timezone.utc


def zone(hours, minutes=0):
    sign = -1 if hours < 0 else 1
    return datetime.timezone(datetime.timedelta(hours=hours, minutes=sign * minutes))


JIS = """<?xml version="1.0" encoding="UTF-8"?>
<rss version="2.0"><channel><title>青空文庫の新着</title><link>http://127.0.0.1/jis</link>
<item><title>夏目漱石「吾輩は猫である」</title><link>http://127.0.0.1/jis/1</link>
<pubDate>Wed, 09 Dec 2026 16:00:00 +0900</pubDate>
<description>吾輩は猫である。名前はまだ無い。
どこで生れたかとんと見当がつかぬ。</description></item>
<item><title>
  <![CDATA[全角ＡＢＣと〜記号、かな]]>
</title><link>http://127.0.0.1/jis/2</link>
<pubDate>Wed, 09 Dec 2026 07:00:00 GMT</pubDate>
<description>&lt;p&gt;漢字と&lt;b&gt;かな&lt;/b&gt;の段落&lt;/p&gt;</description></item>
</channel></rss>
"""

NEC = ("""<?xml version="1.0" encoding="Shift_JIS"?>
<rss version="2.0"><channel><title>第Ⅲ期のお知らせ</title><link>http://127.0.0.1/nec</link>
<item><title>①髙橋さんの㈱レポート</title><link>http://127.0.0.1/nec/1</link>
<pubDate>Tue, 8 Dec 26 22:00 EST</pubDate>
<description>NEC と IBM の文字 ① ㈱ Ⅲ № ㍻ 髙 﨑</description></item>
<item><title>普通の記事</title><link>http://127.0.0.1/nec/2</link>
<pubDate>Wed, 09 Dec 2026 16:00:00 +0900</pubDate>
<description>普通の本文</description></item>
</channel></rss>
""").encode("cp932")

CYRILLIC = """<?xml version="1.0" encoding="UTF-8"?>
<rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#" xmlns="http://purl.org/rss/1.0/"
 xmlns:dc="http://purl.org/dc/elements/1.1/">
<channel rdf:about="http://127.0.0.1/cyr"><title>Новости</title><link>http://127.0.0.1/cyr</link></channel>
<item rdf:about="http://127.0.0.1/cyr/1"><title>Новости — обзор недели</title><link>http://127.0.0.1/cyr/1</link>
<dc:date>2026-12-09T12:00:00+03:00</dc:date><description>Только кириллица — и тире.</description></item>
</rdf:RDF>
"""

LATIN = """<?xml version="1.0" encoding="UTF-8"?>
<feed xmlns="http://www.w3.org/2005/Atom"><title>Le Monde des cafés</title>
<entry><title type="html">Caf&amp;eacute; &amp;amp; tea &amp;lt;notes&amp;gt;</title>
<link href="http://127.0.0.1/latin/1"/><updated>2026-12-09T07:00:00Z</updated>
<content type="html">&lt;p&gt;Crème brûlée, à la française&lt;/p&gt;</content></entry>
<entry><title type="xhtml"><div xmlns="http://www.w3.org/1999/xhtml">Bold <b>déménagement</b> &amp; more</div></title>
<link href="http://127.0.0.1/latin/2"/><updated>2026-12-09T10:00:00-05:00</updated>
<content type="text">Naïve façade</content></entry>
</feed>
"""

EMOJI = """{"version": "https://jsonfeed.org/version/1.1", "title": "Sushi 🍣 feed",
 "items": [
  {"id": "1", "title": "Sushi 🍣 night", "url": "http://127.0.0.1/emoji/1",
   "date_published": "2026-12-09T10:00:00-05:00", "content_text": "🍣 and NUL\\u0000 VT\\u000b ESC\\u001b end"},
  {"id": "2", "title": "No date at all", "url": "http://127.0.0.1/emoji/2", "content_text": "undated"}
 ]}
"""

FIRST_SEEN = "first seen"
KOLKATA = zone(5, 30)

# Per message, in the order Quillo offers them: sender, subject, texts the body holds,
# the charset of its text part, and its date (an aware datetime, or FIRST_SEEN).
EXPECTED = [
    ("青空文庫の新着", "夏目漱石「吾輩は猫である」",
     ["吾輩は猫である。名前はまだ無い。\nどこで生れたかとんと見当がつかぬ。"], "iso-2022-jp",
     datetime.datetime(2026, 12, 9, 16, 0, tzinfo=zone(9))),
    ("青空文庫の新着", "全角ＡＢＣと〜記号、かな", ["漢字とかなの段落"], "iso-2022-jp",
     datetime.datetime(2026, 12, 9, 7, 0, tzinfo=UTC)),
    ("第Ⅲ期のお知らせ", "①髙橋さんの㈱レポート", ["NEC と IBM の文字 ① ㈱ Ⅲ № ㍻ 髙 﨑"], "utf-8",
     datetime.datetime(2026, 12, 8, 22, 0, tzinfo=zone(-5))),
    ("第Ⅲ期のお知らせ", "普通の記事", ["普通の本文"], "utf-8",
     datetime.datetime(2026, 12, 9, 16, 0, tzinfo=zone(9))),
    ("Новости", "Новости — обзор недели", ["Только кириллица — и тире."], "utf-8",
     datetime.datetime(2026, 12, 9, 12, 0, tzinfo=zone(3))),
    ("Le Monde des cafés", "Café & tea <notes>", ["Crème brûlée, à la française"], "utf-8",
     datetime.datetime(2026, 12, 9, 7, 0, tzinfo=UTC)),
    ("Le Monde des cafés", "Bold déménagement & more", ["Naïve façade"], "utf-8",
     datetime.datetime(2026, 12, 9, 10, 0, tzinfo=zone(-5))),
    ("Sushi 🍣 feed", "Sushi 🍣 night", ["🍣 and NUL VT ESC end"], "utf-8",
     datetime.datetime(2026, 12, 9, 10, 0, tzinfo=zone(-5))),
    ("Sushi 🍣 feed", "No date at all", ["undated"], "utf-8", FIRST_SEEN),
]

FEEDS = [("/jis.xml", JIS), ("/nec.xml", NEC), ("/cyrillic.rdf", CYRILLIC), ("/latin.atom", LATIN),
         ("/emoji.json", EMOJI)]


def iconv_iso2022jp(data):
    """glibc's reading of ISO-2022-JP bytes; fails the test when it refuses them."""
    result = subprocess.run(["iconv", "-f", "ISO-2022-JP", "-t", "UTF-8"], input=data, capture_output=True)
    if result.returncode != 0:
        raise AssertionError("iconv refuses %r: %s" % (data, result.stderr.decode(errors="replace")))
    return result.stdout.decode("utf-8")


ENCODED_WORD = re.compile(rb"=\?([^?]+)\?[Bb]\?([^?]*)\?=")


class NeomuttInTmux:
    """neomutt reading an mbox in a tmux server of its own, with a UTF-8 terminal and only
    the configuration written here."""

    MUTTRC = ('set mbox_type = mbox\nset folder = "{dir}"\nset spoolfile = "{mbox}"\nset record = ""\n'
              'set postponed = ""\nset header_cache = ""\nset mark_old = no\nset move = no\n'
              'set sort = mailbox-order\nset index_format = "%4C %s"\nset pager_stop = yes\n'
              'set pager_index_lines = 0\nset wait_key = no\nset charset = "utf-8"\nset check_new = no\n'
              'set sidebar_visible = no\nset markers = no\nset smart_wrap = no\n')

    def __init__(self, mbox, width=220, height=60):
        self.dir = tempfile.mkdtemp(prefix="quillo-neomutt-")
        self.socket = os.path.join(self.dir, "tmux.sock")
        rc = os.path.join(self.dir, "muttrc")
        with open(rc, "w") as f:
            f.write(self.MUTTRC.format(dir=self.dir, mbox=mbox))
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": self.dir, "TERM": "xterm-256color",
               "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8", "TMPDIR": self.dir}
        self._tmux("new-session", "-d", "-x", str(width), "-y", str(height), "-s", "mutt",
                   "neomutt -n -F '%s' -f '%s'" % (rc, mbox), env=env)

    def _tmux(self, *args, env=None):
        return subprocess.run(["tmux", "-S", self.socket] + list(args), env=env, capture_output=True,
                              check=True, timeout=30).stdout.decode("utf-8", "replace")

    def keys(self, *keys):
        self._tmux("send-keys", "-t", "mutt", *keys)

    def wait_for(self, *texts, timeout=15):
        """The screen once it shows every text (blanks run together, as a wide terminal
        may pad them); an AssertionError with the last screen otherwise."""
        deadline = time.monotonic() + timeout
        screen = ""
        while time.monotonic() < deadline:
            screen = self._tmux("capture-pane", "-p", "-t", "mutt")
            flat = re.sub(r"\s+", " ", screen)
            if all(re.sub(r"\s+", " ", t) in flat for t in texts):
                return screen
            time.sleep(0.1)
        raise AssertionError("neomutt never showed %r; the screen was:\n%s" % (texts, screen))

    def stop(self):
        subprocess.run(["tmux", "-S", self.socket, "kill-server"], capture_output=True, timeout=30)
        shutil.rmtree(self.dir, ignore_errors=True)


class MailCharsets(unittest.TestCase):
    enable_html = False

    @classmethod
    def setUpClass(cls):
        cls.http = HttpServer()
        cls.app = AppDir()
        for path, body in FEEDS:
            cls.http.route(path, body=body)
        port = free_port()
        cls.app.write("Quillo.xml", settings_xml(port=port, enable_html=cls.enable_html,
                                                 feeds=[cls.http.url(p) for p, _ in FEEDS]))
        cls.quillo = Quillo(cls.app, port=port, env={"TZ": "Asia/Kolkata"})
        try:
            cls.before = datetime.datetime.now(UTC).replace(microsecond=0)
            box = poplib.POP3("127.0.0.1", port, timeout=120)
            box.user("me")
            box.pass_("x")
            count, _ = box.stat()
            cls.raw = [b"\r\n".join(box.retr(n)[1]) + b"\r\n" for n in range(1, count + 1)]
            # The README's example, exactly as printed there, on the same messages.
            cls.readme = []
            for number in range(1, count + 1):
                message = email.message_from_bytes(b"\r\n".join(box.retr(number)[1]))
                try:
                    cls.readme.append(str(email.header.make_header(email.header.decode_header(message["Subject"]))))
                except UnicodeError as e:
                    cls.readme.append(repr(e))
            box.quit()
            cls.after = datetime.datetime.now(UTC)
        finally:
            cls.quillo.stop()
            cls.http.stop()

    @classmethod
    def tearDownClass(cls):
        cls.app.cleanup()

    def test_every_message_reads_right_with_the_standard_codecs(self):
        self.assertEqual(len(self.raw), len(EXPECTED))
        for raw, (sender, subject, texts, charset, _) in zip(self.raw, EXPECTED):
            with self.subTest(subject=subject):
                self.assertTrue(all(b < 0x80 for b in raw))
                self.assertFalse(re.search(rb"[\x00-\x08\x0b\x0c\x0e-\x1a\x1c-\x1f\x7f]", raw), raw)
                msg = email.message_from_bytes(raw, policy=email.policy.default)
                self.assertEqual(str(msg["Subject"]), subject)
                self.assertEqual(msg["From"].addresses[0].display_name, sender)
                self.assertTrue(re.fullmatch(r"<\d+@quillo\.invalid>", msg["Message-ID"]), msg["Message-ID"])
                body = msg.get_body(("plain",))
                self.assertEqual(body.get_content_charset(), charset)
                content = body.get_content().replace("\r\n", "\n")
                for text in texts:
                    self.assertIn(text, content)
                self.assertNotIn("&#", content)
                # Every part, the HTML one too, in the message's charset and readable by glibc.
                for part in msg.walk():
                    if part.get_content_maintype() != "text":
                        continue
                    self.assertEqual(part.get_content_charset(), charset)
                    self.assertNotIn("\ufffd", part.get_content())
                    if charset == "iso-2022-jp":
                        self.assertEqual(iconv_iso2022jp(part.get_payload(decode=True)), part.get_content())
        self.assertEqual(self.readme, [subject for _, subject, _, _, _ in EXPECTED])

    def test_glibc_iconv_reads_every_iso2022jp_part_and_word(self):
        checked = 0
        for raw, (sender, subject, texts, charset, _) in zip(self.raw, EXPECTED):
            with self.subTest(subject=subject):
                header = raw[:raw.index(b"\r\n\r\n")].replace(b"\r\n ", b" ")
                fields = dict(line.split(b": ", 1) for line in header.split(b"\r\n"))
                # The words of a message are all in its charset, so no reader has to mix.
                charsets = {c.lower().decode() for c, _ in ENCODED_WORD.findall(header)}
                self.assertLessEqual(charsets, {charset}, header)
                if charset != "iso-2022-jp":
                    continue
                for name, expected in ((b"Subject", subject), (b"From", sender)):
                    words = ENCODED_WORD.findall(fields[name])
                    self.assertEqual("".join(iconv_iso2022jp(base64.b64decode(d)) for _, d in words), expected)
                part = email.message_from_bytes(raw, policy=email.policy.default).get_body(("plain",))
                text = iconv_iso2022jp(part.get_payload(decode=True)).replace("\r\n", "\n")
                for expected in texts:
                    self.assertIn(expected, text)
                checked += 1
        self.assertEqual(checked, 2)

    def test_dates_give_the_items_instant_in_its_own_offset(self):
        for raw, (_, subject, _, _, when) in zip(self.raw, EXPECTED):
            with self.subTest(subject=subject):
                msg = email.message_from_bytes(raw, policy=email.policy.compat32)
                date = email.utils.parsedate_to_datetime(msg["Date"])
                self.assertTrue(re.fullmatch(r"(Mon|Tue|Wed|Thu|Fri|Sat|Sun), \d\d \w{3} \d{4} \d\d:\d\d:\d\d "
                                             r"[+-]\d{4}", msg["Date"]), msg["Date"])
                if when == FIRST_SEEN:
                    self.assertEqual(date.utcoffset(), KOLKATA.utcoffset(None))
                    self.assertTrue(self.before - datetime.timedelta(seconds=1) <= date <= self.after, date)
                else:
                    self.assertEqual(date, when)
                    self.assertEqual(date.utcoffset(), when.utcoffset())

    def test_neomutt_shows_the_decoded_subject_and_body(self):
        folder = tempfile.mkdtemp(prefix="quillo-mbox-")
        self.addCleanup(shutil.rmtree, folder, True)
        path = os.path.join(folder, "feeds.mbox")
        box = mailbox.mbox(path)
        for raw in self.raw:
            box.add(raw.replace(b"\r\n", b"\n"))
        box.close()
        mutt = NeomuttInTmux(path)
        self.addCleanup(mutt.stop)
        mutt.wait_for(*[subject for _, subject, _, _, _ in EXPECTED])
        for number, (sender, subject, texts, _, _) in enumerate(EXPECTED, 1):
            with self.subTest(subject=subject):
                # Jump to the message by its number, open it, read it, back to the index.
                mutt.keys(str(number), "Enter")
                mutt.keys("Enter")
                screen = mutt.wait_for("Subject: " + subject, *[t.split("\n")[0] for t in texts])
                self.assertNotIn("\ufffd", screen)
                mutt.keys("q")
                mutt.wait_for(EXPECTED[-1][1])


class MailCharsetsWithHtml(MailCharsets):
    """The same with enable-html: the HTML parts follow the charset of the message."""
    enable_html = True


if __name__ == "__main__":
    unittest.main()
