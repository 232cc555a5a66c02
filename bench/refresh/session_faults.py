#!/usr/bin/env python3
"""Measures what a mail client meets when feeds or other clients misbehave, for one
Quillo binary (run it on two builds to compare):

  silent      seconds from connect to greeting while one feed server accepts and never answers
  burst       of 50 clients connecting at once, how many are greeted within 30 s
  idle        seconds until a second client is greeted while a first one idles (60 s cap)
  stalled     while a first client stops reading in the middle of RETR: seconds until a
              second client is greeted (60 s cap), and until the first is dropped (120 s cap)
  abandoned   feed downloads caused by one session plus 5 connections given up at once
  interval    with refresh-interval and N feeds (--feeds, default 1000): the greeting
              time of 20 connections after the background refresh (median and worst)

Loopback only. A measurement, not a test: it prints figures.
    session_faults.py --quillo build/bin/Quillo [--only silent,burst,...] [--feeds 1000]
"""

import argparse
import os
import socket
import statistics
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "e2e"))

from http_server import HttpServer  # noqa: E402
from quillo_harness import AppDir, Pop3Client, Quillo, free_port  # noqa: E402
from greeting_deadline_test import SilentFeedServer, rss  # noqa: E402


def settings(port, urls, extra=""):
    feeds = "".join("<feed>%s</feed>" % url for url in urls)
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quillo><settings><port>%d</port>"
            "<disable-messagebox>true</disable-messagebox><disable-trayicon>true</disable-trayicon>"
            "%s</settings><feed-list>%s</feed-list></quillo>\n" % (port, extra, feeds))


def greeting_time(port, timeout):
    start = time.monotonic()
    try:
        with Pop3Client(port, timeout=timeout) as c:
            c.greeting()
            elapsed = time.monotonic() - start
            c.single("QUIT")
            return elapsed
    except OSError:
        return None


def run(binary, urls, extra, body):
    app = AppDir(binary)
    port = free_port()
    app.write("Quillo.xml", settings(port, urls, extra))
    try:
        with Quillo(app, port=port):
            return body(port, app)
    finally:
        app.cleanup()


def silent(binary):
    http = HttpServer()
    http.route("/a.xml", body=rss("a", 3))
    quiet = SilentFeedServer(rss("late", 2))
    try:
        t = run(binary, [quiet.url("/late.xml"), http.url("/a.xml")], "", lambda port, app: greeting_time(port, 200))
        return "silent: greeting after %s s" % ("none within 200" if t is None else "%.1f" % t)
    finally:
        quiet.stop()
        http.stop()


def burst(binary):
    http = HttpServer()
    http.route("/a.xml", body=rss("a", 3), delay=1.0)

    def body(port, app):
        results = []
        lock = threading.Lock()

        def one():
            t = greeting_time(port, 30)
            with lock:
                results.append(t)

        threads = [threading.Thread(target=one) for _ in range(50)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(120)
        got = [t for t in results if t is not None]
        return "burst: %d of 50 greeted within 30 s (slowest %.1f s)" % (len(got), max(got) if got else 0)

    try:
        return run(binary, [http.url("/a.xml")], "", body)
    finally:
        http.stop()


def idle(binary):
    http = HttpServer()
    http.route("/a.xml", body=rss("a", 3))

    def body(port, app):
        with Pop3Client(port) as first:
            first.greeting()
            first.single("USER me")
            first.single("PASS x")
            t = greeting_time(port, 60)
        return "idle: second client greeted after %s" % ("none within 60 s" if t is None else "%.2f s" % t)

    try:
        return run(binary, [http.url("/a.xml")], "", body)
    finally:
        http.stop()


def stalled(binary):
    http = HttpServer()
    http.route("/big.xml", body=rss("big", 8).replace("big body 0</description>", "x" * 2000000 + "</description>"))

    def body(port, app):
        first = Pop3Client(port, timeout=60)
        try:
            first.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            first.greeting()
            first.single("USER me")
            first.single("PASS x")
            for _ in range(20):
                first.command("RETR 1")  # and never read
            start = time.monotonic()
            second = greeting_time(port, 60)
            dropped = None
            local = first.sock.getsockname()[1]
            while time.monotonic() - start < 120:
                # The server's end of the connection, from /proc: gone or closing means
                # dropped (the client, reading nothing, cannot see a FIN).
                wanted = ":%04X" % local
                state = None
                with open("/proc/net/tcp") as f:
                    for line in list(f)[1:]:
                        fields = line.split()
                        if fields[1].endswith(":%04X" % port) and fields[2].endswith(wanted):
                            state = fields[3]
                if state != "01":
                    dropped = time.monotonic() - start
                    break
                time.sleep(0.5)
        finally:
            first.close()
        return "stalled: second client greeted after %s; stalled client dropped after %s" % (
            "none within 60 s" if second is None else "%.2f s" % second,
            "no drop within 120 s" if dropped is None else "%.0f s" % dropped)

    try:
        return run(binary, [http.url("/big.xml")], "", body)
    finally:
        http.stop()


def abandoned(binary):
    http = HttpServer()
    http.route("/a.xml", body=rss("a", 3), delay=1.0)

    def body(port, app):
        with Pop3Client(port, timeout=60) as first:
            time.sleep(0.2)
            for _ in range(5):
                socket.create_connection(("127.0.0.1", port)).close()
            first.greeting()
            first.single("QUIT")
        time.sleep(8)
        return "abandoned: %d downloads of the feed (1 needed)" % len(http.requests_for("/a.xml"))

    try:
        return run(binary, [http.url("/a.xml")], "", body)
    finally:
        http.stop()


def interval(binary, feeds):
    http = HttpServer()
    for i in range(feeds):
        http.route("/f%d.xml" % i, body=rss("f%d" % i, 20))
    urls = [http.url("/f%d.xml" % i) for i in range(feeds)]

    def body(port, app):
        deadline = time.monotonic() + 600
        last = "data/127.0.0.1:%d-f%d.xml/latest.xml" % (http.port, feeds - 1)
        while time.monotonic() < deadline and not app.exists(last):
            time.sleep(0.1)
        time.sleep(2)
        times = []
        for _ in range(20):
            start = time.monotonic()
            with Pop3Client(port, timeout=60) as c:
                c.greeting()
                times.append(time.monotonic() - start)
                c.single("USER me")
                c.single("PASS x")
                stat = c.single("STAT")
                c.single("QUIT")
        return "interval: %d feeds, %s; greeting median %.1f ms, worst %.1f ms" % (
            feeds, stat.strip().decode(), statistics.median(times) * 1000, max(times) * 1000)

    try:
        return run(binary, urls, "<refresh-interval>60</refresh-interval>", body)
    finally:
        http.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quillo", required=True)
    parser.add_argument("--only", default="silent,burst,idle,stalled,abandoned,interval")
    parser.add_argument("--feeds", type=int, default=1000)
    args = parser.parse_args()
    binary = os.path.abspath(args.quillo)
    for name in args.only.split(","):
        if name == "interval":
            print(interval(binary, args.feeds), flush=True)
        else:
            print(globals()[name](binary), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
