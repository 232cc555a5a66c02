#!/usr/bin/env python3
"""Byte-for-byte comparison of the messages two Quillo builds offer for the same feeds.

    python3 bench/corpus/compare_messages.py OLD_QUILLO NEW_QUILLO [CORPUS_DIR]

Every feed document of the corpus (default ../shared/corpus beside the checkout) is
served on loopback to one run of each build; both sessions RETR every message. The
Date header of an undated item is the time of the parse, so it is masked. Prints one
line per document whose messages differ, saying whether only the bodies do (what a
fuller body, resolved links in it or enclosure lines change) or the headers and the
link line too, then the totals. COMPARE_DUMP=DIR keeps the first differing pair.
"""

import concurrent.futures
import os
import re
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import corpus_runs  # noqa: E402

DATE = re.compile(rb"^Date: .*$", re.M)


def messages(binary, url):
    folder = tempfile.mkdtemp(prefix="quillo-compare-")
    try:
        with corpus_runs.quillo_session(binary, folder, url) as pop:
            count = pop.stat()[0]
            texts = [b"\r\n".join(pop.retr(n)[1]) for n in range(1, count + 1)]
            pop.quit()
        return [DATE.sub(b"Date: -", t) for t in texts]
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def head(text):
    """The header block and the link line: what the delivered records and a list show."""
    end = text.find(b"\r\n\r\n")
    return text[:text.find(b"\r\n", end + 4)]


def compare(old, new, path):
    with corpus_runs.served(path) as url:
        a = messages(old, url)
        b = messages(new, url)
    dump = os.environ.get("COMPARE_DUMP")
    for x, y in zip(a, b):
        if dump and x != y:
            base = os.path.join(dump, os.path.basename(path))
            open(base + ".old", "wb").write(x)
            open(base + ".new", "wb").write(y)
            break
    equal = sum(1 for x, y in zip(a, b) if x == y)
    heads = sum(1 for x, y in zip(a, b) if head(x) == head(y))
    return path, len(a), len(b), equal, heads


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    old, new = sys.argv[1], sys.argv[2]
    corpus = sys.argv[3] if len(sys.argv) > 3 else corpus_runs.default_corpus()
    if not os.path.isdir(corpus):
        print("corpus folder %s is missing: nothing to compare" % corpus)
        return 0
    same = bodies = changed = 0
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        for path, n_old, n_new, equal, heads in pool.map(lambda p: compare(old, new, p),
                                                         corpus_runs.feed_documents(corpus)):
            if n_old == 0:
                continue
            if n_old == n_new == equal:
                same += 1
                continue
            if n_old == n_new == heads:
                bodies += 1
                kind = "bodies only"
            else:
                changed += 1
                kind = "HEADERS"
            print("%-80s old %3d new %3d identical %3d same headers %3d  %s" %
                  (os.path.relpath(path, corpus), n_old, n_new, equal, heads, kind))
    print("documents the old build read: %d; all messages identical: %d; only bodies differ: %d; "
          "headers or counts differ: %d" % (same + bodies + changed, same, bodies, changed))
    return 0


if __name__ == "__main__":
    sys.exit(main())
