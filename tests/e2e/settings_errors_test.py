"""The real Quillo, headless, with settings it cannot use: it must stop with status 1 and
say why on standard error and in log.txt, never serve on defaults nobody chose."""

import os
import shutil
import socket
import tempfile
import time
import unittest

from quillo_harness import (LOOPBACK, Pop3Client, Quillo, free_port, is_listening,
                            opml_xml, quillo_binary, settings_xml)

SETTINGS_FAILURE = "設定ファイルQuillo.xmlを使えないため、Quilloを終了します。"
BIND_FAILURE = "ソケットのバインドに失敗しました。(ポート: %d)"
OPML_FAILURE = "OPMLフィードリストの解析に失敗しました。"


class AppDir:
    """An empty temporary directory that Quillo is pointed at with --dir."""

    def __init__(self):
        self.path = tempfile.mkdtemp(prefix="quillo-settings-")
        self.binary = quillo_binary()

    def write(self, name, data):
        with open(os.path.join(self.path, name), "wb" if isinstance(data, bytes) else "w") as f:
            f.write(data)

    def log(self):
        try:
            with open(os.path.join(self.path, "log.txt"), "rb") as f:
                return f.read().decode("utf-8", "replace")
        except FileNotFoundError:
            return ""

    def cleanup(self):
        shutil.rmtree(self.path, ignore_errors=True)


def with_port(text):
    return ("<?xml version=\"1.0\"?>\n<quillo><settings><port>%s</port>"
            "<disable-messagebox>true</disable-messagebox></settings></quillo>\n" % text)


class SettingsErrors(unittest.TestCase):
    def setUp(self):
        self.app = AppDir()

    def tearDown(self):
        self.app.cleanup()

    def run_quillo(self):
        q = Quillo(self.app, args=["--dir", self.app.path], port=None)
        code = q.wait(30)
        q.stop()
        return code, q.stderr(), self.app.log()

    def assert_stops(self, quillo_xml, *wanted):
        self.app.write("Quillo.xml", quillo_xml)
        code, err, log = self.run_quillo()
        self.assertEqual(code, 1, err)
        for text in (err, log):
            self.assertIn(SETTINGS_FAILURE, text)
            self.assertIn(os.path.join(self.app.path, "Quillo.xml") + ": ", text)
            for piece in wanted:
                self.assertIn(piece, text)

    def test_a_settings_file_that_is_no_quillo_document_stops_quillo(self):
        port = free_port()
        cases = {
            "not well-formed": ("<quillo><settings><port>%d</port><</settings></quillo>" % port, ": line "),
            "binary": (b"\x00\xff\xfe\x89PNG\r\n\x1a\n" + bytes(range(256)), ": "),
            "missing end tag": ("<quillo><settings><port>%d</port></settings>\n" % port, ": line "),
            "wrong root": ("<settings><port>%d</port></settings>" % port, "the document element is not quillo"),
        }
        for name, (xml, reason) in cases.items():
            with self.subTest(name):
                self.assert_stops(xml, reason)
                self.assertFalse(is_listening(port))
                os.remove(os.path.join(self.app.path, "log.txt"))

    def test_a_port_that_is_no_port_stops_quillo_and_names_the_value(self):
        for value in ("0", "70000", "abc", "", "12abc"):
            with self.subTest(port=value):
                self.assert_stops(with_port(value), 'the port "%s" is not a number from 1 to 65535' % value)
                os.remove(os.path.join(self.app.path, "log.txt"))

    def test_a_number_setting_with_anything_after_its_digits_stops_quillo(self):
        port = free_port()
        for element, value in (("greeting-deadline", "1e9"), ("greeting-deadline", "0x10"),
                               ("greeting-deadline", "3.9"), ("refresh-interval", "1e12"),
                               ("refresh-interval", "10 minutes"), ("download-concurrency", "8 feeds")):
            with self.subTest(element=element, value=value):
                self.assert_stops(with_port("%d</port><%s>%s</%s><port>%d" % (port, element, value, element, port)),
                                  'the %s "%s" is not a whole number (digits only)' % (element, value))
                self.assertFalse(is_listening(port))
                os.remove(os.path.join(self.app.path, "log.txt"))

    def test_an_empty_or_out_of_range_number_is_read_as_before_with_a_warning(self):
        port = free_port()
        self.app.write("Quillo.xml", with_port("%d</port><refresh-interval></refresh-interval>"
                                               "<greeting-deadline>-3</greeting-deadline><port>%d" % (port, port)))
        with Quillo(self.app, args=["--dir", self.app.path], port=port) as q:
            with Pop3Client(port) as c:
                self.assertEqual(c.greeting(), b"+OK QUILLO WELCOME\r\n")
            self.assertTrue(q.running())
            stderr = q.stderr()
        log = self.app.log()
        self.assertNotIn(SETTINGS_FAILURE, log)
        for text in (log, stderr):
            self.assertIn("the refresh-interval is empty; read as 0", text)
            self.assertIn('the greeting-deadline "-3" is outside 0 to 86400; read as 0', text)

    def test_require_tls_always_without_a_certificate_stops_quillo(self):
        port = free_port()
        self.app.write("Quillo.xml", with_port("%d</port><require-tls>always</require-tls><port>%d" % (port, port)))
        code, err, log = self.run_quillo()
        self.assertEqual(code, 1, err)
        for text in (err, log):
            self.assertIn("require-tls always needs a tls-certificate", text)
        self.assertFalse(is_listening(port))
        self.app.write("Quillo.xml", with_port("%d</port><require-tls>sometimes</require-tls><port>%d" % (port, port)))
        os.remove(os.path.join(self.app.path, "log.txt"))
        self.assert_stops(self.app_xml(), 'the require-tls "sometimes" is not auto, always or never')

    def app_xml(self):
        with open(os.path.join(self.app.path, "Quillo.xml")) as f:
            return f.read()

    def test_a_port_with_white_space_around_it_is_used(self):
        port = free_port()
        self.app.write("Quillo.xml", with_port("\n    %d\n  " % port))
        with Quillo(self.app, args=["--dir", self.app.path], port=port) as q:
            with Pop3Client(port) as c:
                self.assertEqual(c.greeting(), b"+OK QUILLO WELCOME\r\n")
            self.assertTrue(q.running())
        self.assertNotIn(SETTINGS_FAILURE, self.app.log())

    def test_a_port_in_use_stops_quillo_with_the_bind_message(self):
        with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as taken:
            taken.bind((LOOPBACK, 0))
            taken.listen(1)
            port = taken.getsockname()[1]
            self.app.write("Quillo.xml", settings_xml(port=port))
            code, err, log = self.run_quillo()
        self.assertEqual(code, 1, err)
        self.assertIn(BIND_FAILURE % port, err)
        self.assertIn(BIND_FAILURE % port, log)

    def test_a_broken_feed_list_is_logged_and_quillo_goes_on(self):
        port = free_port()
        self.app.write("Quillo.xml", settings_xml(port=port))
        self.app.write("feedlist.xml", opml_xml(["http://127.0.0.1:9/a"])[:-20])
        with Quillo(self.app, args=["--dir", self.app.path], port=port) as q:
            with Pop3Client(port) as c:
                self.assertEqual(c.greeting(), b"+OK QUILLO WELCOME\r\n")
                c.single("USER me")
                c.single("PASS x")
                self.assertTrue(c.single("STAT").startswith(b"+OK 0 "))
                self.assertEqual(c.single("QUIT"), b"+OK\r\n")
            deadline = time.monotonic() + 10
            while OPML_FAILURE not in self.app.log() and time.monotonic() < deadline:
                time.sleep(0.05)
            self.assertTrue(q.running())
            log = self.app.log()
            self.assertIn(OPML_FAILURE, log)
            self.assertIn(os.path.join(self.app.path, "feedlist.xml") + ": line ", log)
            self.assertIn(OPML_FAILURE, q.stderr())


if __name__ == "__main__":
    unittest.main()
