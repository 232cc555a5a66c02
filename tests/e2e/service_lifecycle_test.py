"""Start-up and shutdown of the real Quillo: once mode, bind failure, signals, restart."""

import glob
import os
import signal
import socket
import threading
import time
import unittest

from quillo_harness import (AppDir, Pop3Client, Quillo, free_port,
                            settings_xml)

BIND_FAILURE = "ソケットのバインドに失敗しました。(ポート: %d)"


class SilentFeedServer:
    """Accepts every connection on loopback and never answers; counts the connections."""

    def __init__(self):
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(16)
        self.port = self.listener.getsockname()[1]
        self.held = []
        threading.Thread(target=self._accept, daemon=True).start()

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def _accept(self):
        while True:
            try:
                conn, _ = self.listener.accept()
            except OSError:
                return
            self.held.append(conn)

    def stop(self):
        self.listener.close()
        for conn in self.held:
            conn.close()


def wait_for(condition, timeout=10):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.05)
    return condition()


class Lifecycle(unittest.TestCase):
    def setUp(self):
        self.app = AppDir()
        self.port = free_port()
        self.app.write("Quillo.xml", settings_xml(port=self.port))

    def tearDown(self):
        self.app.cleanup()

    def test_once_mode_exits_after_quit(self):
        with Quillo(self.app, args=["-once"], port=self.port) as q:
            with Pop3Client(self.port) as c:
                self.assertEqual(c.greeting(), b"+OK QUILLO WELCOME\r\n")
                self.assertEqual(c.single("QUIT"), b"+OK\r\n")
                self.assertTrue(c.closed_by_peer())
            self.assertEqual(q.wait(10), 0)

    def test_once_mode_survives_a_dropped_connection(self):
        with Quillo(self.app, args=["-once"], port=self.port) as q:
            with Pop3Client(self.port) as c:
                c.greeting()
                c.command("STAT")
                c.read_line()
            time.sleep(0.5)
            self.assertTrue(q.running())
            with Pop3Client(self.port) as c:
                self.assertEqual(c.greeting(), b"+OK QUILLO WELCOME\r\n")
                self.assertEqual(c.single("QUIT"), b"+OK\r\n")
            self.assertEqual(q.wait(10), 0)

    def test_once_with_other_words_and_spaces_still_counts(self):
        with Quillo(self.app, args=["extra", "   -once"], port=self.port) as q:
            with Pop3Client(self.port) as c:
                c.greeting()
                c.single("QUIT")
            self.assertEqual(q.wait(10), 0)

    def test_upper_case_once_is_not_once_mode(self):
        with Quillo(self.app, args=["-ONCE"], port=self.port) as q:
            with Pop3Client(self.port) as c:
                c.greeting()
                c.single("QUIT")
            self.assertIsNone(q.wait(1))

    def test_second_instance_reports_the_port_and_exits(self):
        with Quillo(self.app, port=self.port) as first:
            second_app = AppDir()
            try:
                second_app.write("Quillo.xml", settings_xml(port=self.port))
                second = Quillo(second_app, port=None)
                self.assertEqual(second.wait(10), 1)
                err = second.stderr()
                self.assertIn(BIND_FAILURE % self.port, err)
                self.assertIn("Quilloがすでに起動しているか", err)
                second.stop()
            finally:
                second_app.cleanup()
            self.assertTrue(first.running())
            with Pop3Client(self.port) as c:
                self.assertEqual(c.greeting(), b"+OK QUILLO WELCOME\r\n")

    def test_bind_failure_is_shown_even_with_message_boxes_disabled(self):
        with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as taken:
            taken.bind(("127.0.0.1", self.port))
            taken.listen(1)
            self.app.write("Quillo.xml", settings_xml(port=self.port, disable_messagebox=True))
            q = Quillo(self.app, port=None)
            self.assertEqual(q.wait(10), 1)
        self.assertIn(BIND_FAILURE % self.port, q.stderr())
        q.stop()

    def test_sigterm_ends_the_process_with_a_client_connected(self):
        q = Quillo(self.app, port=self.port)
        with Pop3Client(self.port) as c:
            c.greeting()
            start = time.monotonic()
            q.process.send_signal(signal.SIGTERM)
            self.assertEqual(q.wait(10), 0)
            self.assertLess(time.monotonic() - start, 10)
        q.stop()

    def test_sigterm_in_the_middle_of_a_refresh_ends_the_process(self):
        # The feed server never answers, so the refresh would run until its transfer
        # limits; the exit command must abort it, both while a session waits for the
        # refresh before its greeting and after the greeting went out.
        for greeting_deadline in (60, 1):
            with self.subTest(greeting_deadline=greeting_deadline):
                silent = SilentFeedServer()
                try:
                    self.app.write("Quillo.xml", settings_xml(
                        port=self.port, feeds=[silent.url("/never.xml")],
                        extra=" <settings><greeting-deadline>%d</greeting-deadline></settings>\n"
                        % greeting_deadline))
                    with Quillo(self.app, port=self.port) as q, Pop3Client(self.port) as c:
                        self.assertTrue(wait_for(lambda: silent.held))
                        if greeting_deadline == 1:
                            self.assertEqual(c.greeting(), b"+OK QUILLO WELCOME\r\n")
                        start = time.monotonic()
                        q.process.send_signal(signal.SIGTERM)
                        # Generous: only a hang fails this.
                        code = q.wait(20)
                        print("SIGTERM mid-refresh: exit after %.2f s" % (time.monotonic() - start))
                        self.assertEqual(code, 0)
                    # A reply is held in memory: an aborted refresh leaves no file behind.
                    self.assertEqual(self.part_files(), [])
                finally:
                    silent.stop()

    def part_files(self):
        return glob.glob(os.path.join(self.app.path, "data", "*", "*.part"))

    def test_sigint_ends_an_idle_process(self):
        q = Quillo(self.app, port=self.port)
        q.process.send_signal(signal.SIGINT)
        self.assertEqual(q.wait(10), 0)
        q.stop()

    def test_restart_right_after_exit_binds_again(self):
        q = Quillo(self.app, port=self.port)
        with Pop3Client(self.port) as c:
            c.greeting()
            c.single("QUIT")
        self.assertEqual(q.terminate(), 0)
        q.stop()
        with Quillo(self.app, port=self.port):
            with Pop3Client(self.port) as c:
                self.assertEqual(c.greeting(), b"+OK QUILLO WELCOME\r\n")

    def test_listens_on_loopback_only_by_default(self):
        with Quillo(self.app, port=self.port):
            wanted = "0100007F:%04X" % self.port
            with open("/proc/net/tcp") as f:
                rows = [line.split() for line in f][1:]
            local = [r[1] for r in rows if r[3] == "0A" and r[1].endswith(":%04X" % self.port)]
            self.assertEqual(local, [wanted])

    def test_listen_address_opens_every_interface(self):
        self.app.write("Quillo.xml", settings_xml(port=self.port, listen_address="0.0.0.0"))
        with Quillo(self.app, port=self.port):
            with open("/proc/net/tcp") as f:
                rows = [line.split() for line in f][1:]
            local = [r[1] for r in rows if r[3] == "0A" and r[1].endswith(":%04X" % self.port)]
            self.assertEqual(local, ["00000000:%04X" % self.port])
            with Pop3Client(self.port) as c:
                self.assertEqual(c.greeting(), b"+OK QUILLO WELCOME\r\n")

    def test_trace_lines_only_with_quillo_trace(self):
        with Quillo(self.app, port=self.port, args=["-once"]) as q:
            with Pop3Client(self.port) as c:
                c.greeting()
                c.single("QUIT")
            q.wait(10)
        self.assertNotIn("argArray", q.stderr())
        with Quillo(self.app, port=self.port, args=["-once"], env={"QUILLO_TRACE": "1"}) as q:
            with Pop3Client(self.port) as c:
                c.greeting()
                c.single("QUIT")
            q.wait(10)
        self.assertIn("argArray[0]: -once", q.stderr())


if __name__ == "__main__":
    unittest.main()
