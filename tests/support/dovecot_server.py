"""A Dovecot (Debian dovecot-imapd) serving one Maildir over IMAP on a loopback port,
started from a temporary configuration: Maildir++ layout, one fixed user with a plain
password, no TLS. Everything it writes besides the Maildir's index files (sockets, logs,
state) stays in its own temporary folder.

Dovecot will not read mail as root: when the tests run as root its mail processes run as
`nobody` and its login processes as `dovenull`, so the Maildir is handed to `nobody`
while the server runs (and handed back at stop), and folders above it inside the
system's temporary folder are made searchable by others for that time.

    with DovecotServer(maildir) as dovecot:
        imap = dovecot.imap()          # logged in
        imap.list()
"""

import grp
import imaplib
import os
import pwd
import shutil
import socket
import stat
import subprocess
import tempfile
import time

from quillo_harness import LOOPBACK, free_port

DOVECOT = "/usr/sbin/dovecot"

CONFIG = """\
base_dir = {dir}/run
state_dir = {dir}/state
log_path = {dir}/dovecot.log
info_log_path = {dir}/dovecot.log
protocols = imap
listen = {host}
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain login
mail_location = maildir:{maildir}:LAYOUT=maildir++{utf8}
mail_uid = {mail_uid}
mail_gid = {mail_gid}
first_valid_uid = 0
first_valid_gid = 0
default_internal_user = {internal_user}
default_internal_group = {internal_group}
default_login_user = {login_user}
passdb {{
  driver = static
  args = password={password}
}}
userdb {{
  driver = static
  args = home={dir}/home
}}
service imap-login {{
  inet_listener imap {{
    address = {host}
    port = {port}
  }}
  inet_listener imaps {{
    port = 0
  }}
}}
service stats {{
  unix_listener stats-writer {{
    mode = 0666
  }}
}}
"""


def modified_utf7_decode(name):
    """An IMAP mailbox name (modified UTF-7) as text."""
    import base64
    out, i = [], 0
    while i < len(name):
        if name[i] != "&":
            out.append(name[i])
            i += 1
            continue
        end = name.index("-", i)
        chunk = name[i + 1:end]
        if not chunk:
            out.append("&")
        else:
            chunk = chunk.replace(",", "/")
            out.append(base64.b64decode(chunk + "=" * (-len(chunk) % 4)).decode("utf-16-be"))
        i = end + 1
    return "".join(out)


class DovecotServer:
    USER = "reader"
    PASSWORD = "secret"

    def __init__(self, maildir, utf8_names=False, timeout=15):
        """Serves `maildir` (its folder names on disk in modified UTF-7, as Dovecot keeps
        them by default, or in UTF-8 with utf8_names)."""
        if not os.access(DOVECOT, os.X_OK):
            raise RuntimeError("Dovecot is not installed (Debian package dovecot-imapd)")
        self.maildir = os.path.abspath(maildir)
        self.dir = tempfile.mkdtemp(prefix="quillo-dovecot-")
        self.port = free_port()
        self._opened = []   # folders made searchable, with their old modes
        self._owner = (os.stat(self.maildir).st_uid, os.stat(self.maildir).st_gid)
        self._process = None
        os.makedirs(os.path.join(self.dir, "home"))

        me = pwd.getpwuid(os.geteuid()).pw_name
        my_group = grp.getgrgid(os.getegid()).gr_name
        if os.geteuid() == 0:
            mail_user, mail_group = "nobody", grp.getgrgid(pwd.getpwnam("nobody").pw_gid).gr_name
            login_user = "dovenull"
            self._hand_over(mail_user)
        else:
            mail_user, mail_group, login_user = me, my_group, me
        config = CONFIG.format(dir=self.dir, host=LOOPBACK, port=self.port, maildir=self.maildir,
                               utf8=":UTF-8" if utf8_names else "", mail_uid=mail_user,
                               mail_gid=mail_group, internal_user=me, internal_group=my_group,
                               login_user=login_user, password=self.PASSWORD)
        self.config = os.path.join(self.dir, "dovecot.conf")
        with open(self.config, "w") as f:
            f.write(config)
        self._process = subprocess.Popen([DOVECOT, "-F", "-c", self.config],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self._wait_listening(timeout)

    def _hand_over(self, user):
        """Gives the Maildir to `user` and lets it reach the Maildir."""
        entry = pwd.getpwnam(user)
        self._chown_tree(entry.pw_uid, entry.pw_gid)
        os.chown(os.path.join(self.dir, "home"), entry.pw_uid, entry.pw_gid)
        os.chmod(self.dir, 0o711)
        temp_root = os.path.realpath(tempfile.gettempdir())
        folder = os.path.dirname(self.maildir)
        while folder != os.path.dirname(folder):
            mode = os.stat(folder).st_mode
            # Dovecot's mail processes keep the group root among theirs, so the group
            # needs the search right as well.
            if mode & (stat.S_IXGRP | stat.S_IXOTH) != stat.S_IXGRP | stat.S_IXOTH:
                if not os.path.realpath(folder).startswith(temp_root + os.sep):
                    raise RuntimeError("Dovecot's mail user cannot reach %s" % folder)
                self._opened.append((folder, stat.S_IMODE(mode)))
                os.chmod(folder, stat.S_IMODE(mode) | stat.S_IXGRP | stat.S_IXOTH)
            folder = os.path.dirname(folder)

    def _chown_tree(self, uid, gid):
        for root, dirs, files in os.walk(self.maildir):
            os.chown(root, uid, gid)
            for name in files:
                os.chown(os.path.join(root, name), uid, gid, follow_symlinks=False)

    def _wait_listening(self, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self._process.poll() is not None:
                raise RuntimeError("Dovecot stopped: %s\n%s" % (self._process.stderr.read().decode(), self.log()))
            try:
                with socket.create_connection((LOOPBACK, self.port), timeout=1):
                    return
            except OSError:
                time.sleep(0.05)
        self.stop()
        raise RuntimeError("Dovecot did not listen on port %d" % self.port)

    def log(self):
        try:
            with open(os.path.join(self.dir, "dovecot.log"), errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def imap(self):
        """A logged-in imaplib client; the caller logs out."""
        client = imaplib.IMAP4(LOOPBACK, self.port, timeout=30)
        client.login(self.USER, self.PASSWORD)
        return client

    def folders(self, client):
        """Every selectable mailbox LIST "" "*" names, decoded, with the server's separator
        '.' kept (parents that exist only as part of a name, \\NonExistent or \\Noselect,
        are left out)."""
        status, lines = client.list('""', "*")
        if status != "OK":
            raise RuntimeError("LIST failed: %r" % lines)
        names = []
        for line in lines:
            # (\HasNoChildren) "." "Feeds.Technology.Ars Technica"   or   ... INBOX
            text = line.decode("ascii")
            flags, rest = text[1:].split(") ", 1)
            if "\\noselect" in flags.lower() or "\\nonexistent" in flags.lower():
                continue
            name = rest.split(" ", 1)[1]
            if name.startswith('"'):
                name = name[1:-1].replace('\\"', '"').replace("\\\\", "\\")
            names.append(modified_utf7_decode(name))
        return names

    def stop(self):
        if self._process is not None:
            self._process.terminate()
            try:
                self._process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
            self._process.stderr.close()
            self._process = None
        if os.geteuid() == 0 and os.path.isdir(self.maildir):
            self._chown_tree(*self._owner)
        for folder, mode in reversed(self._opened):
            os.chmod(folder, mode)
        self._opened = []
        shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
