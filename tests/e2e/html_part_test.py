"""The HTML part (enable-html) against hostile feeds, through the real Quillo: every
piece of tests/data/xss/hostile-html.txt (the classic filter-evasion list and the
findings of a hostile-feed run) as an RSS description, an RSS content:encoded, an Atom
content and a JSON Feed content_html, and hostile item links. Each served message is
read with Python's email package and its HTML part with Python's html.parser, as a
reader would: no event attribute, no style, no SVG or MathML, nothing active, and no
URL whose scheme, read the way a browser reads it, is not http, https or mailto."""

import email
import email.policy
import html.parser
import json
import os
import re
import unittest
from xml.sax.saxutils import escape

from http_server import HttpServer
from quillo_harness import AppDir, Quillo, free_port, open_mailbox, settings_xml

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PAYLOADS = os.path.join(ROOT, "tests", "data", "xss", "hostile-html.txt")

ALLOWED_SCHEMES = ("http", "https", "mailto")
ACTIVE = {"script", "style", "svg", "math", "iframe", "frame", "frameset", "object", "embed", "applet",
          "base", "meta", "link", "form", "input", "button", "textarea", "select", "portal", "template",
          "noscript", "video", "audio", "source", "xmp", "animate", "set"}
# Attributes whose text is only shown.
SHOWN = {"title", "alt", "lang"}
# Characters XML 1.0 cannot carry; pieces that hold them go only into JSON Feed.
NOT_IN_XML = re.compile("[\x00-\x08\x0b\x0c\x0e-\x1f]")

HOSTILE_LINKS = ["jav&#9;ascript:alert(1)", "javascript:alert(2)", " JAVASCRIPT:alert(3)",
                 "data:text/html,&lt;script&gt;alert(4)&lt;/script&gt;", "vbscript:msgbox(5)",
                 "jav&#x0A;ascript:alert(6)"]
HOSTILE_JSON_LINKS = ["\x01javascript:alert(8)", "\x0e\x1fjavascript:alert(9)", "jav\tascript:alert(10)",
                      "javascript:alert(11)", "data:text/html;base64,PHNjcmlwdD4="]


def unescape(line):
    """A line of the list with \\t \\n \\r \\\\ and \\xNN read."""
    def one(m):
        code = m.group(1)
        return {"t": "\t", "n": "\n", "r": "\r", "\\": "\\"}.get(code) or chr(int(code[1:], 16))
    return re.sub(r"\\([tnr\\]|x[0-9A-Fa-f]{2})", one, line)


def payloads():
    with open(PAYLOADS, encoding="ascii") as f:
        return [unescape(line.rstrip("\n")) for line in f if line.strip()]


def browser_scheme(value):
    """The scheme a browser reads in a URL attribute, "" for none."""
    url = re.sub("[\t\n\r]", "", value).strip("".join(chr(c) for c in range(0x21)))
    m = re.match(r"([A-Za-z][A-Za-z0-9+.-]*):", url)
    return m.group(1).lower() if m else ""


class Checker(html.parser.HTMLParser):
    """What in one HTML part a reader would run or fetch on its own."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.problems = []
        self.urls = []

    def handle_starttag(self, tag, attrs):
        if tag in ACTIVE:
            self.problems.append("element %s" % tag)
        for name, value in attrs:
            value = value or ""
            if name.startswith("on") or name in ("style", "srcset", "ping", "formaction", "action", "background"):
                self.problems.append("attribute %s=%r" % (name, value))
                continue
            if name in SHOWN:
                continue
            scheme = browser_scheme(value)
            if name in ("href", "src") or scheme:
                self.urls.append(value)
                if scheme not in ALLOWED_SCHEMES:
                    self.problems.append("URL %s=%r" % (name, value))

    handle_startendtag = handle_starttag

    def handle_comment(self, data):
        self.problems.append("comment %r" % data)


def cdata(text):
    """Text for inside a CDATA section."""
    return text.replace("]]>", "]]]]><![CDATA[>")


def rss(title, items):
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\" "
            "xmlns:content=\"http://purl.org/rss/1.0/modules/content/\"><channel><title>%s</title>"
            "<link>http://127.0.0.1/</link>%s</channel></rss>\n" % (title, "".join(items)))


class HtmlPart(unittest.TestCase):
    def setUp(self):
        self.http = HttpServer()
        self.app = AppDir()
        self.port = free_port()
        self.pieces = payloads()
        xml_pieces = [(i, p) for i, p in enumerate(self.pieces) if not NOT_IN_XML.search(p)]
        routes = {}
        routes["/description.xml"] = rss("description", [
            "<item><title>description %d</title><link>http://127.0.0.1/d/%d</link>"
            "<description><![CDATA[%s]]></description></item>" % (i, i, cdata(p)) for i, p in xml_pieces])
        routes["/encoded.xml"] = rss("encoded", [
            "<item><title>encoded %d</title><link>http://127.0.0.1/e/%d</link>"
            "<content:encoded>%s</content:encoded></item>" % (i, i, escape(p)) for i, p in xml_pieces])
        routes["/atom.xml"] = (
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<feed xmlns=\"http://www.w3.org/2005/Atom\">"
            "<title>atom</title><id>urn:x</id><updated>2024-01-01T00:00:00Z</updated>%s</feed>\n" % "".join(
                "<entry><title>atom %d</title><id>urn:x:%d</id><updated>2024-01-01T00:00:00Z</updated>"
                "<link href=\"http://127.0.0.1/a/%d\"/><content type=\"html\">%s</content></entry>"
                % (i, i, i, escape(p)) for i, p in xml_pieces))
        routes["/links.xml"] = rss("links", [
            "<item><title>link %d</title><link>%s</link><description><![CDATA[<p>body</p>]]></description></item>"
            % (i, link) for i, link in enumerate(HOSTILE_LINKS)])
        json_items = [{"id": "c%d" % i, "title": "json %d" % i, "url": "http://127.0.0.1/j/%d" % i,
                       "content_html": p} for i, p in enumerate(self.pieces)]
        json_items += [{"id": "l%d" % i, "title": "json link %d" % i, "url": link, "content_html": "<p>body</p>"}
                       for i, link in enumerate(HOSTILE_JSON_LINKS)]
        routes["/feed.json"] = json.dumps({"version": "https://jsonfeed.org/version/1.1", "title": "json",
                                           "items": json_items})
        for path, body in routes.items():
            self.http.route(path, body=body, headers={"Content-Type": "application/feed+json"}
                            if path.endswith(".json") else {})
        self.expected = 3 * len(xml_pieces) + len(HOSTILE_LINKS) + len(self.pieces) + len(HOSTILE_JSON_LINKS)
        self.app.write("Quillo.xml", settings_xml(port=self.port, enable_html=True,
                                                  feeds=[self.http.url(p) for p in routes]))

    def tearDown(self):
        self.http.stop()
        self.app.cleanup()

    def test_no_served_html_part_holds_anything_a_reader_would_run_or_fetch(self):
        with Quillo(self.app, port=self.port):
            box = open_mailbox(self.port)
            try:
                count = int(box.single("STAT").split()[1])
                self.assertEqual(count, self.expected, self.app.read("log.txt") if self.app.exists("log.txt") else "")
                urls = 0
                link_lines = 0
                for n in range(1, count + 1):
                    raw = box.multi("RETR %d" % n)
                    lines = raw.split(b"\r\n")[1:-2]
                    message = email.message_from_bytes(
                        b"\r\n".join(line[1:] if line.startswith(b"..") else line for line in lines),
                        policy=email.policy.default)
                    parts = [p for p in message.walk() if p.get_content_type() == "text/html"]
                    self.assertEqual(len(parts), 1, message["Subject"])
                    text = parts[0].get_content()
                    checker = Checker()
                    checker.feed(text)
                    checker.close()
                    self.assertEqual(checker.problems, [], "%s\n%s" % (message["Subject"], text))
                    urls += len(checker.urls)
                    link_lines += text.startswith("link: <a href=\"http://127.0.0.1/")
                self.assertEqual(box.single("QUIT"), b"+OK\r\n")
            finally:
                box.close()
        # The checker did look at links: the item links and the payloads' safe ones.
        self.assertGreater(urls, len(self.pieces))
        self.assertEqual(link_lines, self.expected - len(HOSTILE_LINKS) - len(HOSTILE_JSON_LINKS))

    def test_the_checker_sees_what_it_looks_for(self):
        for text in ("<a href=\"jav&#9;ascript:x\">a</a>", "<a href=\" \x01javascript:x\">a</a>",
                     "<p style=\"x\">p</p>", "<p onclick=\"x\">p</p>", "<svg><a/></svg>",
                     "<img src=\"data:image/png,x\">", "<a href=\"/relative\">r</a>", "<!-- c -->",
                     "link: <a href=\"JavaScript:alert(1)\">x</a>"):
            checker = Checker()
            checker.feed(text)
            checker.close()
            self.assertNotEqual(checker.problems, [], text)


if __name__ == "__main__":
    unittest.main()
