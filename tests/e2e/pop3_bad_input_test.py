"""Hostile and broken clients: the server stays up and serves the next one correctly."""

import os
import random
import socket
import threading
import time
import unittest

from quillo_harness import AppDir, Pop3Client, Quillo, free_port, settings_xml


class BadInput(unittest.TestCase):
    def setUp(self):
        self.app = AppDir()
        self.port = free_port()
        self.app.write("Quillo.xml", settings_xml(port=self.port))
        self.quillo = Quillo(self.app, port=self.port)

    def tearDown(self):
        self.quillo.stop()
        self.app.cleanup()

    def assert_still_serving(self):
        self.assertTrue(self.quillo.running())
        with Pop3Client(self.port, timeout=20) as c:
            self.assertEqual(c.greeting(), b"+OK QUILLO WELCOME\r\n")
            self.assertEqual(c.login(), b"+OK\r\n")
            self.assertEqual(c.single("STAT"), b"+OK 0 0\r\n")
            self.assertEqual(c.single("QUIT"), b"+OK\r\n")

    def test_random_bytes(self):
        rng = random.Random(1939)
        for _ in range(5):
            with Pop3Client(self.port) as c:
                c.greeting()
                self.assertEqual(c.login(), b"+OK\r\n")
                c.send(bytes(rng.randrange(256) for _ in range(rng.randrange(1, 20000))))
                c.send(b"\r\nNOOP\r\n")
                # Whatever came before, the NOOP line gets its own reply at the end.
                deadline = time.monotonic() + 10
                while not c.buffer.endswith(b"+OK\r\n") and time.monotonic() < deadline:
                    chunk = c.sock.recv(65536)
                    if not chunk:
                        break
                    c.buffer += chunk
                self.assertTrue(c.buffer.endswith(b"+OK\r\n"), c.buffer[-200:])
        self.assert_still_serving()

    def test_nul_bytes(self):
        with Pop3Client(self.port) as c:
            c.greeting()
            self.assertEqual(c.login(), b"+OK\r\n")
            self.assertEqual(c.single(b"\0\0\0\r\n"), b"-ERR unknown command\r\n")
            self.assertEqual(c.single(b"STAT\0garbage\r\n"), b"+OK 0 0\r\n")
            c.send(b"\0" * 5000)
            self.assertEqual(c.read_line(), b"-ERR line too long\r\n")
            # The CR LF ends the dropped line; NOOP is the next command.
            self.assertEqual(c.single(b"\r\nNOOP\r\n"), b"+OK\r\n")
            self.assertEqual(c.single("NOOP"), b"+OK\r\n")
        self.assert_still_serving()

    def test_one_megabyte_line(self):
        with Pop3Client(self.port) as c:
            c.greeting()
            self.assertEqual(c.login(), b"+OK\r\n")
            c.send(b"LIST " + b"9" * (1 << 20) + b"\r\nNOOP\r\n")
            self.assertEqual(c.read_line(), b"-ERR line too long\r\n")
            self.assertEqual(c.read_line(), b"+OK\r\n")
        self.assert_still_serving()

    def test_disconnect_in_the_middle_of_a_command(self):
        for partial in (b"ST", b"RETR 1", b"TOP 1 ", b"QUI", b"DELE 1\r"):
            with Pop3Client(self.port) as c:
                c.greeting()
                c.send(partial)
            with Pop3Client(self.port) as c:
                c.greeting()
                c.send(partial)
                c.sock.shutdown(socket.SHUT_WR)
        self.assert_still_serving()

    def test_client_resetting_the_connection(self):
        for _ in range(3):
            s = socket.create_connection(("127.0.0.1", self.port))
            s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
            s.send(b"STAT\r\nLIST\r\n")
            s.close()
        self.assert_still_serving()

    def test_client_that_never_reads_its_replies(self):
        with Pop3Client(self.port) as c:
            c.greeting()
            c.send(b"CAPA\r\n" * 20000)
            time.sleep(0.5)
        self.assert_still_serving()

    def test_six_clients_at_once_are_all_served(self):
        results = []
        lock = threading.Lock()

        def one_client(i):
            try:
                with Pop3Client(self.port, timeout=60) as c:
                    greeting = c.greeting()
                    # One of them holds the mailbox; every one is answered.
                    user = c.single("USER me")
                    quit_reply = c.single("QUIT")
                with lock:
                    results.append((greeting, user, quit_reply))
            except Exception as e:  # noqa: BLE001 - reported through the results
                with lock:
                    results.append(("error", repr(e), i))

        threads = [threading.Thread(target=one_client, args=(i,)) for i in range(6)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(90)
        self.assertEqual(len(results), 6)
        for r in results:
            self.assertEqual(r, (b"+OK QUILLO WELCOME\r\n", b"+OK Password required\r\n", b"+OK\r\n"))
        self.assert_still_serving()

    def test_unknown_commands_get_an_error(self):
        with Pop3Client(self.port) as c:
            c.greeting()
            for line in ("USERX", "AUTH PLAIN", "XTND", ""):
                self.assertEqual(c.single(line), b"-ERR unknown command\r\n", line)
            self.assertEqual(c.single("user me"), b"+OK Password required\r\n")
        self.assert_still_serving()


if __name__ == "__main__":
    unittest.main()
