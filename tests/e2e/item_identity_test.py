"""Every item exactly once, against the real Quillo: two feed URLs with one folder
name each keep their own items, a 12 MB title is recorded and read back, and 20,000
items that are one item or 20,000 items with nothing but a GUID greet within the
greeting deadline."""

import os
import unittest

from quillo_harness import FeedServerTestCase, Quillo, open_poplib_mailbox, settings_xml

ANSWER_LIMIT = 60
# The default greeting-deadline.
GREETING_DEADLINE = 20
LAST_MODIFIED = "Sat, 01 Jan 2005 00:00:00 GMT"
# More than a sanitizer build needs to store 20,000 items, one session after another.
SESSIONS_TO_TAKE_ALL = 20


def rss(items):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<rss version="2.0"><channel>'
            "<title>t</title><link>http://127.0.0.1/</link>\n%s</channel></rss>\n" % "".join(items))


class ItemIdentity(FeedServerTestCase):
    def start(self, paths):
        self.app.write("Quillo.xml", settings_xml(self.port, feeds=[self.http.url(p) for p in paths]))
        return Quillo(self.app, port=self.port)

    def open_mailbox(self):
        return open_poplib_mailbox(self.port, ANSWER_LIMIT)

    def take_everything(self):
        """(subjects, ids, greeting seconds) of one session that deletes all and quits."""
        box, greeted = self.open_mailbox()
        count, _ = box.stat()
        ids = [line.split()[1] for line in box.uidl()[1]]
        subjects = []
        if count <= 100:
            for number in range(1, count + 1):
                subjects += [h.decode()[9:] for h in box.top(number, 0)[1] if h.startswith(b"Subject: ")]
        for number in range(1, count + 1):
            box.dele(number)
        self.assertTrue(box.quit().startswith(b"+OK"))
        return subjects, ids, greeted

    def test_two_urls_of_one_folder_name_each_deliver_their_own_items_once(self):
        headers = {"Last-Modified": LAST_MODIFIED}
        self.http.route("/same?x", headers=headers, body=rss(
            "<item><title>query %d</title><link>http://127.0.0.1/q/%d</link></item>" % (i, i) for i in range(3)))
        self.http.route("/same/x", headers=headers, body=rss(
            "<item><title>path %d</title><link>http://127.0.0.1/p/%d</link></item>" % (i, i) for i in range(2)))
        with self.start(["/same?x", "/same/x"]):
            subjects, _, _ = self.take_everything()
            self.assertEqual(sorted(subjects), ["path 0", "path 1", "query 0", "query 1", "query 2"])
            # Each answers 304 now, and each folder keeps its own document and records.
            for _ in range(2):
                self.assertEqual(self.take_everything()[0], [])
        for path in ("/same?x", "/same/x"):
            requests = self.http.requests_for(path)
            self.assertGreaterEqual(len(requests), 3, path)
            self.assertIsNone(requests[0]["headers"].get("if-modified-since"), path)
            self.assertEqual(requests[-1]["headers"].get("if-modified-since"), LAST_MODIFIED, path)
        folders = sorted(os.listdir(os.path.join(self.app.path, "data")))
        self.assertEqual(len(folders), 2, folders)

    def test_a_twelve_megabyte_title_is_recorded_and_stays_delivered(self):
        half = "T" * (6 * 1024 * 1024)
        self.http.route("/huge.xml", body=rss([
            "<item><title><![CDATA[%s]]><![CDATA[%s]]></title><link>http://127.0.0.1/huge</link></item>" % (half, half),
            "<item><title>small</title><link>http://127.0.0.1/small</link></item>"]))
        with self.start(["/huge.xml"]):
            _, ids, _ = self.take_everything()
            self.assertEqual(len(ids), 2)
            for _ in range(2):
                self.assertEqual(self.take_everything()[1], [])
        folder = os.path.join(self.app.path, "data", os.listdir(os.path.join(self.app.path, "data"))[0])
        self.assertFalse(os.path.exists(os.path.join(folder, "sentitems.xml.bad")))
        self.assertLess(os.path.getsize(os.path.join(folder, "sentitems.xml")), 20000)

    def test_twenty_thousand_items_greet_within_the_deadline(self):
        same = "<item><title>Same</title><link>http://127.0.0.1/same</link><description>x</description></item>\n"
        guid = "<item><guid isPermaLink=\"false\">status-%d</guid><description>x</description></item>\n"
        self.http.route("/same.xml", body=rss([same] * 20000))
        self.http.route("/guids.xml", body=rss(guid % i for i in range(20000)))
        with self.start(["/same.xml", "/guids.xml"]):
            # A session that comes while the items are still being stored (a slow build)
            # greets at the deadline all the same and is offered what is stored by then;
            # the next one offers the rest. None is offered twice.
            ids = []
            for _ in range(SESSIONS_TO_TAKE_ALL):
                _, taken, greeted = self.take_everything()
                self.assertLess(greeted, GREETING_DEADLINE)
                ids += taken
                if len(ids) >= 1 + 20000:
                    break
            # The identical items are one item; the GUID-only ones are 20,000, each with an id of its own.
            self.assertEqual(len(ids), 1 + 20000)
            self.assertEqual(len(set(ids)), len(ids))
            _, ids, greeted = self.take_everything()
            self.assertEqual(ids, [])
            self.assertLess(greeted, GREETING_DEADLINE)

if __name__ == "__main__":
    unittest.main()
