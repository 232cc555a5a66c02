"""The Debian package `cpack -G DEB` makes from the build folder: its control data
(dependencies found by dpkg-shlibdeps) and the files it installs."""

import os
import re
import shutil
import subprocess
import tempfile
import unittest

BUILD = os.environ.get("QUILLO_BUILD_DIR", "")


class DebianPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        for name in ("cpack", "dpkg-deb", "dpkg-shlibdeps"):
            if not shutil.which(name):
                raise unittest.SkipTest("%s is not installed (scripts/deps installs it)" % name)
        cls.out = tempfile.mkdtemp(prefix="quillo-deb-")
        subprocess.run(["cpack", "-G", "DEB", "-B", cls.out], cwd=BUILD, check=True, stdout=subprocess.DEVNULL)
        debs = [name for name in os.listdir(cls.out) if name.endswith(".deb")]
        assert len(debs) == 1, debs
        cls.deb = os.path.join(cls.out, debs[0])

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.out, ignore_errors=True)

    def test_name_and_dependencies_suit_apt_install(self):
        self.assertRegex(os.path.basename(self.deb), r"^quillo_\d+\.\d+\.\d+_[a-z0-9]+\.deb$")
        info = subprocess.run(["dpkg-deb", "--info", self.deb], capture_output=True, text=True, check=True).stdout
        self.assertRegex(info, r"(?m)^ Package: quillo$")
        depends = re.search(r"(?m)^ Depends: (.*)$", info)
        self.assertIsNotNone(depends, info)
        for library in ("libqt6widgets6", "libcurl4", "libxml2", "libc6"):
            self.assertIn(library, depends.group(1))

    def test_contents_are_the_installed_tree_under_usr(self):
        listing = subprocess.run(["dpkg-deb", "--contents", self.deb], capture_output=True, text=True,
                                 check=True).stdout
        files = {line.split()[-1] for line in listing.splitlines() if line and not line.startswith("d")}
        for path in ("./usr/bin/Quillo", "./usr/bin/Corvane", "./usr/share/applications/quillo.desktop",
                     "./usr/share/applications/corvane.desktop", "./usr/lib/systemd/user/quillo.service",
                     "./usr/share/man/man1/quillo.1", "./usr/share/man/man1/corvane.1",
                     "./usr/share/icons/hicolor/scalable/apps/quillo.svg",
                     "./usr/share/icons/hicolor/48x48/apps/corvane.png"):
            self.assertIn(path, files)
        self.assertFalse([f for f in files if not f.startswith("./usr/")], files)
        unpacked = tempfile.mkdtemp(prefix="quillo-deb-x-")
        self.addCleanup(shutil.rmtree, unpacked, True)
        subprocess.run(["dpkg-deb", "-x", self.deb, unpacked], check=True)
        with open(os.path.join(unpacked, "usr/lib/systemd/user/quillo.service"), encoding="utf-8") as f:
            self.assertRegex(f.read(), r"(?m)^ExecStart=/usr/bin/Quillo$")


if __name__ == "__main__":
    unittest.main()
