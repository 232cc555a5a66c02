#!/usr/bin/env python3
"""What the message store costs and saves, for one Quillo binary (run it for two to
compare): the greeting with refresh-interval over 1,000 feeds x 20 stored messages, all
RETRs of those 20,000 messages, the disk used per message, and one 8.6 MB feed of 5,000
items from download to stored messages and its greeting after a 304, and a session that
comes while 20,000 new items are being stored.

    bench/store/run_store_benchmark.py [--quillo build/bin/Quillo]

The cold first greeting of 1,000 new feeds with 200 ms replies is measured by
bench/refresh/run_benchmark.py --no-peer --feeds 1000. Everything runs on loopback.
"""

import argparse
import http.server
import os
import poplib
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "refresh"))
import run_benchmark as rb  # noqa: E402


def start_quillo(binary, workdir, urls, more=""):
    appdir = Path(workdir) / "quillo"
    appdir.mkdir()
    shutil.copy2(binary, appdir / "Quillo")
    port = rb.free_port(["127.0.0.1"])
    settings = rb.quillo_settings(port, urls, None).replace("  </settings>", more + "  </settings>")
    (appdir / "Quillo.xml").write_text(settings, "utf-8")
    process = subprocess.Popen([str(appdir / "Quillo")], cwd=appdir, env=rb.quiet_environment(),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 60
    while not rb.is_listening(port):
        if process.poll() is not None or time.monotonic() > deadline:
            raise SystemExit("Quillo did not start")
        time.sleep(0.02)
    return process, port, appdir


def stop(process):
    process.send_signal(signal.SIGTERM)
    try:
        process.wait(timeout=30)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def greeting_seconds(port):
    """From connect to the answer to PASS: the greeting and the mailbox ready (the
    mailbox is claimed, and with a download per connection refreshed, by then)."""
    start = time.perf_counter()
    with socket.create_connection(("127.0.0.1", port), timeout=600) as sock:
        data = b""
        while b"\r\n" not in data:
            data += sock.recv(4096)
        sock.sendall(b"USER me\r\nPASS x\r\n")
        data = b""
        while data.count(b"\r\n") < 2:
            data += sock.recv(4096)
        seconds = time.perf_counter() - start
        sock.sendall(b"QUIT\r\n")
        sock.recv(4096)
    return seconds


def stat(port):
    box = poplib.POP3("127.0.0.1", port, timeout=600)
    box.user("me")
    box.pass_("x")
    count = box.stat()[0]
    box.quit()
    return count


def retrieve_all(port, count):
    """Seconds for RETR of messages 1..count in one session (nothing deleted)."""
    box = poplib.POP3("127.0.0.1", port, timeout=600)
    box.user("me")
    box.pass_("x")
    start = time.perf_counter()
    for n in range(1, count + 1):
        box.retr(n)
    seconds = time.perf_counter() - start
    box.quit()
    return seconds


def disk_per_message(appdir, count):
    used = 0
    apparent = 0
    for folder, _, names in os.walk(appdir / "data"):
        if os.sep + "mail" not in folder:
            continue
        for name in names:
            info = os.lstat(os.path.join(folder, name))
            used += info.st_blocks * 512
            apparent += info.st_size
    return (used / count, apparent / count) if count else (0, 0)


def stored_feeds(binary, feeds):
    server = rb.ServerProcess(["127.0.0.1"], 0.0, feeds)
    with tempfile.TemporaryDirectory(prefix="quillo-store-bench-") as workdir:
        urls = [server.url(i) for i in range(feeds)]
        process, port, appdir = start_quillo(binary, workdir, urls,
                                             "    <refresh-interval>60</refresh-interval>\n")
        try:
            expected = feeds * rb.ITEMS_PER_FEED
            deadline = time.monotonic() + 600
            while stat(port) < expected:
                if time.monotonic() > deadline:
                    raise SystemExit("the background refresh did not finish")
                time.sleep(1)
            greetings = [greeting_seconds(port) for _ in range(7)]
            print(f"greeting and login with refresh-interval, {expected} messages: median "
                  f"{statistics.median(greetings) * 1000:.1f} ms, max {max(greetings) * 1000:.1f} ms")
            tenth = retrieve_all(port, expected // 10)
            every = retrieve_all(port, expected)
            print(f"RETR of {expected // 10}: {tenth:.2f} s; of all {expected}: {every:.2f} s "
                  f"({every / tenth:.1f}x for 10x the messages)")
            used, apparent = disk_per_message(appdir, expected)
            if used:
                print(f"disk per stored message: {used:.0f} bytes allocated, {apparent:.0f} bytes of file")
        finally:
            stop(process)
            server.stop()


class BigFeed(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    body = b""
    etag = '"big-1"'

    def log_message(self, *args):
        pass

    def do_GET(self):
        if self.headers.get("If-None-Match") == self.etag:
            self.send_response(304)
            self.send_header("ETag", self.etag)
            self.end_headers()
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/rss+xml")
        self.send_header("ETag", self.etag)
        self.send_header("Content-Length", str(len(self.body)))
        self.end_headers()
        self.wfile.write(self.body)


def big_document(items=5000):
    text = "本文のテキストです。Lorem ipsum dolor sit amet, consectetur adipiscing elit. " * 17
    entries = "".join(
        f"<item><title>大きなフィード item {i}</title><link>http://127.0.0.1/big/{i}</link>"
        f"<pubDate>Sat, 01 Jan 2005 00:00:00 GMT</pubDate>"
        f"<description><![CDATA[<p>{text}</p>]]></description></item>\n" for i in range(items))
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel>"
            "<title>big</title><link>http://127.0.0.1/big/</link>\n" + entries
            + "</channel></rss>\n").encode("utf-8")


def big_feed(binary):
    BigFeed.body = big_document()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), BigFeed)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    with tempfile.TemporaryDirectory(prefix="quillo-store-bench-") as workdir:
        url = f"http://127.0.0.1:{server.server_address[1]}/big.xml"
        process, port, _ = start_quillo(binary, workdir, [url])
        try:
            cold = greeting_seconds(port)
            warm = [greeting_seconds(port) for _ in range(5)]
            print(f"{len(BigFeed.body) / 1e6:.1f} MB feed of 5000 items: first greeting (download to all "
                  f"messages stored) {cold:.2f} s; greeting and login after a 304: median "
                  f"{statistics.median(warm):.3f} s")
        finally:
            stop(process)
            server.shutdown()


def session_during_storing(binary, items=20000):
    """A session at a 2 s greeting deadline while a feed's 20,000 new items are stored:
    how long its PASS waits, and how many messages it is offered (the rest follow in
    the next session)."""
    BigFeed.body = big_document(items)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), BigFeed)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    with tempfile.TemporaryDirectory(prefix="quillo-store-bench-") as workdir:
        url = f"http://127.0.0.1:{server.server_address[1]}/big.xml"
        process, port, _ = start_quillo(binary, workdir, [url], "    <greeting-deadline>2</greeting-deadline>\n")
        try:
            start = time.perf_counter()
            box = poplib.POP3("127.0.0.1", port, timeout=600)
            greeted = time.perf_counter() - start
            box.user("me")
            box.pass_("x")
            answered = time.perf_counter() - start
            offered = box.stat()[0]
            box.quit()
            print(f"session while {items} new items are stored, greeting-deadline 2 s: greeting {greeted:.2f} s, "
                  f"PASS answered {answered:.2f} s, {offered} messages offered")
        finally:
            stop(process)
            server.shutdown()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quillo", type=Path, default=rb.default_quillo())
    parser.add_argument("--feeds", type=int, default=1000)
    args = parser.parse_args()
    binary = args.quillo.resolve()
    print(f"Quillo: {binary}")
    big_feed(binary)
    session_during_storing(binary)
    stored_feeds(binary, args.feeds)


if __name__ == "__main__":
    main()
