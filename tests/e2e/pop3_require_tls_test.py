"""require-tls against the real Quillo from an address outside loopback. The test runs
in a network namespace of its own (unshare -n, as the README examples test does) whose
loopback device also carries 192.0.2.1 (TEST-NET-1): a client that connects there is
seen by Quillo as 192.0.2.1, not loopback, and nothing leaves the namespace.

With a certificate and require-tls auto (the default), USER, PASS and APOP from that
address are refused before STLS and CAPA lists no USER; after STLS (Python's poplib)
the login works. From 127.0.0.1 a plain login still works; with require-tls never a
plain login works from anywhere."""

import json
import os
import poplib
import shutil
import ssl
import subprocess
import sys
import tempfile
import unittest

OUTSIDE = "192.0.2.1"
PASSWORD = "pw"
REQUIRED = b"-ERR [AUTH] TLS required: send STLS first"


def unshare_command():
    """unshare for a private network namespace, or None where the system offers none."""
    if not shutil.which("unshare") or not shutil.which("ip"):
        return None
    command = ["unshare", "-n"] if os.geteuid() == 0 else ["unshare", "-rn"]
    if subprocess.run(command + ["true"], capture_output=True).returncode != 0:
        return None
    return command


def inside_namespace():
    """Runs in the private namespace: loopback up with the outside address, then the checks;
    prints one JSON line of what each client saw."""
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    subprocess.run(["ip", "addr", "add", OUTSIDE + "/32", "dev", "lo"], check=True)
    from http_server import make_test_ca
    from quillo_harness import AppDir, Pop3Client, Quillo, free_port, settings_xml

    certs = tempfile.mkdtemp(prefix="quillo-require-tls-")
    ca, cert, key = make_test_ca(certs)
    seen = {}
    try:
        for rule in ("auto", "never"):
            app = AppDir()
            port = free_port()
            shutil.copy(cert, os.path.join(app.path, "server.pem"))
            shutil.copy(key, os.path.join(app.path, "server.key"))
            app.write("Quillo.xml", settings_xml(
                port=port, listen_address="0.0.0.0", password=PASSWORD,
                extra="<settings><tls-certificate>server.pem</tls-certificate><tls-key>server.key</tls-key>"
                      "<tls-port>%d</tls-port>%s</settings>\n" % (
                          free_port(), "" if rule == "auto" else "<require-tls>never</require-tls>")))
            try:
                with Quillo(app, port=port):
                    for host in (OUTSIDE, "127.0.0.1"):
                        with Pop3Client(port, host=host) as c:
                            greeting = c.greeting()
                            capa = c.multi("CAPA")
                            user = c.single("USER me")
                            password = c.single("PASS " + PASSWORD)
                            apop = c.single("APOP me 00000000000000000000000000000000")
                            c.single("QUIT")
                        # A real client that starts TLS first.
                        box = poplib.POP3(host, port, timeout=30)
                        context = ssl.create_default_context(cafile=ca)
                        context.check_hostname = False
                        box.stls(context)
                        tls_capa = box.capa()
                        box.user("me")
                        tls_login = box.pass_(PASSWORD)
                        box.quit()
                        seen["%s %s" % (rule, host)] = {
                            "greeting": greeting.decode(), "capa": capa.decode(), "user": user.decode(),
                            "pass": password.decode(), "apop": apop.decode(),
                            "tls_capa": sorted(tls_capa), "tls_login": tls_login.decode()}
            finally:
                app.cleanup()
    finally:
        shutil.rmtree(certs, ignore_errors=True)
    print(json.dumps(seen))


class RequireTls(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.unshare = unshare_command()
        if cls.unshare is None:
            raise unittest.SkipTest("needs a network namespace of its own (unshare -n and ip from iproute2)")

    def test_a_plain_login_from_outside_loopback_waits_for_stls(self):
        run = subprocess.run(self.unshare + [sys.executable, os.path.abspath(__file__), "--inside"],
                             capture_output=True, timeout=240)
        self.assertEqual(run.returncode, 0, run.stderr.decode("utf-8", "replace"))
        seen = json.loads(run.stdout.decode("utf-8").strip().splitlines()[-1])
        report = json.dumps(seen, indent=1)
        outside = seen["auto " + OUTSIDE]
        self.assertNotIn("USER", outside["capa"].split("\r\n"), report)
        self.assertIn("STLS", outside["capa"].split("\r\n"), report)
        for command in ("user", "pass", "apop"):
            self.assertEqual(outside[command], REQUIRED.decode() + "\r\n", report)
        self.assertIn("USER", outside["tls_capa"], report)
        self.assertNotIn("STLS", outside["tls_capa"], report)
        self.assertEqual(outside["tls_login"], "+OK", report)
        # Loopback, and require-tls never from anywhere: a plain login.
        for key in ("auto 127.0.0.1", "never " + OUTSIDE, "never 127.0.0.1"):
            self.assertIn("\r\nUSER\r\n", seen[key]["capa"], key + "\n" + report)
            self.assertEqual(seen[key]["user"], "+OK Password required\r\n", key + "\n" + report)
            self.assertEqual(seen[key]["pass"], "+OK\r\n", key + "\n" + report)
            self.assertEqual(seen[key]["tls_login"], "+OK", key + "\n" + report)


if __name__ == "__main__":
    if len(sys.argv) == 2 and sys.argv[1] == "--inside":
        inside_namespace()
    else:
        unittest.main()
