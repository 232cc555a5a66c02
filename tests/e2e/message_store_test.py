"""Nothing seen is lost: every item a refresh finds is stored at once and offered until
a client deletes it, whatever the feed shows later, across restarts and after kill -9 at
any moment of a refresh or a QUIT."""

import email
import os
import poplib
import random
import signal
import socket
import subprocess
import time
import unittest

from http_server import HttpServer
from quillo_harness import AppDir, FeedServerTestCase, Quillo, free_port, open_poplib_mailbox, rss_feed as rss, settings_xml

ANSWER_LIMIT = 120


def items(titles):
    """An RSS document with one item per title."""
    entries = "".join("<item><title>%s</title><link>http://127.0.0.1/%s</link>"
                      "<description>%s body</description></item>\n" % (t, t, t) for t in titles)
    return ("<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>store</title>"
            "<link>http://127.0.0.1/</link>%s</channel></rss>" % entries)


class StoreTestBase(FeedServerTestCase):
    def settings(self, more_settings=""):
        text = settings_xml(self.port, feeds=[self.http.url("/feed.xml")])
        self.app.write("Quillo.xml", text.replace(" </settings>", more_settings + " </settings>"))

    def open_mailbox(self):
        return open_poplib_mailbox(self.port, ANSWER_LIMIT)[0]

    def listing(self, delete=False):
        """(uid, subject) of every message; all deleted when asked; then QUIT."""
        box = self.open_mailbox()
        count, _ = box.stat()
        uids = dict(line.decode().split(" ", 1) for line in box.uidl()[1])
        offered = []
        for number in range(1, count + 1):
            headers = box.top(number, 0)[1]
            subject = [h.decode()[9:] for h in headers if h.startswith(b"Subject: ")]
            offered.append((uids[str(number)], subject[0] if subject else ""))
            if delete:
                box.dele(number)
        box.quit()
        return offered


class StoreTest(StoreTestBase):
    def test_items_a_later_refresh_no_longer_shows_are_still_offered_with_their_ids(self):
        self.settings()
        self.http.route("/feed.xml", body=items(["A", "B", "C"]))
        with Quillo(self.app, port=self.port):
            first = self.listing()
            self.assertEqual([s for _, s in first], ["A", "B", "C"])
            self.http.route("/feed.xml", body=items(["D", "E", "F"]))
            second = self.listing()
            self.assertEqual([s for _, s in second], ["A", "B", "C", "D", "E", "F"])
            # A client that leaves mail on the server sees the same ids for the same items.
            self.assertEqual(second[:3], first)
        # A restart keeps the store; the feed answering with nothing changes nothing.
        self.http.route("/feed.xml", status=500, body=b"down")
        with Quillo(self.app, port=self.port):
            self.assertEqual(self.listing(delete=True), second)
            self.assertEqual(self.listing(), [])
        mail = os.path.join(self.app.path, "data", os.listdir(os.path.join(self.app.path, "data"))[0], "mail")
        self.assertEqual(os.listdir(os.path.join(mail, "new")), [])

    def test_a_feed_no_longer_listed_is_offered_last_until_its_messages_are_deleted(self):
        self.http.route("/gone.xml", body=items(["G1", "G2"]))
        self.http.route("/feed.xml", body=items(["A"]))
        both = settings_xml(self.port, feeds=[self.http.url("/gone.xml"), self.http.url("/feed.xml")])
        self.app.write("Quillo.xml", both)
        with Quillo(self.app, port=self.port):
            self.assertEqual([s for _, s in self.listing()], ["G1", "G2", "A"])
        self.settings()
        self.http.route("/feed.xml", body=items(["A", "B"]))
        with Quillo(self.app, port=self.port):
            self.assertEqual([s for _, s in self.listing(delete=True)], ["A", "B", "G1", "G2"])
            self.assertEqual(self.listing(), [])
        # Recorded in the unlisted feed's own records: listed again, it offers nothing.
        self.app.write("Quillo.xml", both)
        with Quillo(self.app, port=self.port):
            self.assertEqual(self.listing(), [])

    def test_a_background_refresh_stores_what_the_next_one_replaces(self):
        self.settings("<refresh-interval>1</refresh-interval>")
        self.http.route("/feed.xml", body=items(["A", "B", "C"]))
        with Quillo(self.app, port=self.port):
            deadline = time.monotonic() + 30
            while not self.http.requests_for("/feed.xml") and time.monotonic() < deadline:
                time.sleep(0.1)
            time.sleep(1)
            self.http.route("/feed.xml", body=items(["D", "E", "F"]))
            # The next background refresh is a minute after the first.
            deadline = time.monotonic() + 90
            while len(self.http.requests_for("/feed.xml")) < 2 and time.monotonic() < deadline:
                time.sleep(0.2)
            time.sleep(1)
            self.assertEqual([s for _, s in self.listing(delete=True)], ["A", "B", "C", "D", "E", "F"])
            self.assertEqual(self.listing(), [])


class ExpiryTest(StoreTestBase):
    def mail_files(self):
        data = os.path.join(self.app.path, "data")
        new = os.path.join(data, os.listdir(data)[0], "mail", "new")
        return new, sorted(os.listdir(new))

    def test_messages_older_than_keep_days_are_recorded_and_removed_with_one_log_entry(self):
        self.settings("<keep-days>2</keep-days>")
        self.http.route("/feed.xml", body=items(["A", "B", "C"]))
        with Quillo(self.app, port=self.port):
            self.assertEqual(len(self.listing()), 3)
        # A and B were stored three days ago (a stored file is named after its arrival).
        new, names = self.mail_files()
        self.assertEqual(len(names), 3)
        for name in names[:2]:
            seconds, rest = name.split(".", 1)
            os.rename(os.path.join(new, name), os.path.join(new, "%d.%s" % (int(seconds) - 3 * 86400, rest)))
        with Quillo(self.app, port=self.port):
            self.assertEqual([s for _, s in self.listing()], ["C"])
            # Recorded as delivered: the feed still shows A and B, they do not come back.
            self.assertEqual([s for _, s in self.listing()], ["C"])
        self.assertEqual(len(self.mail_files()[1]), 1)
        log = self.app.read("log.txt")
        self.assertEqual(log.count("保存期間(2日)を過ぎた未配信のメッセージを2件削除しました。"), 1, log)

    def test_keep_days_0_keeps_messages_for_ever(self):
        self.settings("<keep-days>0</keep-days>")
        self.http.route("/feed.xml", body=items(["A"]))
        with Quillo(self.app, port=self.port):
            self.assertEqual(len(self.listing()), 1)
        new, names = self.mail_files()
        seconds, rest = names[0].split(".", 1)
        os.rename(os.path.join(new, names[0]), os.path.join(new, "%d.%s" % (int(seconds) - 3650 * 86400, rest)))
        with Quillo(self.app, port=self.port):
            self.assertEqual([s for _, s in self.listing()], ["A"])


class FullDiskTest(StoreTestBase):
    """A full disk hides nothing: the items of the reply are offered from memory, the
    failures reach standard error when log.txt cannot take them, and QUIT says -ERR."""

    def setUp(self):
        super().setUp()
        if os.geteuid() != 0:
            self.skipTest("mounting a small file system needs root")
        self.data = os.path.join(self.app.path, "data")
        os.makedirs(self.data)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256k", "quillo-full", self.data]).returncode:
            self.skipTest("cannot mount tmpfs")
        self.addCleanup(subprocess.run, ["umount", "-l", self.data])

    def fill(self):
        with open(os.path.join(self.data, "filler"), "wb", buffering=0) as f:
            try:
                while True:
                    f.write(b"x" * 4096)
            except OSError:
                pass

    def test_a_full_disk_offers_the_items_and_quit_says_it_could_not_record(self):
        self.settings()
        self.http.route("/feed.xml", body=items([]))
        # log.txt on the full disk as well.
        os.symlink(os.path.join(self.data, "log.txt"), os.path.join(self.app.path, "log.txt"))
        with Quillo(self.app, port=self.port) as quillo:
            self.assertEqual(self.listing(), [])
            self.fill()
            self.http.route("/feed.xml", body=items(["A", "B", "C"]))
            box = self.open_mailbox()
            self.assertEqual(box.stat()[0], 3)
            for number in (1, 2, 3):
                box.dele(number)
            with self.assertRaises(poplib.error_proto) as refused:
                box.quit()
            box.close()
            self.assertIn(b"No space left on device", refused.exception.args[0])
            self.assertIn("latest.xml", quillo.stderr())
            # Nothing was recorded: the next session offers all three again.
            os.remove(os.path.join(self.data, "filler"))
            self.assertEqual([s for _, s in self.listing(delete=True)], ["A", "B", "C"])
            self.assertEqual(self.listing(), [])


class CrashTest(unittest.TestCase):
    """kill -9 at random moments of a refresh storing 1,000 new items and of a QUIT
    deleting many, 30 times each: the next session offers every undelivered item exactly
    once, never a delivered one, and never a half-written message."""

    COUNT = 1000
    ROUNDS = 30  # each kills one refresh and one QUIT
    READ_WHOLE = 10  # messages of each session read whole

    def setUp(self):
        self.http = HttpServer()
        self.app = AppDir()
        self.port = free_port()
        self.app.write("Quillo.xml", settings_xml(self.port, feeds=[self.http.url("/feed.xml")]))

    def tearDown(self):
        self.http.stop()
        self.app.cleanup()

    def login(self):
        box = poplib.POP3("127.0.0.1", self.port, timeout=ANSWER_LIMIT)
        box.user("me")
        box.pass_("x")
        return box

    def uids(self, box):
        """The UIDL id of every message, in number order."""
        count, _ = box.stat()
        uids = [line.split()[1].decode() for line in box.uidl()[1]]
        self.assertEqual(len(uids), count)
        return uids

    def read_some_whole(self, box, rng, count):
        """A sample of the messages, each complete: its body is its item's ("<title> body i")."""
        for number in rng.sample(range(1, count + 1), min(self.READ_WHOLE, count)):
            message = email.message_from_bytes(b"\r\n".join(box.retr(number)[1]))
            title, index = str(message["Subject"]).rsplit(" ", 1)
            self.assertIn("%s body %s" % (title, index), message.get_payload(decode=True).decode(), number)

    def test_kill_during_refresh_and_quit_never_loses_or_repeats_an_item(self):
        rng = random.Random(24)
        delivered = set()  # ids recorded as delivered
        seen = set()       # ids of every item offered so far
        killed_quit = None  # the ids offered in the last session, and those it deleted
        # Each round kills a refresh storing a new document, then a session (whose refresh
        # finishes what the killed one began) checks what is offered and has its QUIT
        # killed; the next round's session tells whether that QUIT was recorded.
        for round_number in range(self.ROUNDS + 1):
            last = round_number == self.ROUNDS
            if not last:
                self.http.route("/feed.xml", body=rss("round%d" % round_number, self.COUNT))
                with Quillo(self.app, port=self.port) as quillo:
                    connection = socket.create_connection(("127.0.0.1", self.port))
                    time.sleep(rng.uniform(0.05, 0.5))
                    quillo.process.send_signal(signal.SIGKILL)
                    quillo.process.wait()
                    connection.close()
            with Quillo(self.app, port=self.port) as quillo:
                box = self.login()
                uids = self.uids(box)
                offered = set(uids)
                self.assertEqual(len(uids), len(offered), "an item offered twice")
                if killed_quit:
                    gone = killed_quit[0] - offered
                    # The QUIT was recorded or it was not; never a part of it.
                    self.assertTrue(gone in (set(), killed_quit[1]),
                                    "%d of the %d deleted are gone" % (len(gone), len(killed_quit[1])))
                    delivered |= gone
                self.assertEqual(len(delivered & offered), 0, "delivered items offered again")
                self.assertEqual(len(seen - delivered - offered), 0, "items lost")
                # The new document whole, once.
                self.assertEqual(len(offered - seen), 0 if last else self.COUNT)
                seen |= offered
                self.read_some_whole(box, rng, len(uids))
                if last:
                    box.quit()
                    break
                # Delete a random share and kill at a random moment of the QUIT.
                chosen = rng.sample(range(1, len(uids) + 1), len(uids) // 3)
                for number in chosen:
                    box.dele(number)
                box._putcmd("QUIT")
                time.sleep(rng.uniform(0.0, 0.03))
                quillo.process.send_signal(signal.SIGKILL)
                quillo.process.wait()
                box.close()
                killed_quit = (offered, {uids[n - 1] for n in chosen})


if __name__ == "__main__":
    unittest.main()
