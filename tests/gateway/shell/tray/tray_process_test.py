"""The real Quillo on an X display (run under xvfb-run): the Qt loop stands for the
message loop, and the exit paths end the process as they do headless."""

import glob
import os
import signal
import time
import unittest

from quillo_harness import AppDir, Pop3Client, Quillo, free_port, settings_xml


def thread_names(pid):
    names = []
    for path in glob.glob("/proc/%d/task/*/comm" % pid):
        try:
            with open(path) as f:
                names.append(f.read().strip())
        except OSError:
            pass
    return names


def wait_for(predicate, timeout=10):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.05)
    return predicate()


@unittest.skipUnless(os.environ.get("DISPLAY"), "needs an X display (xvfb-run)")
class OnADisplay(unittest.TestCase):
    def setUp(self):
        self.app = AppDir()
        self.port = free_port()
        self.display = {"DISPLAY": os.environ["DISPLAY"]}

    def tearDown(self):
        self.app.cleanup()

    def start(self, args=(), env=None, **settings):
        self.app.write("Quillo.xml", settings_xml(port=self.port, **settings))
        return Quillo(self.app, args=args, env=env or self.display, port=self.port)

    def test_runs_the_qt_loop_when_a_display_answers(self):
        with self.start(disable_trayicon=False) as q:
            self.assertTrue(wait_for(lambda: "QXcbEventQueue" in thread_names(q.process.pid)),
                            thread_names(q.process.pid))

    def test_sigterm_ends_the_process_within_ten_seconds_while_a_client_is_connected(self):
        with self.start(disable_trayicon=False) as q:
            with Pop3Client(self.port) as c:
                self.assertEqual(c.greeting(), b"+OK QUILLO WELCOME\r\n")
                started = time.monotonic()
                q.process.send_signal(signal.SIGTERM)
                self.assertEqual(q.wait(10), 0)
                self.assertLess(time.monotonic() - started, 10)
                self.assertTrue(c.closed_by_peer())

    def test_sigint_is_the_exit_command_too(self):
        with self.start() as q:
            q.process.send_signal(signal.SIGINT)
            self.assertEqual(q.wait(10), 0)

    def test_once_mode_closes_the_qt_loop_after_quit(self):
        with self.start(args=["-once"], disable_trayicon=False) as q:
            with Pop3Client(self.port) as c:
                c.greeting()
                self.assertEqual(c.single("QUIT"), b"+OK\r\n")
            self.assertEqual(q.wait(10), 0)

    def test_settings_it_cannot_use_end_the_qt_loop_with_status_1(self):
        # Boxes disabled, so nothing waits for a click; the failure must still reach the
        # exit status through the Qt loop.
        self.app.write("Quillo.xml", "<quillo><settings><port>0</port>"
                       "<disable-messagebox>true</disable-messagebox></settings></quillo>")
        q = Quillo(self.app, env=self.display, port=None)
        code = q.wait(30)
        q.stop()
        self.assertEqual(code, 1, q.stderr())
        self.assertIn('the port "0" is not a number from 1 to 65535', q.stderr())

    def test_a_display_that_does_not_answer_means_headless(self):
        for env in ({"DISPLAY": ":987"}, {"DISPLAY": ":987", "QT_QPA_PLATFORM": "xcb"}):
            with self.subTest(env=env):
                self.headless_on(env)

    def headless_on(self, env):
        with self.start(env=env) as q:
            self.assertNotIn("QXcbEventQueue", thread_names(q.process.pid))
            with Pop3Client(self.port) as c:
                self.assertEqual(c.greeting(), b"+OK QUILLO WELCOME\r\n")
            q.process.send_signal(signal.SIGTERM)
            self.assertEqual(q.wait(10), 0)


if __name__ == "__main__":
    unittest.main()
