#!/usr/bin/env python3
"""No upgrade offers an already delivered item again, over a whole corpus of feeds.

    python3 bench/corpus/check_upgrade.py OLD_QUILLO NEW_QUILLO [CORPUS_DIR]

For every feed document: the old build serves it and the client deletes every message
and quits, so the old build records them all; then, on a copy of that application
directory, the new build and (for reference) the old build serve the document again.
The new build must offer no more messages than the old one does itself (an undated
Atom entry is offered at every refresh by both). Exits non-zero when a document breaks
the rule.
"""

import concurrent.futures
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import corpus_runs  # noqa: E402


def offered(binary, folder, url, delete):
    with corpus_runs.quillo_session(binary, folder, url) as pop:
        count = pop.stat()[0]
        if delete:
            for n in range(1, count + 1):
                pop.dele(n)
        pop.quit()
    return count


def check(old, new, path):
    folder = tempfile.mkdtemp(prefix="quillo-upgrade-")
    try:
        with corpus_runs.served(path) as url:
            first = offered(old, folder, url, True)
            if first == 0:
                return path, 0, 0, 0
            reference = folder + "-old"
            shutil.copytree(folder, reference)
            again_new = offered(new, folder, url, False)
            again_old = offered(old, reference, url, False)
            shutil.rmtree(reference, ignore_errors=True)
        return path, first, again_old, again_new
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    old, new = sys.argv[1], sys.argv[2]
    corpus = sys.argv[3] if len(sys.argv) > 3 else corpus_runs.default_corpus()
    if not os.path.isdir(corpus):
        print("corpus folder %s is missing: nothing to check" % corpus)
        return 0
    read = worse = 0
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        for path, first, again_old, again_new in pool.map(lambda p: check(old, new, p),
                                                          corpus_runs.feed_documents(corpus)):
            if first == 0:
                continue
            read += 1
            if again_new > again_old:
                worse += 1
                print("OFFERED AGAIN %-70s delivered %3d, old offers again %3d, new %3d" %
                      (os.path.relpath(path, corpus), first, again_old, again_new))
    print("documents delivered by the old build: %d; new build offers more of them again: %d" % (read, worse))
    return 1 if worse else 0


if __name__ == "__main__":
    sys.exit(main())
