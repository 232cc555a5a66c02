"""The whole road: the real Quillo fetches feeds from a loopback server, a real POP3
client (Python's poplib) retrieves them, and what it deletes never comes back."""

import email
import email.header
import email.utils
import os
import poplib
import unittest

from http_server import HttpServer
from quillo_harness import AppDir, Quillo, free_port, opml_xml, settings_xml

LAST_MODIFIED = "Sat, 01 Jan 2005 00:00:00 GMT"


def rss_euc_jp(items):
    body = "".join(
        "<item><title>%s</title><link>http://127.0.0.1/item/%d</link>"
        "<description><![CDATA[<p>%s の本文</p>]]></description>"
        "<pubDate>Tue, 08 Dec 2026 0%d:00:00 +0900</pubDate></item>\n" % (title, i, title, i % 10)
        for i, title in enumerate(items))
    text = ("<?xml version=\"1.0\" encoding=\"EUC-JP\"?>\n<rss version=\"2.0\"><channel>"
            "<title>日本語のフィード</title><link>http://127.0.0.1/</link>\n%s</channel></rss>\n" % body)
    return text.encode("euc_jp")


ATOM = """<?xml version="1.0" encoding="utf-8"?>
<feed xmlns="http://www.w3.org/2005/Atom"><title>Atom feed</title><id>urn:x</id>
<updated>2024-05-01T10:00:00Z</updated>
<entry><title>Atom entry</title><id>urn:x:1</id><link rel="replies" href="http://127.0.0.1/c"/>
<link href="http://127.0.0.1/atom/1"/><updated>2024-05-01T10:00:00Z</updated>
<content type="html">&lt;p&gt;Atom body text&lt;/p&gt;</content></entry>
</feed>
"""


def header_text(value):
    return str(email.header.make_header(email.header.decode_header(value)))


class FeedRoad(unittest.TestCase):
    def setUp(self):
        self.http = HttpServer()
        self.titles = ["最初の記事", "二番目の記事"]
        self.serve_rss(LAST_MODIFIED)
        self.http.route("/atom.xml", body=ATOM)
        self.app = AppDir()
        self.port = free_port()
        self.app.write("Quillo.xml", settings_xml(port=self.port, feeds=[self.http.url("/rss.xml")]))
        self.app.write("feedlist.xml", opml_xml([self.http.url("/atom.xml")]))
        self.quillo = Quillo(self.app, port=self.port)

    def tearDown(self):
        self.quillo.stop()
        self.http.stop()
        self.app.cleanup()

    def serve_rss(self, last_modified):
        self.http.route("/rss.xml", body=rss_euc_jp(self.titles),
                        headers={"Last-Modified": last_modified})

    def connect(self):
        client = poplib.POP3("127.0.0.1", self.port, timeout=60)
        self.addCleanup(lambda: client.sock and client.sock.close())
        client.user("me")
        client.pass_("x")
        return client

    def messages(self, client):
        count, _ = client.stat()
        result = []
        for n in range(1, count + 1):
            lines = client.retr(n)[1]
            result.append(email.message_from_bytes(b"\r\n".join(lines)))
        return result

    def subjects(self):
        client = self.connect()
        subjects = [header_text(m["Subject"]) for m in self.messages(client)]
        client.quit()
        return subjects

    def test_items_arrive_as_mail_and_deleted_ones_never_come_back(self):
        client = self.connect()
        uids = client.uidl()[1]
        mails = self.messages(client)
        self.assertEqual([header_text(m["Subject"]) for m in mails],
                         ["最初の記事", "二番目の記事", "Atom entry"])
        [(name, address)] = email.utils.getaddresses([mails[0]["From"]])
        self.assertEqual(header_text(name), "日本語のフィード")
        self.assertTrue(address.endswith("@quillo.invalid"), address)
        first_body = mails[0].get_payload(decode=True).decode("iso-2022-jp")
        self.assertIn("最初の記事 の本文", first_body)
        self.assertIn("http://127.0.0.1/item/0", first_body)
        self.assertIn("Atom body text", mails[2].get_payload(decode=True).decode("iso-2022-jp"))
        self.assertIn("http://127.0.0.1/atom/1", mails[2].get_payload(decode=True).decode("iso-2022-jp"))
        client.quit()

        # Not deleted: the same messages with the same unique ids, fetched with a
        # conditional GET that the server answers with 304.
        client = self.connect()
        self.assertEqual(client.uidl()[1], uids)
        for n in range(1, len(mails) + 1):
            client.dele(n)
        client.quit()
        rss_requests = self.http.requests_for("/rss.xml")
        self.assertNotIn("if-modified-since", rss_requests[0]["headers"])
        self.assertEqual(rss_requests[1]["headers"]["if-modified-since"], LAST_MODIFIED)

        self.assertEqual(self.subjects(), [])
        self.assertIn("<sent-items>", self.app.read(os.path.join(
            "data", "127.0.0.1:%d-rss.xml" % self.http.port, "sentitems.xml")))

        self.quillo.stop()
        self.quillo = Quillo(self.app, port=self.port)
        self.assertEqual(self.subjects(), [])

        self.titles.append("三番目の記事")
        self.serve_rss("Sun, 02 Jan 2005 00:00:00 GMT")
        self.assertEqual(self.subjects(), ["三番目の記事"])
        self.assertFalse(self.app.exists("log.txt"), "unexpected log entries")

    def test_a_feed_that_fails_is_logged_and_the_others_still_arrive(self):
        self.http.route("/rss.xml", status=404, reason="Not Found", body="gone")
        self.assertEqual(self.subjects(), ["Atom entry"])
        log = self.app.read("log.txt")
        self.assertIn("HTTPステータス: 404 Not Found\nURLが正しいかどうか確認してください。\nURL: %s\n\n"
                      % self.http.url("/rss.xml"), log)


if __name__ == "__main__":
    unittest.main()
