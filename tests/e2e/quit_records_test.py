"""QUIT is answered only once the delivered items are recorded: on a full disk the
client hears -ERR, the log says why and the items come again; and a Quillo killed the
moment +OK arrived has the records on disk all the same."""

import errno
import os
import subprocess
import time
import unittest

from quillo_harness import FeedServerTestCase, Quillo, open_mailbox, rss_feed, settings_xml

LAST_MODIFIED = "Sat, 01 Jan 2005 00:00:00 GMT"


class QuitRecords(FeedServerTestCase):
    def serve(self, count):
        self.http.route("/feed.xml", body=rss_feed("feed", count), headers={"Last-Modified": LAST_MODIFIED})
        self.app.write("Quillo.xml", settings_xml(port=self.port, feeds=[self.http.url("/feed.xml")]))

    def uids(self, client):
        return [line.split()[1] for line in client.multi("UIDL").split(b"\r\n")[1:-2]]

    def test_a_full_disk_answers_quit_with_an_error_and_the_items_come_again(self):
        if os.geteuid() != 0:
            self.skipTest("mounting a small file system needs root")
        data = os.path.join(self.app.path, "data")
        os.makedirs(data)
        mount = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256k", "quillo-full", data],
                               capture_output=True)
        if mount.returncode != 0:
            self.skipTest("cannot mount a tmpfs: %s" % mount.stderr.decode(errors="replace").strip())
        self.addCleanup(subprocess.run, ["umount", data], capture_output=True)
        self.serve(8)
        with Quillo(self.app, port=self.port) as quillo:
            with open_mailbox(self.port) as c:
                self.assertTrue(c.single("STAT").startswith(b"+OK 8 "))
                # The download is on disk; now nothing more fits.
                filler = os.path.join(data, "filler")
                fd = os.open(filler, os.O_WRONLY | os.O_CREAT, 0o600)
                try:
                    while True:
                        os.write(fd, b"x" * 512)
                except OSError as e:
                    self.assertEqual(e.errno, errno.ENOSPC)
                finally:
                    os.close(fd)
                for n in range(1, 9):
                    self.assertEqual(c.single("DELE %d" % n), b"+OK\r\n")
                reply = c.single("QUIT")
                self.assertTrue(reply.startswith(b"-ERR "), reply)
                self.assertTrue(c.closed_by_peer())
            os.remove(filler)
            log = self.app.read("log.txt")
            self.assertIn(reply[len(b"-ERR "):].strip().decode(), log)
            # The save failure box is shown even with disable-messagebox (headless: on
            # standard error), after the client has its answer.
            for _ in range(100):
                if "データの出力中にエラーが発生しました" in quillo.stderr():
                    break
                time.sleep(0.05)
            self.assertIn("データの出力中にエラーが発生しました", quillo.stderr())
            # Space again: every one of the eight is offered, and this time recorded.
            with open_mailbox(self.port) as c:
                self.assertTrue(c.single("STAT").startswith(b"+OK 8 "))
                for n in range(1, 9):
                    c.single("DELE %d" % n)
                self.assertEqual(c.single("QUIT"), b"+OK\r\n")
            with open_mailbox(self.port) as c:
                self.assertEqual(c.single("STAT"), b"+OK 0 0\r\n")

    def test_what_plus_ok_confirmed_survives_kill_9(self):
        runs = 30
        self.serve(3 * runs)
        confirmed = set()
        answered_ok = 0
        for run in range(runs + 1):
            quillo = Quillo(self.app, port=self.port)
            try:
                with open_mailbox(self.port) as c:
                    offered = self.uids(c)
                    self.assertFalse(confirmed & set(offered), "run %d offers confirmed deletions" % run)
                    if run == runs:
                        break
                    self.assertGreaterEqual(len(offered), 3)
                    for n in (1, 2, 3):
                        self.assertEqual(c.single("DELE %d" % n), b"+OK\r\n")
                    c.command("QUIT")
                    reply = c.read_line()
                    # At once, before the process can do anything more.
                    quillo.process.kill()
                    quillo.process.wait()
                if reply == b"+OK\r\n":
                    answered_ok += 1
                    confirmed.update(offered[:3])
            finally:
                quillo.stop()
        self.assertEqual(answered_ok, runs)


if __name__ == "__main__":
    unittest.main()
