"""A good citizen of the web: each feed is asked for when it is due. A 429 or 503 with
Retry-After leaves its host alone until then, failures back off doubling, a feed that
moved (301, 308) is asked for at its new address and keeps its folder and records, a
feed that is gone (410) is left alone, and the hints of a document (ttl, sy:, skipHours)
set its next request. Time passes here by moving the times in fetchstate.txt back."""

import calendar
import os
import time
import unittest

from http_server import HttpServer
from quillo_harness import AppDir, Quillo, free_port, open_poplib_mailbox, rss_feed, settings_xml

ANSWER_LIMIT = 60


def folder_name(url):
    """The feed folder Quillo gives a URL of its own."""
    return url.split("://", 1)[1].replace("/", "-").replace("?", "-")


def parse_time(text):
    return calendar.timegm(time.strptime(text, "%Y-%m-%dT%H:%M:%SZ"))


def items_feed(title, names, extra=""):
    entries = "".join("<item><title>%s</title><guid>%s</guid><link>http://127.0.0.1/%s</link>"
                      "<description>%s</description></item>\n" % (n, n, n, n) for n in names)
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\" "
            "xmlns:sy=\"http://purl.org/rss/1.0/modules/syndication/\"><channel><title>%s</title>"
            "<link>http://127.0.0.1/</link>%s\n%s</channel></rss>\n" % (title, extra, entries))


class ScheduleTest(unittest.TestCase):
    def setUp(self):
        self.app = AppDir()
        self.port = free_port()
        self.quillo = None
        self.servers = []

    def tearDown(self):
        if self.quillo:
            self.quillo.stop()
        for server in self.servers:
            server.stop()
        self.app.cleanup()

    def server(self, host="127.0.0.1"):
        server = HttpServer(host)
        self.servers.append(server)
        return server

    def start(self, feeds, more_settings=""):
        self.write_settings(feeds, more_settings)
        self.quillo = Quillo(self.app, port=self.port)

    def write_settings(self, feeds, more_settings=""):
        text = settings_xml(self.port, feeds=feeds)
        self.app.write("Quillo.xml", text.replace(" </settings>", more_settings + " </settings>"))

    def check(self, delete=False):
        """One mail check: log in (the refresh runs before the greeting), list, QUIT.
        Returns the subjects offered."""
        box, _ = open_poplib_mailbox(self.port, ANSWER_LIMIT)
        count, _ = box.stat()
        subjects = []
        for number in range(1, count + 1):
            headers = box.top(number, 0)[1]
            subject = [h.decode()[9:] for h in headers if h.startswith(b"Subject: ")]
            # The feed report a moved or gone feed brings is that test's own concern.
            if subject != ["Quillo: feed report"]:
                subjects += subject
            if delete:
                box.dele(number)
        box.quit()
        return sorted(subjects)

    def state_path(self, url):
        return os.path.join(self.app.path, "data", folder_name(url), "fetchstate.txt")

    def state(self, url):
        with open(self.state_path(url)) as f:
            lines = f.read().splitlines()
        self.assertEqual(lines[0], "quillo-fetch-state 1")
        return dict(line.split(" ", 1) for line in lines[1:])

    def let_time_pass(self, url):
        """As if the feed's wait were over: its next-due and retry-after in the past."""
        with open(self.state_path(url)) as f:
            lines = f.read().splitlines()
        lines = [("%s 2000-01-01T00:00:00Z" % line.split(" ")[0])
                 if line.split(" ")[0] in ("next-due", "retry-after") else line for line in lines]
        with open(self.state_path(url), "w") as f:
            f.write("\n".join(lines) + "\n")

    def wait_seconds(self, state):
        return parse_time(state["next-due"]) - parse_time(state["last-request"])


class BackOffTest(ScheduleTest):
    def test_a_429_with_retry_after_leaves_its_host_alone_and_other_hosts_go_on(self):
        busy = self.server("127.0.0.1")
        other = self.server("127.0.0.2")
        busy.route("/limited", status=429, reason="Too Many Requests", headers={"Retry-After": "120"})
        busy.route("/fine", body=rss_feed("fine", 1))
        other.route("/feed", body=rss_feed("other", 1))
        limited, fine, elsewhere = busy.url("/limited"), busy.url("/fine"), other.url("/feed")
        self.start([limited, fine, elsewhere])
        self.check()
        self.assertEqual(len(busy.requests_for("/limited")), 1)
        state = self.state(limited)
        self.assertEqual(state["last-status"], "429")
        self.assertEqual(parse_time(state["retry-after"]) - parse_time(state["last-request"]), 120)
        self.assertEqual(self.wait_seconds(state), 120)
        fine_requests = len(busy.requests_for("/fine"))
        for _ in range(3):
            self.check()
        self.assertEqual(len(busy.requests_for("/limited")), 1)
        self.assertEqual(len(busy.requests_for("/fine")), fine_requests, "the whole host waits")
        self.assertEqual(len(other.requests_for("/feed")), 4, "other hosts go on")
        # Once the time has come, the host is asked again.
        self.let_time_pass(limited)
        self.check()
        self.assertEqual(len(busy.requests_for("/limited")), 2)
        self.assertEqual(len(busy.requests_for("/fine")), fine_requests + 1)

    def test_a_503_without_retry_after_waits_a_minute(self):
        server = self.server()
        server.route("/feed", status=503, reason="Service Unavailable")
        url = server.url("/feed")
        self.start([url])
        self.check()
        self.check()
        self.assertEqual(len(server.requests_for("/feed")), 1)
        state = self.state(url)
        self.assertEqual((state["failures"], state["last-status"]), ("1", "503"))
        self.assertEqual(self.wait_seconds(state), 60)
        self.assertNotIn("retry-after", state)

    def test_failures_in_a_row_wait_twice_as_long_each_time_and_one_success_ends_it(self):
        server = self.server()
        server.route("/feed", status=500, reason="Internal Server Error")
        url = server.url("/feed")
        self.start([url])
        waits = []
        for n in range(1, 6):
            self.check()
            self.check()  # not due: no request
            self.assertEqual(len(server.requests_for("/feed")), n)
            state = self.state(url)
            self.assertEqual(state["failures"], str(n))
            self.assertEqual(state["last-error"], "HTTP 500 Internal Server Error")
            waits.append(self.wait_seconds(state))
            self.let_time_pass(url)
        self.assertEqual(waits, [60, 120, 240, 480, 960])
        server.route("/feed", body=rss_feed("back", 1))
        self.assertEqual(self.check(), ["back 0"])
        state = self.state(url)
        self.assertNotIn("failures", state)
        self.assertNotIn("next-due", state)
        self.assertEqual(state["last-status"], "200")

    def test_a_feed_that_is_gone_is_asked_again_only_after_a_week(self):
        server = self.server()
        server.route("/feed", status=410, reason="Gone")
        url = server.url("/feed")
        self.start([url])
        for _ in range(3):
            self.check()
        self.assertEqual(len(server.requests_for("/feed")), 1)
        state = self.state(url)
        self.assertEqual(state["gone-since"], state["last-request"])
        self.assertEqual(self.wait_seconds(state), 7 * 24 * 3600)

    def test_min_feed_interval_spares_the_server_and_the_store_still_offers_its_items(self):
        server = self.server()
        server.route("/feed", body=rss_feed("kept", 2))
        url = server.url("/feed")
        self.start([url], "  <min-feed-interval>5</min-feed-interval>\n")
        self.assertEqual(self.check(), ["kept 0", "kept 1"])
        self.assertEqual(self.check(), ["kept 0", "kept 1"])
        self.assertEqual(len(server.requests_for("/feed")), 1)
        self.assertEqual(self.wait_seconds(self.state(url)), 300)


class UserAgentTest(ScheduleTest):
    def test_the_user_agent_setting_is_what_the_server_sees(self):
        server = self.server()
        server.route("/feed", body=rss_feed("agent", 1))
        self.start([server.url("/feed")], "  <user-agent>Mozilla/5.0 (compatible; Quillo)</user-agent>\n")
        self.check()
        self.assertEqual(server.requests_for("/feed")[0]["headers"]["user-agent"], "Mozilla/5.0 (compatible; Quillo)")


class MovedFeedTest(ScheduleTest):
    def test_a_feed_that_moved_is_asked_at_its_new_address_and_nothing_is_offered_twice(self):
        server = self.server()
        server.route("/old", status=301, reason="Moved Permanently", redirect="/new")
        server.route("/new", body=items_feed("moved", ["one", "two"]))
        old, new = server.url("/old"), server.url("/new")
        self.start([old])
        self.assertEqual(self.check(delete=True), ["one", "two"])
        self.assertEqual(self.state(old)["moved-to"], new)
        self.assertEqual(len(server.requests_for("/old")), 1)
        # From the next refresh on only the new address is asked.
        self.assertEqual(self.check(), [])
        self.assertEqual(len(server.requests_for("/old")), 1)
        self.assertEqual(len(server.requests_for("/new")), 2)
        # The user writes the new address into the list: the same folder, its records.
        self.write_settings([new])
        server.route("/new", body=items_feed("moved", ["one", "two", "three"]))
        self.assertEqual(self.check(delete=True), ["three"])
        self.assertEqual(self.check(), [])
        self.assertEqual(len(server.requests_for("/old")), 1)
        self.assertEqual(sorted(set(os.listdir(os.path.join(self.app.path, "data"))) - {"quillo-feed-report"}), [folder_name(old)])
        state = self.state(old)
        self.assertEqual(state["url"], new)
        self.assertNotIn("moved-to", state)

    def test_a_temporary_redirect_is_followed_and_not_remembered(self):
        server = self.server()
        server.route("/feed", status=307, reason="Temporary Redirect", redirect="/today")
        server.route("/today", body=rss_feed("today", 1))
        url = server.url("/feed")
        self.start([url])
        self.assertEqual(self.check(delete=True), ["today 0"])
        self.assertNotIn("moved-to", self.state(url))
        self.check()
        self.assertEqual(len(server.requests_for("/feed")), 2)

    def test_a_move_whose_new_address_is_no_feed_is_not_remembered(self):
        server = self.server()
        server.route("/old", status=308, reason="Permanent Redirect", redirect="/parked")
        server.route("/parked", body="<html><body>parked domain</body></html>")
        url = server.url("/old")
        self.start([url])
        self.check()
        self.check()
        state = self.state(url)
        self.assertNotIn("moved-to", state)
        self.assertEqual(state["failures"], "1")


class DocumentHintsTest(ScheduleTest):
    def wait_for_state(self, url, timeout=20):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if os.path.exists(self.state_path(url)):
                return self.state(url)
            time.sleep(0.1)
        self.fail("no fetch state for %s" % url)

    def test_ttl_sy_period_cache_control_and_skip_hours_set_the_next_request(self):
        server = self.server()
        # The hours from the next one on for three hours are skipped.
        now = time.gmtime()
        skipped = [(now.tm_hour + k) % 24 for k in (1, 2, 3)]
        server.route("/ttl", body=items_feed("ttl", ["a"], "<ttl>90</ttl>"))
        server.route("/sy", body=items_feed("sy", ["a"], "<sy:updatePeriod>hourly</sy:updatePeriod>"
                                                         "<sy:updateFrequency>2</sy:updateFrequency>"))
        server.route("/cache", body=items_feed("cache", ["a"]), headers={"Cache-Control": "max-age=3000"})
        server.route("/skip", body=items_feed("skip", ["a"], "<ttl>59</ttl><skipHours>%s</skipHours>" %
                                                           "".join("<hour>%d</hour>" % h for h in skipped)))
        server.route("/plain", body=items_feed("plain", ["a"]))
        urls = {name: server.url("/" + name) for name in ("ttl", "sy", "cache", "skip", "plain")}
        self.start(list(urls.values()), "  <refresh-interval>5</refresh-interval>\n")
        waits = {name: self.wait_seconds(self.wait_for_state(url)) for name, url in urls.items()}
        self.assertEqual(waits["ttl"], 90 * 60)
        self.assertEqual(waits["sy"], 30 * 60)
        self.assertEqual(waits["cache"], 3000)
        self.assertEqual(waits["plain"], 5 * 60)
        # 59 minutes from now falls in the next hour, which is skipped: the request waits
        # for the first hour after the skipped ones.
        state = self.state(urls["skip"])
        due = parse_time(state["next-due"])
        self.assertEqual(time.gmtime(due).tm_hour, (now.tm_hour + 4) % 24)
        self.assertEqual(due % 3600, 0)
        # The background refresh asks for none of them again before they are due.
        time.sleep(1)
        for name in urls:
            self.assertEqual(len(server.requests_for("/" + name)), 1, name)


if __name__ == "__main__":
    unittest.main()
