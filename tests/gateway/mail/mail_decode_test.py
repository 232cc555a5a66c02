#!/usr/bin/env python3
"""Composed messages read back by Python's email package, as a mail reader would.

Usage: mail_decode_test.py <path of MailComposeHelper>
"""
import email
import email.header
import email.policy
import re
import subprocess
import sys
import unicodedata
import unittest

HELPER = None


def compose(cases):
    """Runs the helper on (html_enabled, sender, subject, date, link, pieces) tuples."""
    records = []
    for html, sender, subject, date, link, pieces in cases:
        fields = ["1" if html else "0", sender, subject, date, link]
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


def pop3_unstuff(text):
    """What a POP3 client keeps of a RETR reply: the terminator goes, dots are unstuffed."""
    assert text.endswith(b"\r\n.\r\n"), text[-20:]
    lines = text[:-3].split(b"\r\n")
    assert lines[-1] == b""
    for line in lines[:-1]:
        assert line != b".", "an unstuffed dot line would end the message early"
    return b"\r\n".join(l[1:] if l.startswith(b".") else l for l in lines)


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


class MailDecodeTest(unittest.TestCase):
    def check(self, case, body_text, html_mail):
        html, sender, subject, date, link, pieces = case
        raw = compose([case])[0]
        self.assertTrue(all(b < 0x80 for b in raw), "message must be 7-bit")
        text = pop3_unstuff(raw)
        lines = text.split(b"\r\n")
        for line in lines[:lines.index(b"")]:
            self.assertLessEqual(len(line), 998)
        msg = email.message_from_bytes(text, policy=email.policy.compat32)
        self.assertEqual(decode_header_value(msg["From"]), expected_header(sender))
        self.assertEqual(decode_header_value(msg["Subject"]), expected_header(subject))
        self.assertEqual(msg["Message-ID"], "<4242>")
        self.assertEqual(msg.get_content_type(), "text/html" if html_mail else "text/plain")
        self.assertEqual(msg.get_content_charset(), "iso-2022-jp")
        if html_mail:
            head = 'link: <a href="%s">%s</a><br><br>\n\n' % (link, link)
        else:
            head = "link: %s\n\n" % link
        body = decode_iso2022jp(msg.get_payload(decode=True)).replace("\r\n", "\n")
        self.assertEqual(body, head + expected_body(body_text) + "\n")
        return msg

    def check_with_python_codecs(self, raw_case, body_text):
        """For text that JIS X 0208 itself holds, Python's own decoders must agree."""
        text = pop3_unstuff(compose([raw_case])[0])
        msg = email.message_from_bytes(text, policy=email.policy.default)
        self.assertEqual(str(msg["Subject"]), expected_header(raw_case[2]))
        # From has no address, so it is read as a plain decoded header.
        raw_from = email.message_from_bytes(text, policy=email.policy.compat32)["From"]
        decoded_from = str(email.header.make_header(email.header.decode_header(raw_from)))
        self.assertEqual(decoded_from, expected_header(raw_case[1]))
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

    def test_characters_outside_jis(self):
        case = (False, "Café 東京", "😀 emoji と 한국어 in a title", "", "http://example.com/",
                [(False, "é and 😀")])
        self.check(case, "&#233; and &#128512;", False)

    def test_html_message(self):
        piece = "<p>こんにちは<br>世界</p>"
        case = (True, "Feed", "HTML の記事", "", "http://example.com/a", [(True, piece)])
        self.check(case, piece, True)

    def test_html_reduced_when_html_is_off(self):
        case = (False, "Feed", "Reduced", "", "http://example.com/b",
                [(True, "<p>Hello<br>World</p>"), (False, " and <kept>")])
        self.check(case, "\nHello\nWorld and <kept>", False)

    def test_empty_fields(self):
        case = (False, "", "", "", "", [])
        text = pop3_unstuff(compose([case])[0])
        msg = email.message_from_bytes(text, policy=email.policy.compat32)
        self.assertEqual(msg["From"], "")
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
