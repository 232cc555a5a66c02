#!/usr/bin/env python3
"""Composed messages read back by Python's email package, as a mail reader would.

Usage: mail_decode_test.py <path of MailComposeHelper>
"""
import email
import email.header
import email.policy
import email.utils
import re
import subprocess
import sys
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


def decode_iso2022jp(data):
    """ISO-2022-JP decoded through the Windows code page, which holds NEC row 13
    and the NEC-selected IBM kanji in the same JIS rows."""
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


def decode_header_value(raw):
    parts = []
    for data, charset in email.header.decode_header(raw):
        if isinstance(data, str):
            parts.append(data)
        elif charset is None:
            parts.append(data.decode("ascii"))
        elif charset.lower() == "iso-2022-jp":
            parts.append(decode_iso2022jp(data))
        else:
            parts.append(data.decode(charset))
    return "".join(parts)


def expected_header(text):
    text = re.sub(r"[\r\n\t]+", " ", text)
    return re.sub("[\uff61-\uff9f]+", lambda m: unicodedata.normalize("NFKC", m.group()), text)


def expected_body(text):
    text = re.sub(r"\r\n?", "\n", text)
    text = re.sub("[\uff61-\uff9f]+", lambda m: unicodedata.normalize("NFKC", m.group()), text)
    return text


def decode_part(part):
    data = part.get_payload(decode=True)
    if part.get_content_charset() == "iso-2022-jp":
        return decode_iso2022jp(data).replace("\r\n", "\n")
    return data.decode(part.get_content_charset()).replace("\r\n", "\n")


def sender_of(msg):
    """The one address of From and its decoded display name."""
    raw = msg["From"]
    addresses = email.utils.getaddresses([raw])
    assert len(addresses) == 1, (raw, addresses)
    name, address = addresses[0]
    return decode_header_value(name), address


class MailDecodeTest(unittest.TestCase):
    def check(self, case, body_text, html_mail, charset="iso-2022-jp", iso2022jp=False, html_text=None):
        html, sender, subject, date, link, pieces = case
        raw = compose([case], iso2022jp)[0]
        self.assertTrue(all(b < 0x80 for b in raw), "message must be 7-bit")
        text = message_text(raw)
        for line in text.split(b"\r\n"):
            self.assertLessEqual(len(line), 998)
        msg = email.message_from_bytes(text, policy=email.policy.compat32)
        name, address = sender_of(msg)
        self.assertEqual(name, expected_header(sender).strip())
        self.assertTrue(address.endswith("@quillo.invalid"), address)
        self.assertEqual(decode_header_value(msg["Subject"]), expected_header(subject))
        self.assertEqual(msg["Message-ID"], "<4242>")
        if html_mail:
            self.assertEqual(msg.get_content_type(), "multipart/alternative")
            plain, html_part = msg.get_payload()
            self.assertEqual(html_part.get_content_type(), "text/html")
            self.assertEqual(html_part.get_content_charset(), charset)
            self.assertEqual(decode_part(html_part),
                             'link: <a href="%s">%s</a><br><br>\n\n%s\n' % (link, link, html_text))
        else:
            plain = msg
        self.assertEqual(plain.get_content_type(), "text/plain")
        self.assertEqual(plain.get_content_charset(), charset)
        self.assertEqual(decode_part(plain), "link: %s\n\n" % link + expected_body(body_text) + "\n")
        return msg

    def check_with_python_codecs(self, raw_case, body_text):
        """For text that JIS X 0208 itself holds, Python's own decoders must agree."""
        text = message_text(compose([raw_case])[0])
        msg = email.message_from_bytes(text, policy=email.policy.default)
        self.assertEqual(str(msg["Subject"]), expected_header(raw_case[2]))
        self.assertEqual(len(msg["From"].addresses), 1)
        self.assertEqual(msg["From"].addresses[0].display_name, expected_header(raw_case[1]).strip())
        content = msg.get_content().replace("\r\n", "\n")
        self.assertEqual(content, "link: %s\n\n%s\n" % (raw_case[4], expected_body(body_text)))

    def test_ascii_message(self):
        case = (False, "Example Feed", "Hello World", "Wed, 01 Jun 2005 12:34:56 GMT",
                "http://example.com/1", [(False, "First line\nSecond line")])
        msg = self.check(case, "First line\nSecond line", False)
        self.assertEqual(msg["Date"], "Wed, 01 Jun 2005 12:34:56 GMT")
        self.check_with_python_codecs(case, "First line\nSecond line")

    def test_japanese_message(self):
        body = "吾輩は猫である。名前はまだ無い。\nどこで生れたかとんと見当がつかぬ。\n全角ＡＢＣと「記号」"
        case = (False, "青空文庫の新着", "夏目漱石「吾輩は猫である」の第一章が公開されました、今すぐ読めます",
                "", "http://example.jp/neko", [(False, body)])
        self.check(case, body, False)
        self.check_with_python_codecs(case, body)

    def test_windows_extensions_and_half_width_kana(self):
        body = "①②③ ⅠⅡⅢ ㈱ 纊褜 髙﨑 ｶﾞｲﾄﾞﾌﾞｯｸ ¥500"
        case = (False, "ﾊﾟｿｺﾝ情報①", "髙橋さんの記事 ㈱ Ⅲ", "", "http://example.jp/", [(False, body)])
        self.check(case, body, False)

    def test_characters_outside_jis_make_the_body_utf8(self):
        case = (False, "Café 東京", "😀 emoji と 한국어 in a title", "", "http://example.com/",
                [(False, "é and 😀")])
        self.check(case, "é and 😀", False, charset="utf-8")
        french = (False, "Le Monde", "Café crème", "", "http://example.fr/",
                  [(True, "<p>Caf&eacute; cr&egrave;me, une tasse de caf&eacute; avec de la cr&egrave;me</p>")])
        msg = self.check(french, "Café crème, une tasse de café avec de la crème", False, charset="utf-8")
        self.assertEqual(msg["Content-Transfer-Encoding"], "quoted-printable")
        japanese = (False, "F", "S", "", "L", [(False, "吾輩は猫である。😀")])
        msg = self.check(japanese, "吾輩は猫である。😀", False, charset="utf-8")
        self.assertEqual(msg["Content-Transfer-Encoding"], "base64")

    def test_iso2022jp_setting_writes_references(self):
        case = (False, "Café", "S", "", "http://example.com/", [(False, "é and 😀")])
        self.check(case, "&#233; and &#128512;", False, iso2022jp=True)

    def test_html_message(self):
        piece = "<p>こんにちは<br>世界</p>"
        case = (True, "Feed", "HTML の記事", "", "http://example.com/a", [(True, piece)])
        self.check(case, "こんにちは\n世界", True, html_text=piece)

    def test_html_reduced_when_html_is_off(self):
        case = (False, "Feed", "Reduced", "", "http://example.com/b",
                [(True, "<p>Hello<br>World</p>"), (False, " and <kept>")])
        self.check(case, "Hello\nWorld and <kept>", False)

    def test_html_as_text(self):
        piece = ("<p>Wellness &amp; more: <a href=\"http://wp.example/a\">Read full article</a>"
                 "&nbsp;&nbsp;&gt;&gt;</p><ul><li>one</li><li>two</li></ul><script>x()</script>")
        case = (False, "Feed", "S", "", "L", [(True, piece)])
        self.check(case, "Wellness & more: Read full article[1]  >>\n\n* one\n* two\n\n"
                   "[1] http://wp.example/a", False)

    def test_from_has_one_address_per_feed(self):
        titles = ["Wellness: Health, Fitness, Nutrition & More - The Washington Post",
                  "Tech notes (Atom demo)", 'Say "hi" \\ <there>', "青空文庫の新着, 第2版",
                  "ﾊﾟｿｺﾝ情報① 😀", "=?UTF-8?B?SGk=?= literal", "A" * 200, "word " * 40]
        cases = [(False, t, "S", "", "L", []) for t in titles]
        addresses = set()
        for raw in compose(cases):
            msg = email.message_from_bytes(message_text(raw), policy=email.policy.compat32)
            name, address = sender_of(msg)
            addresses.add(address)
        for case in cases:
            self.check(case, "", False, charset="utf-8" if "😀" in case[1] else "iso-2022-jp")
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
        self.check(case, body, False)

    def test_long_subject_is_folded(self):
        subject = "長い件名" * 30
        case = (False, "F", subject, "", "L", [])
        raw = compose([case])[0]
        header = raw[:raw.index(b"\r\n\r\n")]
        for line in header.split(b"\r\n"):
            self.assertLessEqual(len(line), 76)
        self.check(case, "", False)
        self.check_with_python_codecs(case, "")


if __name__ == "__main__":
    HELPER = sys.argv.pop(1)
    unittest.main()
