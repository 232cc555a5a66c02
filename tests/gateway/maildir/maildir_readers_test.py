"""Maildirs the library wrote, read by what users read them with: Python's mailbox
package, Dovecot over IMAP (one folder per Maildir++ subfolder, every message intact),
and neomutt in tmux. The messages are kept with LF line ends, as Maildirs on Linux are;
Dovecot sends them with CRLF and counts that size."""

import email
import email.header
import email.policy
import mailbox
import os
import re
import shutil
import subprocess
import tempfile
import unittest

from dovecot_server import DovecotServer
from neomutt_tmux import NeomuttInTmux

DELIVER = os.environ.get("MAILDIR_DELIVER")


def message(subject_header, body, extra=""):
    return ("From: =?UTF-8?B?QXJzIFRlY2huaWNh?= <feed@quillo.invalid>\n"
            "To: me@quillo.invalid\n"
            "Subject: %s\n"
            "Date: Sat, 09 Dec 2023 11:00:00 +0900\n"
            "Message-ID: <%d@quillo.invalid>\n"
            "MIME-Version: 1.0\n%s"
            "\n%s" % (subject_header, abs(hash(subject_header)), extra, body)).encode("ascii")


def jis(text):
    return text.encode("iso-2022-jp").decode("ascii")


MESSAGES = {
    "plain": message("Plain ASCII subject", "A body.\n.A line that starts with a dot\n.\nFrom the start of a line\n",
                     "Content-Type: text/plain; charset=us-ascii\nContent-Transfer-Encoding: 7bit\n"),
    "japanese": message(email.header.Header("日本語の件名", "iso-2022-jp").encode(),
                        jis("本文です。\n二行目。\n"),
                        "Content-Type: text/plain; charset=iso-2022-jp\nContent-Transfer-Encoding: 7bit\n"),
    "html": message("HTML and text",
                    "--b\nContent-Type: text/plain; charset=us-ascii\n\nText part\n"
                    "--b\nContent-Type: text/html; charset=us-ascii\n\n<p>HTML part</p>\n--b--\n",
                    'Content-Type: multipart/alternative; boundary="b"\n'),
    "last-line-open": message("No newline at the end", "The last line has no line end"),
}

# Folder paths (tab-joined for the driver) and the IMAP names Dovecot shows for them.
FOLDERS = [
    (["Feeds", "Technology", "Ars Technica"], "Feeds.Technology.Ars Technica"),
    (["Feeds", "日本語ニュース"], "Feeds.日本語ニュース"),
    (["Feeds", "Tom & Jerry / Slashdot.org"], "Feeds.Tom & Jerry _ Slashdot_org"),
    (["~home", "100% *new*"], "_home.100_ _new_"),
]


@unittest.skipUnless(DELIVER, "MAILDIR_DELIVER must name the maildir_deliver test driver")
class MaildirReaders(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="quillo-maildir-readers-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.maildir = os.path.join(self.dir, "Maildir")
        self.sources = {}
        for name, data in MESSAGES.items():
            path = os.path.join(self.dir, name + ".eml")
            with open(path, "wb") as f:
                f.write(data)
            self.sources[name] = path

    def deliver(self, utf8=False):
        """Every message into the Maildir itself and into every folder of FOLDERS; returns
        {disk folder name or "": [(message name, file name)]}."""
        args = [DELIVER, self.maildir] + (["--utf8"] if utf8 else [])
        for name in MESSAGES:
            args += ["--key", "k" + name.replace("-", ""), self.sources[name]]
        for names, _ in FOLDERS:
            args += ["--folder", "\t".join(names)] + [self.sources[n] for n in MESSAGES]
        result = subprocess.run(args, capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        delivered = {}
        for line in result.stdout.decode("utf-8").splitlines():
            folder, file = line.split("\t")
            delivered.setdefault(folder, []).append(file)
        self.assertEqual(len(delivered), 1 + len(FOLDERS))
        return delivered

    def test_python_mailbox_reads_every_message_byte_for_byte(self):
        delivered = self.deliver()
        box = mailbox.Maildir(self.maildir, factory=None, create=False)
        folders = sorted(box.list_folders())
        self.assertEqual(folders, sorted(name for _, name in
                                         [(None, f.lstrip(".")) for f in delivered if f]))
        for folder in [""] + folders:
            sub = box if not folder else box.get_folder(folder)
            got = sorted(sub.get_bytes(key) for key in sub.keys())
            self.assertEqual(got, sorted(MESSAGES.values()), folder)
            subjects = {str(email.header.make_header(email.header.decode_header(m["Subject"])))
                        for m in (sub.get_message(k) for k in sub.keys())}
            self.assertIn("日本語の件名", subjects)

    def check_dovecot(self, utf8):
        self.deliver(utf8=utf8)
        with DovecotServer(self.maildir, utf8_names=utf8) as dovecot:
            imap = dovecot.imap()
            try:
                folders = dovecot.folders(imap)
                self.assertEqual(sorted(folders), sorted(["INBOX"] + [name for _, name in FOLDERS]), dovecot.log())
                for folder in ["INBOX"] + [name for _, name in FOLDERS]:
                    encoded = folder if folder == "INBOX" else _encode_utf7(folder)
                    status, _ = imap.select('"%s"' % encoded, readonly=True)
                    self.assertEqual(status, "OK", folder)
                    status, data = imap.fetch("1:*", "(RFC822.SIZE BODY.PEEK[])")
                    self.assertEqual(status, "OK", folder)
                    fetched = [(int(part[0].split(b"RFC822.SIZE ")[1].split()[0]), part[1])
                               for part in data if isinstance(part, tuple)]
                    expected = [m.replace(b"\n", b"\r\n") for m in MESSAGES.values()]
                    self.assertEqual(sorted(body for _, body in fetched), sorted(expected), folder)
                    for size, body in fetched:
                        self.assertEqual(size, len(body), "Dovecot's size of a message in %s" % folder)
            finally:
                imap.logout()
            self.assertNotIn("Error", dovecot.log())

    def test_dovecot_serves_one_imap_folder_per_subfolder_named_in_modified_utf7(self):
        self.check_dovecot(utf8=False)

    def test_dovecot_with_utf8_folder_names_serves_the_same_folders(self):
        self.check_dovecot(utf8=True)

    def test_neomutt_lists_and_shows_the_messages(self):
        delivered = self.deliver()
        ars = next(f for f in delivered if "Ars" in f)
        with NeomuttInTmux(self.maildir, folder=ars) as mutt:
            screen = mutt.wait_for("No newline at the end")
            for subject in ("Plain ASCII subject", "日本語の件名", "HTML and text"):
                self.assertIn(subject, screen)
            rows = [line for line in screen.splitlines() if re.match(r"\s+\d+ Ars Technica ", line)]
            self.assertEqual(len(rows), len(MESSAGES), screen)
            # Open the Japanese message: its body decodes.
            mutt.keys("/", "日本語", "Enter")
            mutt.keys("Enter")
            screen = mutt.wait_for("本文です。")
            self.assertIn("二行目。", screen)
            self.assertNotIn("\x1b$B", screen)


def _encode_utf7(text):
    import base64
    out, run = [], []

    def flush():
        if run:
            data = "".join(run).encode("utf-16-be")
            out.append("&" + base64.b64encode(data).decode().rstrip("=").replace("/", ",") + "-")
            run.clear()
    for ch in text:
        if 0x20 <= ord(ch) <= 0x7e:
            flush()
            out.append("&-" if ch == "&" else ch)
        else:
            run.append(ch)
    flush()
    return "".join(out)


if __name__ == "__main__":
    unittest.main()
