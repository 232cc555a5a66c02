#!/usr/bin/env python3
"""Composed messages read back as mail readers read them: Python's email package with
its standard codecs (the README's make_header example included), glibc's iconv on every
ISO-2022-JP part, and email.utils.parsedate_to_datetime on the Date.

Usage: mail_decode_test.py <path of MailComposeHelper>
"""
import base64
import datetime
import email
import email.header
import email.policy
import email.utils
import re
import subprocess
import sys
import time
import unicodedata
import unittest

HELPER = None


def compose(cases, iso2022jp=False):
    """Runs the helper on (html_enabled, sender, subject, date, link, pieces) tuples,
    with the mail-charset setting auto or iso-2022-jp."""
    records = []
    for html, sender, subject, date, link, pieces in cases:
        fields = [("1" if html else "0") + ("i" if iso2022jp else ""), sender, subject, date, link]
        for is_html, text in pieces:
            fields += ["1" if is_html else "0", text]
        records.append("\x1f".join(fields))
    out = subprocess.run([HELPER], input="\x1e".join(records).encode("utf-8"),
                         capture_output=True, check=True).stdout
    messages = []
    while out:
        length, _, rest = out.partition(b"\n")
        n = int(length)
        messages.append(rest[:n])
        out = rest[n:]
    return messages


def message_text(text):
    """The composed message as stored: CR LF lines, the last one too; no dot-stuffing and
    no terminating line (the POP3 server adds those while sending)."""
    assert text.endswith(b"\r\n"), text[-20:]
    return text


def iconv_iso2022jp(data):
    """glibc's reading of ISO-2022-JP bytes; fails the test when it refuses them."""
    result = subprocess.run(["iconv", "-f", "ISO-2022-JP", "-t", "UTF-8"], input=data, capture_output=True)
    if result.returncode != 0:
        raise AssertionError("iconv refuses %r: %s" % (data, result.stderr.decode(errors="replace")))
    return result.stdout.decode("utf-8")


def decode_windows_iso2022jp(data):
    """ISO-2022-JP decoded through the Windows code page, which holds NEC row 13 and the
    NEC-selected IBM kanji in the same JIS rows: what the iso-2022-jp setting writes."""
    out = []
    mode = "ascii"
    i = 0
    while i < len(data):
        if data[i] == 0x1B:
            seq = data[i:i + 3]
            mode = {b"\x1b(B": "ascii", b"\x1b(J": "roman", b"\x1b$B": "jis", b"\x1b$@": "jis"}[seq]
            i += 3
            continue
        b = data[i]
        if mode == "jis" and 0x21 <= b <= 0x7E:
            row, cell = b - 0x21, data[i + 1] - 0x21
            lead = (row >> 1) + (0x81 if row < 62 else 0xC1)
            trail = cell + (0x40 if cell < 63 else 0x41) if row % 2 == 0 else cell + 0x9F
            out.append(bytes([lead, trail]).decode("cp932"))
            i += 2
            continue
        if mode == "roman" and b == 0x5C:
            out.append("\u00a5")
        elif mode == "roman" and b == 0x7E:
            out.append("\u203e")
        else:
            assert b < 0x80
            out.append(chr(b))
        i += 1
    assert mode == "ascii", "text must end in ASCII"
    return "".join(out)


def expected_header(text):
    return re.sub(r"[\r\n\t]+", " ", text)


def expected_body(text):
    return re.sub(r"\r\n?", "\n", text)


def fold_half_width(text):
    return re.sub("[\uff61-\uff9f]+", lambda m: unicodedata.normalize("NFKC", m.group()), text)


class MailDecodeTest(unittest.TestCase):
    def check(self, case, body_text, html_mail, charset, html_text=None):
        """Reads the composed message with the standard codecs (and glibc for ISO-2022-JP)."""
        html, sender, subject, date, link, pieces = case
        raw = compose([case])[0]
        self.assertTrue(all(b < 0x80 for b in raw), "message must be 7-bit")
        text = message_text(raw)
        for line in text.split(b"\r\n"):
            self.assertLessEqual(len(line), 998)
        msg = email.message_from_bytes(text, policy=email.policy.default)
        self.assertEqual(len(msg["From"].addresses), 1)
        self.assertEqual(msg["From"].addresses[0].display_name, expected_header(sender).strip())
        self.assertTrue(msg["From"].addresses[0].domain == "quillo.invalid", msg["From"])
        self.assertEqual(str(msg["Subject"]), expected_header(subject))
        # The README's example.
        legacy = email.message_from_bytes(text)
        self.assertEqual(str(email.header.make_header(email.header.decode_header(legacy["Subject"]))),
                         expected_header(subject))
        self.assertEqual(msg["Message-ID"], "<4242@quillo.invalid>")
        parts = [msg]
        if html_mail:
            self.assertEqual(msg.get_content_type(), "multipart/alternative")
            plain, html_part = msg.get_payload()
            self.assertEqual(html_part.get_content_type(), "text/html")
            self.assertEqual(html_part.get_content_charset(), charset)
            self.assertEqual(html_part.get_content().replace("\r\n", "\n"),
                             'link: <a href="%s">%s</a><br><br>\n\n%s\n' % (link, link, html_text))
            parts = [plain, html_part]
        else:
            plain = msg
        self.assertEqual(plain.get_content_type(), "text/plain")
        self.assertEqual(plain.get_content_charset(), charset)
        self.assertEqual(plain.get_content().replace("\r\n", "\n"), "link: %s\n\n" % link + expected_body(body_text) + "\n")
        if charset == "iso-2022-jp":
            for part in parts:
                self.assertEqual(iconv_iso2022jp(part.get_payload(decode=True)), part.get_content())
            for word in re.findall(rb"=\?ISO-2022-JP\?B\?([^?]*)\?=", text[:text.index(b"\r\n\r\n")]):
                iconv_iso2022jp(base64.b64decode(word))
        else:
            self.assertNotIn(b"ISO-2022-JP", text)
        return msg

    def test_ascii_message(self):
        case = (False, "Example Feed", "Hello World", "Wed, 01 Jun 2005 12:34:56 GMT",
                "http://example.com/1", [(False, "First line\nSecond line")])
        msg = self.check(case, "First line\nSecond line", False, "utf-8")
        self.assertEqual(msg["Date"], "Wed, 01 Jun 2005 12:34:56 +0000")
        self.assertEqual(msg["Content-Transfer-Encoding"], "7bit")

    def test_japanese_that_jis_x_0208_holds_is_iso2022jp(self):
        body = "吾輩は猫である。名前はまだ無い。\nどこで生れたかとんと見当がつかぬ。\n全角ＡＢＣと「記号」〜 ― ∵"
        case = (False, "青空文庫の新着", "夏目漱石「吾輩は猫である」の第一章が公開されました、今すぐ読めます",
                "", "http://example.jp/neko", [(False, body)])
        self.check(case, body, False, "iso-2022-jp")

    def test_nec_and_ibm_characters_and_half_width_kana_make_utf8(self):
        body = "①②③ ⅠⅡⅢ ㈱ № ㍻ 纊褜 髙﨑 ｶﾞｲﾄﾞﾌﾞｯｸ ¥500"
        for case in [(False, "ﾊﾟｿｺﾝ情報①", "髙橋さんの記事 ㈱ Ⅲ", "", "http://example.jp/", [(False, body)]),
                     (False, "第Ⅲ期のお知らせ", "普通の題名", "", "http://example.jp/", [(False, "普通の本文")])]:
            with self.subTest(sender=case[1]):
                self.check(case, case[5][0][1], False, "utf-8")

    def test_the_iso2022jp_setting_keeps_the_nec_and_ibm_rows(self):
        body = "①②③ ⅠⅡⅢ ㈱ 纊褜 髙﨑 ｶﾞｲﾄﾞﾌﾞｯｸ ¥500"
        case = (False, "ﾊﾟｿｺﾝ情報①", "髙橋さんの記事 ㈱ Ⅲ", "", "http://example.jp/", [(False, body)])
        text = message_text(compose([case], iso2022jp=True)[0])
        msg = email.message_from_bytes(text, policy=email.policy.compat32)
        self.assertEqual(msg.get_content_charset(), "iso-2022-jp")
        subject = "".join(decode_windows_iso2022jp(d) if c == "iso-2022-jp" else d.decode()
                          for d, c in email.header.decode_header(msg["Subject"]))
        self.assertEqual(subject, case[2])
        self.assertEqual(decode_windows_iso2022jp(msg.get_payload(decode=True)).replace("\r\n", "\n"),
                         "link: http://example.jp/\n\n" + fold_half_width(body) + "\n")

    def test_cyrillic_greek_latin_and_emoji_are_utf8_as_written(self):
        cases = [
            ((False, "Новости", "Новости — обзор недели", "", "http://example.ru/",
              [(False, "Только кириллица — и тире.")]), "Только кириллица — и тире."),
            ((False, "Ειδήσεις", "Ελληνικά", "", "http://example.gr/", [(False, "αβγ — δ")]), "αβγ — δ"),
            ((False, "Le Monde", "Café crème", "", "http://example.fr/",
              [(True, "<p>Caf&eacute; cr&egrave;me, une tasse de caf&eacute; avec de la cr&egrave;me</p>")]),
             "Café crème, une tasse de café avec de la crème"),
            ((False, "Café 東京", "😀 emoji と 한국어 in a title", "", "http://example.com/", [(False, "é and 😀")]),
             "é and 😀"),
            ((False, "F", "S", "", "L", [(False, "吾輩は猫である。😀")]), "吾輩は猫である。😀"),
        ]
        for case, body in cases:
            with self.subTest(subject=case[2]):
                self.check(case, body, False, "utf-8")

    def test_iso2022jp_setting_writes_references(self):
        case = (False, "Café", "S", "", "http://example.com/", [(False, "é and 😀")])
        text = message_text(compose([case], iso2022jp=True)[0])
        msg = email.message_from_bytes(text, policy=email.policy.default)
        self.assertEqual(msg.get_content_charset(), "iso-2022-jp")
        self.assertEqual(msg.get_content().replace("\r\n", "\n"), "link: http://example.com/\n\n&#233; and &#128512;\n")

    def test_html_message(self):
        piece = "<p>こんにちは<br>世界</p>"
        case = (True, "Feed", "HTML の記事", "", "http://example.com/a", [(True, piece)])
        self.check(case, "こんにちは\n世界", True, "iso-2022-jp", html_text=piece)

    def test_html_part_of_a_japanese_message_holds_only_what_every_reader_decodes(self):
        # The text part shows none of the ①, the half-width kana or the no-break space of
        # the attribute, so the message is ISO-2022-JP; its HTML writes them as references.
        piece = '<p><span title="① ｶﾅ&nbsp;">こんにちは</span>世界</p>'
        case = (True, "Feed", "HTML の記事", "", "http://example.com/a", [(True, piece)])
        msg = email.message_from_bytes(message_text(compose([case])[0]), policy=email.policy.default)
        self.assertEqual(msg.get_body(("plain",)).get_content_charset(), "iso-2022-jp")
        html_part = msg.get_body(("html",))
        self.assertEqual(html_part.get_content_charset(), "iso-2022-jp")
        self.assertIn('<span title="&#9312; &#65398;&#65413;&#160;">こんにちは</span>世界', html_part.get_content())
        iconv_iso2022jp(html_part.get_payload(decode=True))

    def test_html_reduced_when_html_is_off(self):
        case = (False, "Feed", "Reduced", "", "http://example.com/b",
                [(True, "<p>Hello<br>World</p>"), (False, " and <kept>")])
        self.check(case, "Hello\nWorld and <kept>", False, "utf-8")

    def test_html_as_text(self):
        piece = ("<p>Wellness &amp; more: <a href=\"http://wp.example/a\">Read full article</a>"
                 "&nbsp;&nbsp;&gt;&gt;</p><ul><li>one</li><li>two</li></ul><script>x()</script>")
        case = (False, "Feed", "S", "", "L", [(True, piece)])
        self.check(case, "Wellness & more: Read full article[1]  >>\n\n* one\n* two\n\n"
                   "[1] http://wp.example/a", False, "utf-8")

    def test_from_has_one_address_per_feed(self):
        titles = [("Wellness: Health, Fitness, Nutrition & More - The Washington Post", "utf-8"),
                  ("Tech notes (Atom demo)", "utf-8"), ('Say "hi" \\ <there>', "utf-8"),
                  ("青空文庫の新着, 第2版", "iso-2022-jp"), ("ﾊﾟｿｺﾝ情報① 😀", "utf-8"),
                  ("=?UTF-8?B?SGk=?= literal", "utf-8"), ("A" * 200, "utf-8"), ("word " * 40, "utf-8")]
        cases = [((False, t, "S", "", "L", []), charset) for t, charset in titles]
        addresses = set()
        for raw in compose([case for case, _ in cases]):
            msg = email.message_from_bytes(message_text(raw), policy=email.policy.default)
            addresses.add(msg["From"].addresses[0].addr_spec)
        for case, charset in cases:
            self.check(case, "", False, charset)
        self.assertEqual(len(addresses), len(titles))

    def test_empty_fields(self):
        case = (False, "", "", "", "", [])
        text = message_text(compose([case])[0])
        msg = email.message_from_bytes(text, policy=email.policy.compat32)
        self.assertEqual(msg["From"], "<cbf29ce48422@quillo.invalid>")
        self.assertEqual(msg["Subject"], "")
        self.assertEqual(msg.get_payload(), "link: \r\n\r\n\r\n")

    def test_breaks_in_titles_and_dots_in_the_body(self):
        body = ".\n.NET is here\r\n..\rend"
        case = (False, "Multi\nline\tfeed", "A title\r\n  that spans 行", "", "http://example.com/",
                [(False, body)])
        self.check(case, body, False, "iso-2022-jp")

    def test_long_subject_is_folded(self):
        subject = "長い件名" * 30
        case = (False, "F", subject, "", "L", [])
        raw = compose([case])[0]
        header = raw[:raw.index(b"\r\n\r\n")]
        for line in header.split(b"\r\n"):
            self.assertLessEqual(len(line), 76)
        self.check(case, "", False, "iso-2022-jp")

    def test_no_control_character_reaches_the_message(self):
        controls = "NUL\x00 VT\x0b FF\x0c ESC\x1b DEL\x7f C1\x85 end"
        for iso2022jp in (False, True):
            case = (False, "Feed" + controls, "かな" + controls, "", "http://example.com/" + controls,
                    [(False, controls), (True, "<p>" + controls + "</p>")])
            raw = compose([case], iso2022jp)[0]
            without_shifts = re.sub(rb"\x1b(\$B|\(B|\(J)", b"", raw)
            self.assertIsNone(re.search(rb"[\x00-\x08\x0b\x0c\x0e-\x1f\x7f]", without_shifts), raw)
            msg = email.message_from_bytes(message_text(raw), policy=email.policy.default)
            self.assertIn("NUL VT FF ESC DEL C1 end\n", msg.get_content().replace("\r\n", "\n"))
            self.assertEqual(str(msg["Subject"]), "かなNUL VT FF ESC DEL C1 end")

    def test_dates_read_back_as_the_items_instant(self):
        jst = datetime.timezone(datetime.timedelta(hours=9))
        est = datetime.timezone(datetime.timedelta(hours=-5))
        utc = datetime.timezone.utc
        cases = [
            ("w3c:2026-12-09T07:00:00Z", datetime.datetime(2026, 12, 9, 7, 0, tzinfo=utc)),
            ("w3c:2026-12-09T16:00:00+09:00", datetime.datetime(2026, 12, 9, 16, 0, tzinfo=jst)),
            ("w3c:2026-12-09T10:00:00-05:00", datetime.datetime(2026, 12, 9, 10, 0, tzinfo=est)),
            ("w3c:2026-12-09", datetime.datetime(2026, 12, 9, 0, 0, tzinfo=utc)),
            ("Wed, 09 Dec 2026 16:00:00 +0900", datetime.datetime(2026, 12, 9, 16, 0, tzinfo=jst)),
            ("Wed, 09 Dec 2026 07:00:00 GMT", datetime.datetime(2026, 12, 9, 7, 0, tzinfo=utc)),
            ("Tue, 8 Dec 26 22:00 EST", datetime.datetime(2026, 12, 8, 22, 0, tzinfo=est)),
        ]
        raws = compose([(False, "F", "S", date, "L", []) for date, _ in cases])
        for raw, (date, expected) in zip(raws, cases):
            with self.subTest(date=date):
                header = email.message_from_bytes(message_text(raw))["Date"]
                parsed = email.utils.parsedate_to_datetime(header)
                self.assertEqual(parsed, expected)
                self.assertEqual(parsed.utcoffset(), expected.utcoffset())
        # Without a date, and with one that is none: the moment of composing, in the
        # machine's own offset.
        before = time.time()
        raws = compose([(False, "F", "S", "", "L", []), (False, "F", "S", "yesterday", "L", [])])
        after = time.time()
        for raw in raws:
            parsed = email.utils.parsedate_to_datetime(email.message_from_bytes(message_text(raw))["Date"])
            self.assertTrue(int(before) <= parsed.timestamp() <= after, parsed)
            self.assertEqual(parsed.utcoffset().total_seconds(), time.localtime(parsed.timestamp()).tm_gmtoff)


if __name__ == "__main__":
    HELPER = sys.argv.pop(1)
    unittest.main()
