"""The feed report and `Quillo --status`: feed folders hold fetch states as a refresh
writes them; Quillo files one "Quillo: feed report" where items go, once, and `--status`
tells each feed's state beside a running Quillo without writing anything."""

import datetime
import email
import email.policy
import mailbox
import os
import subprocess
import unittest

from http_server import HttpServer
from quillo_harness import AppDir, Quillo, free_port, open_poplib_mailbox, rss_feed, settings_xml

SUBJECT = "Quillo: feed report"
ANSWER_LIMIT = 120


def utc(delta):
    """The moment `delta` from now, as fetch states write it."""
    moment = datetime.datetime.now(datetime.timezone.utc) + delta
    return moment.strftime("%Y-%m-%dT%H:%M:%SZ")


def shown(stamp):
    """A fetch-state moment as the report and the status show it."""
    return stamp[:10] + " " + stamp[11:16] + " UTC"


def folder_name(url):
    return url.split("://", 1)[1].replace("/", "-").replace("?", "-")


class FeedReportTest(unittest.TestCase):
    def setUp(self):
        self.http = HttpServer()
        self.app = AppDir()
        self.port = free_port()
        self.urls = {name: self.http.url("/%s.xml" % name) for name in ("ok", "bad", "gone", "old", "new", "young")}
        self.http.route("/ok.xml", body=rss_feed("Healthy", 2))
        self.http.route("/bad.xml", status=500, body=b"broken")
        self.http.route("/gone.xml", status=410, reason="Gone", body=b"gone")
        self.http.route("/old.xml", status=301, redirect=self.urls["new"])
        self.http.route("/new.xml", body=rss_feed("Moved feed", 1))
        self.http.route("/young.xml", status=500, body=b"broken")
        self.times = {
            "bad_since": utc(datetime.timedelta(days=-3)),
            "bad_next": utc(datetime.timedelta(hours=2)),
            "gone_since": utc(datetime.timedelta(days=-2)),
            "gone_next": utc(datetime.timedelta(days=5)),
            "old_success": utc(datetime.timedelta(hours=-1)),
            "young_since": utc(datetime.timedelta(hours=-2)),
        }
        t = self.times
        self.state("bad", "title Broken feed\nlast-request %s\nlast-status 500\nlast-error HTTP 500 from the server\n"
                   "failures 40\nfailing-since %s\nnext-due %s\n" % (t["bad_next"], t["bad_since"], t["bad_next"]))
        self.state("gone", "title Gone feed\nlast-request %s\nlast-status 410\nlast-error HTTP 410 Gone\n"
                   "failures 1\nfailing-since %s\ngone-since %s\nnext-due %s\n"
                   % (t["gone_since"], t["gone_since"], t["gone_since"], t["gone_next"]))
        self.state("old", "title Moved feed\nlast-request %s\nlast-success %s\nlast-status 200\nmoved-to %s\n"
                   % (t["old_success"], t["old_success"], self.urls["new"]))
        self.state("young", "title Young trouble\nlast-request %s\nlast-status 500\nlast-error HTTP 500\n"
                   "failures 3\nfailing-since %s\n" % (t["young_since"], t["young_since"]))

    def tearDown(self):
        self.http.stop()
        self.app.cleanup()

    def state(self, name, fields):
        url = self.urls[name]
        folder = os.path.join("data", folder_name(url))
        self.app.write(os.path.join(folder, "url.txt"), url)
        self.app.write(os.path.join(folder, "fetchstate.txt"), "quillo-fetch-state 1\nurl %s\n%s" % (url, fields))

    def settings(self, more=""):
        listed = [self.urls[name] for name in ("ok", "bad", "gone", "old", "young")]
        text = settings_xml(self.port, feeds=listed)
        self.app.write("Quillo.xml", text.replace(" </settings>", more + " </settings>"))

    def status(self):
        done = subprocess.run([self.app.binary, "--status"], cwd="/", capture_output=True, timeout=60,
                              env={k: v for k, v in os.environ.items() if k != "DISPLAY"})
        return done.returncode, done.stdout.decode(), done.stderr.decode()

    def session(self, delete_report=False):
        """Subjects offered, and the report's text when one is offered; QUIT at the end."""
        box = open_poplib_mailbox(self.port, ANSWER_LIMIT)[0]
        count, _ = box.stat()
        subjects, report = [], None
        for number in range(1, count + 1):
            message = email.message_from_bytes(b"\n".join(box.retr(number)[1]), policy=email.policy.default)
            subjects.append(str(message["Subject"]))
            if message["Subject"] == SUBJECT:
                report = message
                if delete_report:
                    box.dele(number)
        box.quit()
        return subjects, report

    def check_report(self, report):
        self.assertEqual(report["From"].addresses[0].display_name, "Quillo")
        self.assertTrue(report["Message-ID"].endswith("@quillo.invalid>"))
        self.assertIsNotNone(report["Date"].datetime)
        self.assertEqual(report.get_content_type(), "text/plain")
        body = report.get_content()
        t = self.times
        # Failing for more than a day: since when, last error, next try.
        self.assertIn("Broken feed\n    address:      %s\n" % self.urls["bad"], body)
        self.assertIn("since:        %s (40 failures in a row)" % shown(t["bad_since"]), body)
        self.assertIn("last error:   HTTP 500 from the server (HTTP 500)", body)
        self.assertIn("next try:     %s" % shown(t["bad_next"]), body)
        # Gone, and moved with the address to write into the feed list.
        self.assertIn("Gone feed\n    address:      %s\n    since:        %s" % (self.urls["gone"], shown(t["gone_since"])),
                      body)
        self.assertIn("next try:     %s" % shown(t["gone_next"]), body)
        self.assertIn("Moved feed\n    address:      %s\n    new address:  %s" % (self.urls["old"], self.urls["new"]),
                      body)
        # A day of failures has not passed yet; the healthy feed has nothing to tell.
        self.assertNotIn(self.urls["young"], body)
        self.assertNotIn(self.urls["ok"], body)

    def test_one_report_is_offered_over_pop3_once_and_not_again_the_same_day(self):
        self.settings()
        with Quillo(self.app, port=self.port):
            subjects, report = self.session(delete_report=True)
            self.assertEqual(subjects.count(SUBJECT), 1, subjects)
            self.assertIn("Healthy 0", subjects)
            self.check_report(report)
            # Delivered by QUIT: never offered again; a later refresh the same day files none.
            subjects, report = self.session()
            self.assertEqual(subjects.count(SUBJECT), 0, subjects)
        with Quillo(self.app, port=self.port):
            subjects, _ = self.session()
            self.assertEqual(subjects.count(SUBJECT), 0, subjects)

    def test_a_report_not_deleted_is_offered_again_after_a_restart_but_not_filed_twice(self):
        self.settings()
        with Quillo(self.app, port=self.port):
            subjects, _ = self.session()
            self.assertEqual(subjects.count(SUBJECT), 1, subjects)
        with Quillo(self.app, port=self.port):
            subjects, _ = self.session(delete_report=True)
            self.assertEqual(subjects.count(SUBJECT), 1, subjects)
            subjects, _ = self.session()
            self.assertEqual(subjects.count(SUBJECT), 0, subjects)

    def test_with_a_maildir_the_report_goes_into_its_inbox(self):
        target = os.path.join(self.app.path, "Mail")
        self.settings("  <maildir>%s</maildir>\n  <maildir-folders>feeds</maildir-folders>\n" % target)
        with Quillo(self.app, port=self.port):
            subjects, _ = self.session()
            self.assertEqual(subjects.count(SUBJECT), 0, subjects)
            self.session()
        inbox = mailbox.Maildir(target, create=False)
        reports = [m for m in inbox if m["Subject"] == SUBJECT]
        self.assertEqual(len(reports), 1)
        self.check_report(email.message_from_bytes(reports[0].as_bytes(), policy=email.policy.default))

    def test_status_tells_every_feed_beside_a_running_quillo_and_writes_nothing(self):
        self.settings()
        with Quillo(self.app, port=self.port) as quillo:
            before = sorted(os.listdir(os.path.join(self.app.path, "data")))
            code, out, err = self.status()
            self.assertEqual((code, err), (0, ""))
            lines = out.splitlines()
            self.assertEqual(len(lines), 5, out)
            t = self.times
            self.assertEqual(lines[0], "<%s>: never requested, 0 waiting" % self.urls["ok"])
            self.assertEqual(lines[1], "Broken feed <%s>: last success never, last status 500, 0 waiting, "
                             "next due %s, failing since %s (40 in a row): HTTP 500 from the server"
                             % (self.urls["bad"], shown(t["bad_next"]), shown(t["bad_since"])))
            self.assertIn("Gone feed <%s>: " % self.urls["gone"], lines[2])
            self.assertIn(", gone since %s" % shown(t["gone_since"]), lines[2])
            self.assertEqual(lines[3], "Moved feed <%s>: last success %s, last status 200, 0 waiting, "
                             "next due at the next refresh, moved to <%s>"
                             % (self.urls["old"], shown(t["old_success"]), self.urls["new"]))
            self.assertEqual(sorted(os.listdir(os.path.join(self.app.path, "data"))), before)
            self.assertFalse(self.app.exists("feedreport.txt"))
            self.assertTrue(quillo.running())
            # After a session that leaves its mail on the server.
            self.session()
            code, out, _ = self.status()
            self.assertEqual(code, 0)
            self.assertRegex(out.splitlines()[0], r"^(Healthy )?<%s>: .*\b2 waiting\b" % self.urls["ok"])

    def test_status_of_an_installed_copy_never_started_makes_no_folder(self):
        home = os.path.join(self.app.path, "home")
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"),
                   XDG_STATE_HOME=os.path.join(home, "state"))
        env.pop("DISPLAY", None)
        done = subprocess.run([self.app.binary, "--status"], cwd="/", capture_output=True, timeout=60, env=env)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stdout.decode(), "no feeds in %s\n" % os.path.join(home, "config", "quillo", "feedlist.xml"))
        self.assertFalse(os.path.exists(home))

    def test_status_ends_with_an_error_when_the_feed_list_cannot_be_read(self):
        self.settings()
        self.app.write("feedlist.xml", "<opml><body><outline xmlUrl='x'>")
        code, out, err = self.status()
        self.assertEqual(code, 1)
        self.assertEqual(out, "")
        self.assertIn("feedlist.xml", err)
        self.assertFalse(self.app.exists("data/" + folder_name(self.urls["ok"])))


if __name__ == "__main__":
    unittest.main()
