"""Delivered items stay delivered against the real Quillo: a feed that answers with
fewer items for one session does not bring the others back when they return, and a
damaged sentitems.xml is read from the file it replaced (sentitems.xml.bak)."""

import os
import poplib
import time
import unittest

from http_server import HttpServer
from quillo_harness import AppDir, Quillo, free_port, rss_feed as rss, settings_xml

ANSWER_LIMIT = 60
IN_USE = b"[IN-USE]"


class DeliveredItems(unittest.TestCase):
    def setUp(self):
        self.http = HttpServer()
        self.app = AppDir()
        self.port = free_port()
        self.serve(10)
        self.app.write("Quillo.xml", settings_xml(self.port, feeds=[self.http.url("/feed.xml")]))

    def tearDown(self):
        self.http.stop()
        self.app.cleanup()

    def serve(self, count):
        # No validators: every session parses the document as served.
        self.http.route("/feed.xml", body=rss("item", count))

    def open_mailbox(self):
        """A logged-in poplib client; a session still recording its QUIT answers
        IN-USE for a moment."""
        deadline = time.monotonic() + ANSWER_LIMIT
        while True:
            box = poplib.POP3("127.0.0.1", self.port, timeout=ANSWER_LIMIT)
            box.user("me")
            try:
                box.pass_("x")
                return box
            except poplib.error_proto as error:
                box.close()
                if IN_USE not in error.args[0] or time.monotonic() > deadline:
                    raise
                time.sleep(0.2)

    def take_everything(self, delete=None):
        """Subjects offered; the first `delete` of them (all by default) deleted, then QUIT."""
        box = self.open_mailbox()
        count, _ = box.stat()
        subjects = []
        for number in range(1, count + 1):
            headers = box.top(number, 0)[1]
            subjects += [h.decode()[9:] for h in headers if h.startswith(b"Subject: ")]
            if delete is None or number <= delete:
                box.dele(number)
        box.quit()
        return subjects

    def test_items_missing_from_one_answer_are_not_offered_again(self):
        with Quillo(self.app, port=self.port):
            self.assertEqual(len(self.take_everything()), 10)
            self.serve(3)
            self.assertEqual(len(self.take_everything()), 0)
            self.serve(10)
            self.assertEqual(self.take_everything(), [])
        store = self.app.read(os.path.join("data", self.folder(), "sentitems.xml"))
        self.assertEqual(store.count("<item>"), 10)
        self.assertEqual(store.count("<last-seen>"), 10)

    def test_a_damaged_store_is_read_from_the_previous_one(self):
        with Quillo(self.app, port=self.port):
            self.assertEqual(len(self.take_everything(delete=5)), 10)
            self.assertEqual(len(self.take_everything()), 5)
            self.wait_for_records(10)
            self.app.write(os.path.join("data", self.folder(), "sentitems.xml"), "<sent-items><item>")
            # The previous file lacks only what the last session deleted.
            self.assertEqual(len(self.take_everything(delete=0)), 5)
        self.assertTrue(self.app.exists(os.path.join("data", self.folder(), "sentitems.xml.bad")))

    def wait_for_records(self, count):
        """QUIT may be answered before the records are written."""
        path = os.path.join("data", self.folder(), "sentitems.xml")
        deadline = time.monotonic() + ANSWER_LIMIT
        while not (self.app.exists(path) and self.app.read(path).count("<item>") == count):
            self.assertLess(time.monotonic(), deadline, "sentitems.xml never held %d records" % count)
            time.sleep(0.1)

    def folder(self):
        return self.http.url("/feed.xml").split("://", 1)[1].replace("/", "-")


if __name__ == "__main__":
    unittest.main()
