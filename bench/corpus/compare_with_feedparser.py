#!/usr/bin/env python3
"""How many entries Python's feedparser finds in each feed document of a corpus, beside
how many messages the real Quillo offers for it.

    python3 bench/corpus/compare_with_feedparser.py [--quillo PATH] [--require-all] [CORPUS_DIR]

Each document is served on loopback to a Quillo of its own (default build/bin/Quillo)
and counted with STAT. feedparser (Debian python3-feedparser) reads the same bytes with
the served URL as their location. JSON Feed documents, which feedparser does not read,
are counted from their "items" that are objects. Prints the table, the totals and every
difference, with Quillo's last log entry when it offers no message; with
--require-all it exits non-zero when a document in which feedparser finds entries gets
no message from Quillo.
"""

import argparse
import concurrent.futures
import json
import os
import re
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import corpus_runs  # noqa: E402

try:
    import feedparser
except ImportError:  # an interpreter of its own (pyenv) beside Debian's packages
    sys.path.append("/usr/lib/python3/dist-packages")
    import feedparser


def reference_count(path, url, content_type):
    """Entries feedparser finds, and what counted them."""
    with open(path, "rb") as f:
        data = f.read()
    if data.lstrip(b"\xef\xbb\xbf \t\r\n").startswith(b"{"):
        try:
            items = json.loads(data.decode("utf-8-sig")).get("items")
            # Quillo skips items that are not objects.
            return (sum(isinstance(i, dict) for i in items) if isinstance(items, list) else 0), "json"
        except (ValueError, UnicodeDecodeError, AttributeError):
            return 0, "json"
    try:
        parsed = feedparser.parse(data, response_headers={"content-location": url, "content-type": content_type})
    except Exception:  # feedparser's own HTML sanitiser gives up on some bodies
        return 0, "feedparser failed"
    return len(parsed.entries), "feedparser"


_LOG_STAMP = re.compile(r"^\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\] ", re.M)


def log_reason(folder):
    """Quillo's last log entry on one line: why a document gave no message."""
    try:
        with open(os.path.join(folder, "log.txt"), "rb") as f:
            text = f.read().decode("utf-8", "replace")
    except OSError:
        return "nothing in log.txt"
    entries = [entry.strip() for entry in _LOG_STAMP.split(text) if entry.strip()]
    if not entries:
        return "nothing in log.txt"
    return " / ".join(line.strip() for line in entries[-1].splitlines() if line.strip())[:300]


def quillo_count(binary, url):
    """Messages offered, and when there are none the log's reason."""
    folder = tempfile.mkdtemp(prefix="quillo-feedparser-")
    try:
        with corpus_runs.quillo_session(binary, folder, url) as pop:
            count = pop.stat()[0]
            pop.quit()
        return count, ("" if count else log_reason(folder))
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def measure(binary, path):
    content_type = "application/feed+json" if path.endswith(".json") else "application/xml"
    with corpus_runs.served(path, content_type) as url:
        reference, counted_by = reference_count(path, url, content_type)
        return (path, reference, counted_by, *quillo_count(binary, url))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    arguments = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    arguments.add_argument("corpus", nargs="?", default=corpus_runs.default_corpus())
    arguments.add_argument("--quillo", default=os.path.join(here, "..", "..", "build", "bin", "Quillo"))
    arguments.add_argument("--require-all", action="store_true")
    options = arguments.parse_args()
    if not os.path.isdir(options.corpus):
        print("corpus folder %s is missing: nothing to compare" % options.corpus)
        return 0
    rows = []
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        rows = list(pool.map(lambda p: measure(options.quillo, p), corpus_runs.feed_documents(options.corpus)))
    print("%-88s %10s %7s" % ("document", "reference", "Quillo"))
    with_entries = offered = equal = 0
    missing = []
    differences = []
    for path, reference, counted_by, quillo, reason in rows:
        mark = "" if reference == quillo else "  <-- differs"
        if counted_by == "json":
            mark += "  (JSON Feed, counted from its items)"
        elif counted_by != "feedparser":
            mark += "  (" + counted_by + ")"
        print("%-88s %10d %7d%s" % (os.path.relpath(path, options.corpus), reference, quillo, mark))
        if reference != quillo:
            differences.append("  %s: reference %d, Quillo %d%s" % (
                os.path.relpath(path, options.corpus), reference, quillo, " -- " + reason if reason else ""))
        if reference > 0:
            with_entries += 1
            offered += quillo > 0
            equal += quillo == reference
            if quillo == 0:
                missing.append(path)
    print()
    print("documents: %d; with reference entries: %d; Quillo offers messages for %d of them; "
          "equal counts: %d" % (len(rows), with_entries, offered, equal))
    for path in missing:
        print("no message for %s" % os.path.relpath(path, options.corpus))
    print("differences: %d" % len(differences))
    for line in differences:
        print(line)
    return 1 if options.require_all and missing else 0


if __name__ == "__main__":
    sys.exit(main())
