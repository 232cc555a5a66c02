"""Feed folders with items left undelivered, as the version before the message store
wrote them, and what that version offered from them.

    upgrade_feeds.py make QUILLO    runs that Quillo on the feeds of ../legacy/feeds,
                                    deletes every other message (QUIT), then lists
                                    what the next session offers (UIDL and Subject) into
                                    offered.txt and copies the feed folders to data/
    upgrade_feeds.py check QUILLO   gives a Quillo the stored folders and fails unless
                                    its first and second sessions offer exactly
                                    offered.txt, ids included, and a QUIT that deletes
                                    them leaves nothing to offer

Everything runs on loopback, with the legacy data's feed handler. An id is made from the
feed's URL, so the feeds are served from one fixed address, 127.24.0.1:24024 (all of
127.0.0.0/8 is loopback on Linux).
"""

import contextlib
import email.header
import http.server
import os
import poplib
import shutil
import sys
import threading
import time
import unicodedata

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "legacy"))
import legacy_feeds  # noqa: E402
from legacy_feeds import (LOOPBACK, STORED_FILES, folder_name,  # noqa: E402
                          free_port, new_app, running_quillo, settings_xml)

# The legacy feeds these folders were made with.
FEED_NAMES = ["rss2.xml", "rss1.xml", "atom.xml", "rss2-sjis.xml"]

FEED_ADDRESS = ("127.24.0.1", 24024)


@contextlib.contextmanager
def feed_server():
    http.server.ThreadingHTTPServer.allow_reuse_address = True
    # Another run of this check (another build's tests) may hold the address: wait for it.
    deadline = time.monotonic() + 240
    while True:
        try:
            server = http.server.ThreadingHTTPServer(FEED_ADDRESS, legacy_feeds._FeedHandler)
            break
        except OSError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.5)
    server.feeds = os.path.join(HERE, "..", "legacy", "feeds")
    server.requests = []
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield server
    finally:
        server.shutdown()
        server.server_close()
        thread.join()

OFFERED = os.path.join(HERE, "offered.txt")
DATA = os.path.join(HERE, "data")


def session(pop3_port, delete):
    """"uid subject-line" of every message offered; those `delete` picks by number are
    deleted, then QUIT."""
    deadline = time.monotonic() + 60
    while True:
        pop = poplib.POP3(LOOPBACK, pop3_port, timeout=60)
        pop.user("me")
        try:
            pop.pass_("x")
            break
        except poplib.error_proto:
            pop.close()
            if time.monotonic() > deadline:
                raise
            time.sleep(0.2)
    count, _ = pop.stat()
    uids = dict(line.decode().split(" ", 1) for line in pop.uidl()[1])
    offered = []
    for n in range(1, count + 1):
        _, lines, _ = pop.top(n, 0)
        subject = [line.decode("ascii", "replace") for line in lines if line.lower().startswith(b"subject:")]
        offered.append(uids[str(n)] + " " + (subject[0] if subject else ""))
        if delete(n):
            pop.dele(n)
    pop.quit()
    return offered


def readable(entry):
    """ "uid Subject: ..." with the subject decoded and NFKC-normalised: a later version
    may choose another charset for the same text (UTF-8 keeps half-width katakana that
    ISO-2022-JP widened)."""
    uid, _, line = entry.partition(" ")
    value = line.partition(":")[2].strip()
    return uid + " " + unicodedata.normalize("NFKC", str(email.header.make_header(email.header.decode_header(value))))


def urls_of(server):
    return ["http://%s:%d/%s" % (FEED_ADDRESS[0], FEED_ADDRESS[1], n) for n in FEED_NAMES]


def make(binary):
    app = new_app(binary)
    try:
        with feed_server() as server:
            urls = urls_of(server)
            pop3_port = free_port()
            with open(os.path.join(app, "Quillo.xml"), "w") as f:
                f.write(settings_xml(pop3_port, urls))
            with running_quillo(binary, app, pop3_port):
                session(pop3_port, lambda n: n % 2 == 1)
                offered = session(pop3_port, lambda n: False)
        with open(OFFERED, "w", encoding="utf-8") as f:
            f.write("\n".join(offered) + "\n")
        shutil.rmtree(DATA, ignore_errors=True)
        for name, url in zip(FEED_NAMES, urls):
            src = os.path.join(app, "data", folder_name(url))
            dest = os.path.join(DATA, name)
            os.makedirs(dest)
            for f in STORED_FILES:
                if os.path.isfile(os.path.join(src, f)):
                    shutil.copy2(os.path.join(src, f), dest)
        print("offered %d messages after the first session" % len(offered))
    finally:
        shutil.rmtree(app, ignore_errors=True)


def check(binary):
    expected = open(OFFERED, encoding="utf-8").read().splitlines()
    app = new_app(binary)
    failures = []
    try:
        with feed_server() as server:
            urls = urls_of(server)
            for name, url in zip(FEED_NAMES, urls):
                dest = os.path.join(app, "data", folder_name(url))
                os.makedirs(dest)
                for f in os.listdir(os.path.join(DATA, name)):
                    shutil.copy2(os.path.join(DATA, name, f), dest)
            pop3_port = free_port()
            with open(os.path.join(app, "Quillo.xml"), "w") as f:
                f.write(settings_xml(pop3_port, urls))
            with running_quillo(binary, app, pop3_port):
                first = session(pop3_port, lambda n: False)
                second = session(pop3_port, lambda n: True)
                third = session(pop3_port, lambda n: False)
        for label, offered in (("first", first), ("second", second)):
            if [readable(e) for e in offered] != [readable(e) for e in expected]:
                failures.append("%s session offered\n %s\nnot\n %s" % (label, "\n ".join(offered),
                                                                        "\n ".join(expected)))
        if third:
            failures.append("offered after delivery: %r" % third)
        for failure in failures:
            print("FAIL", failure)
        return 1 if failures else 0
    finally:
        shutil.rmtree(app, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("make", "check"):
        print(__doc__)
        sys.exit(2)
    if sys.argv[1] == "make":
        make(sys.argv[2])
    else:
        sys.exit(check(sys.argv[2]))
