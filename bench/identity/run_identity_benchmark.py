#!/usr/bin/env python3
"""Costs of knowing items and records, for one Quillo build or two side by side.

    bench/identity/run_identity_benchmark.py build/bin/Quillo [OTHER_QUILLO ...]

Each binary is copied into a fresh application directory and served on loopback only:

- records: a feed of 10 items whose folder holds a sentitems.xml of 200,000 records
  (title, link, date, last-seen: the shape every version reads). The time from TCP
  connect to the greeting, the time from QUIT (one message deleted) to its answer,
  and the process's resident memory after the greeting and its peak (VmRSS, VmHWM).
- dele: a feed of 100,000 distinct items; the time to DELE every message (the
  commands pipelined, so the client costs little) and the QUIT after them.
- identical: a feed of 20,000 identical items (0.64 MB); the greeting time and the
  number of messages offered.
"""

import os
import socket
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "support"))
from http_server import HttpServer  # noqa: E402
from quillo_harness import AppDir, Quillo, free_port, settings_xml  # noqa: E402


def rss(items):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<rss version="2.0"><channel>'
            "<title>t</title><link>http://127.0.0.1/</link>\n%s</channel></rss>\n" % "".join(items))


def records_file(count):
    parts = ['<?xml version="1.0" encoding="UTF-8" standalone="no" ?>\n<sent-items>\n\n']
    for i in range(count):
        parts.append("  <item>\n    <subject>An old item number %d of a busy feed</subject>\n"
                     "    <link>http://127.0.0.1/old/articles/%d.html</link>\n"
                     "    <date>Sat, 01 Jan 2005 09:00:00 +0900</date>\n"
                     "    <last-seen>2099-01-01</last-seen>\n  </item>\n\n" % (i, i))
    parts.append("</sent-items>\n")
    return "".join(parts)


class Session:
    """A raw POP3 connection: the greeting timed, commands sent in bulk."""

    def __init__(self, port):
        started = time.monotonic()
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=600)
        self.buffer = b""
        self.greeting = self.line()
        self.greeted = time.monotonic() - started

    def line(self):
        while b"\r\n" not in self.buffer:
            chunk = self.sock.recv(1 << 16)
            if not chunk:
                raise RuntimeError("connection closed")
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\r\n", 1)
        return line

    def command(self, text):
        self.sock.sendall(text.encode() + b"\r\n")
        return self.line()

    def login(self):
        self.command("USER me")
        reply = self.command("PASS x")
        if not reply.startswith(b"+OK"):
            raise RuntimeError(reply)

    def pipelined(self, lines):
        self.sock.sendall("".join(line + "\r\n" for line in lines).encode())
        return [self.line() for _ in lines]

    def close(self):
        self.sock.close()


def memory(process):
    fields = {}
    with open("/proc/%d/status" % process.pid) as f:
        for line in f:
            key, _, value = line.partition(":")
            fields[key] = value.strip()
    return fields.get("VmRSS", "?"), fields.get("VmHWM", "?")


def run(binary, name, routes, setup=None):
    http = HttpServer()
    app = AppDir(binary)
    try:
        for path, body in routes.items():
            http.route(path, body=body)
        port = free_port()
        app.write("Quillo.xml", settings_xml(port, feeds=[http.url(p) for p in routes]))
        if setup:
            setup(app, http)
        with Quillo(app, port=port, timeout=60) as quillo:
            return name(quillo, port)
    finally:
        http.stop()
        app.cleanup()


def folder_of(url):
    return url.split("://", 1)[1].replace("/", "-").replace("?", "-")


def bench_records(binary):
    def setup(app, http):
        app.write(os.path.join("data", folder_of(http.url("/feed.xml")), "sentitems.xml"), records_file(200000))

    def measure(quillo, port):
        out = []
        for round_ in (1, 2):
            session = Session(port)
            session.login()
            rss_after, _ = memory(quillo.process)
            count = int(session.command("STAT").split()[1])
            if count:
                session.command("DELE 1")
            started = time.monotonic()
            reply = session.command("QUIT")
            quit_time = time.monotonic() - started
            session.close()
            _, peak = memory(quillo.process)
            out.append("session %d: greeting %.2f s, QUIT %.2f s (%s), %s after the greeting, peak %s"
                       % (round_, session.greeted, quit_time, reply[:3].decode(), rss_after, peak))
            time.sleep(1)
        return out

    feed = rss("<item><title>new %d</title><link>http://127.0.0.1/new/%d</link></item>" % (i, i) for i in range(10))
    return run(binary, measure, {"/feed.xml": feed}, setup)


def bench_dele(binary):
    def measure(quillo, port):
        session = Session(port)
        session.login()
        count = int(session.command("STAT").split()[1])
        started = time.monotonic()
        replies = session.pipelined(["DELE %d" % n for n in range(1, count + 1)])
        dele = time.monotonic() - started
        bad = sum(1 for r in replies if not r.startswith(b"+OK"))
        started = time.monotonic()
        session.command("QUIT")
        quit_time = time.monotonic() - started
        _, peak = memory(quillo.process)
        session.close()
        return ["%d messages (greeting %.2f s): DELE of all %.2f s (%d refused), QUIT %.2f s, peak %s"
                % (count, session.greeted, dele, bad, quit_time, peak)]

    feed = rss("<item><title>item %d</title><link>http://127.0.0.1/i/%d</link></item>\n" % (i, i) for i in range(100000))
    return run(binary, measure, {"/big.xml": feed})


def bench_identical(binary):
    def measure(quillo, port):
        session = Session(port)
        session.login()
        count = session.command("STAT")
        session.command("QUIT")
        session.close()
        return ["greeting %.2f s, STAT %s" % (session.greeted, count.decode())]

    item = "<item><title>Same</title><link>http://127.0.0.1/same</link><description>x</description></item>\n"
    return run(binary, measure, {"/same.xml": rss([item] * 20000)})


def main():
    binaries = sys.argv[1:]
    if not binaries:
        sys.exit(__doc__)
    for binary in binaries:
        print("== %s" % binary)
        for title, bench in (("200,000 records", bench_records), ("100,000-item feed", bench_dele),
                             ("20,000 identical items", bench_identical)):
            for line in bench(os.path.abspath(binary)):
                print("%s: %s" % (title, line), flush=True)


if __name__ == "__main__":
    main()
