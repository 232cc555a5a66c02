"""neomutt (Debian package) reading a Maildir inside a tmux of its own, so a test can
press keys and read the screen as a user would see it. The tmux server has its own
socket in a temporary folder and is stopped with it; neomutt reads only the
configuration written here (no user or system muttrc), with a UTF-8 terminal.

    with NeomuttInTmux(maildir) as mutt:
        screen = mutt.wait_for("Subject text")
        mutt.keys("Enter")
"""

import os
import shutil
import subprocess
import tempfile
import time

MUTTRC = """\
set mbox_type = Maildir
set folder = "{maildir}"
set spoolfile = "{maildir}"
set record = ""
set postponed = ""
set header_cache = ""
set message_cachedir = ""
set mark_old = no
set move = no
set sort = date-received
set index_format = "%4C %-24.24F %s"
set pager_stop = yes
set wait_key = no
set charset = "utf-8"
set send_charset = "utf-8"
set check_new = no
set sidebar_visible = no
"""


class NeomuttInTmux:
    def __init__(self, maildir, folder=None, width=160, height=48):
        """Opens `maildir`, or its Maildir++ subfolder `folder` (a name like ".Feeds.Tech")."""
        if not shutil.which("neomutt") or not shutil.which("tmux"):
            raise RuntimeError("neomutt and tmux must be installed")
        self.dir = tempfile.mkdtemp(prefix="quillo-neomutt-")
        self.socket = os.path.join(self.dir, "tmux.sock")
        self.session = "neomutt"
        maildir = os.path.abspath(maildir)
        rc = os.path.join(self.dir, "muttrc")
        with open(rc, "w") as f:
            f.write(MUTTRC.format(maildir=maildir))
        target = os.path.join(maildir, folder) if folder else maildir
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": self.dir, "TERM": "xterm-256color",
               "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8", "TMPDIR": self.dir}
        command = "neomutt -n -F '%s' -f '%s'" % (rc, target.replace("'", "'\\''"))
        self._tmux("new-session", "-d", "-x", str(width), "-y", str(height), "-s", self.session, command, env=env)
        self._running = True

    def _tmux(self, *args, env=None):
        return subprocess.run(["tmux", "-S", self.socket] + list(args), env=env, capture_output=True,
                              check=True, timeout=30).stdout.decode("utf-8", "replace")

    def capture(self):
        """The screen as text, one line per row."""
        return self._tmux("capture-pane", "-p", "-t", self.session)

    def keys(self, *keys):
        """tmux key names ("Enter", "q", "Down") or literal text."""
        self._tmux("send-keys", "-t", self.session, *keys)

    def wait_for(self, text, timeout=15):
        """The screen once it shows `text`; an AssertionError with the last screen otherwise."""
        deadline = time.monotonic() + timeout
        screen = ""
        while time.monotonic() < deadline:
            screen = self.capture()
            if text in screen:
                return screen
            time.sleep(0.1)
        raise AssertionError("neomutt never showed %r; the screen was:\n%s" % (text, screen))

    def stop(self):
        if self._running:
            subprocess.run(["tmux", "-S", self.socket, "kill-server"], capture_output=True, timeout=30)
            self._running = False
        shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
