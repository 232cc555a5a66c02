"""The corpus comparison script against the real Quillo, on feed documents of our own:
each well-formed format gives feedparser's count, the cut-off document the items
completed before its break."""

import os
import re
import subprocess
import sys
import unittest

import quillo_harness

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
SCRIPT = os.path.join(ROOT, "bench", "corpus", "compare_with_feedparser.py")
SAMPLE = os.path.join(ROOT, "tests", "data", "corpus-sample")


def have_feedparser():
    probe = "import sys; sys.path.append('/usr/lib/python3/dist-packages'); import feedparser"
    return subprocess.run([sys.executable, "-c", probe], capture_output=True).returncode == 0


@unittest.skipUnless(have_feedparser(), "feedparser (python3-feedparser) is not installed")
class CorpusCompare(unittest.TestCase):
    def test_every_sample_document_gives_its_items(self):
        run = subprocess.run([sys.executable, SCRIPT, "--require-all", "--quillo", quillo_harness.quillo_binary(), SAMPLE],
                             capture_output=True, text=True, timeout=240)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        rows = {}
        for line in run.stdout.splitlines():
            match = re.match(r"^(\S+)\s+(\d+)\s+(\d+)", line)
            if match:
                rows[match.group(1)] = (int(match.group(2)), int(match.group(3)))
        self.assertEqual(rows, {
            "atom-prefixed.xml": (2, 2),
            "feed.json": (2, 2),
            "rss1-prefixed.rdf": (3, 3),
            # feedparser counts the item the document breaks off in; Quillo offers only
            # the items completed before the break.
            "rss2-broken.xml": (3, 2),
            "rss2-content.xml": (2, 2),
        })
        self.assertIn("with reference entries: 5; Quillo offers messages for 5 of them", run.stdout)


if __name__ == "__main__":
    unittest.main()
