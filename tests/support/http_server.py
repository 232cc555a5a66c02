"""A controllable HTTP server on loopback for feed download tests.

Each path gets its own reply: status and reason, headers, body, a delay, a redirect,
chunked transfer, gzip, or a cut-off after some body bytes. Requests are recorded in
arrival order. With a certificate the server speaks https; make_test_ca() makes a test
CA and a server certificate for 127.0.0.1 with the openssl command at test time.

As a program it serves one body for every path (for tests in other languages):
    http_server.py --body FILE --port-file FILE [--tls-dir DIR]
and `http_server.py --make-ca DIR` writes ca.pem, server.pem and server.key to DIR.
Only loopback addresses are ever bound.
"""

import argparse
import gzip
import http.server
import os
import socket
import ssl
import subprocess
import sys
import threading
import time

LOOPBACK = "127.0.0.1"


class Route:
    def __init__(self, status=200, reason=None, headers=None, body=b"", delay=0.0,
                 redirect=None, chunked=False, gzip_body=False, cut_after=None,
                 conditional=True):
        self.status = status
        self.reason = reason
        self.headers = list((headers or {}).items()) if isinstance(headers, dict) else list(headers or [])
        self.body = body.encode("utf-8") if isinstance(body, str) else body
        self.delay = delay
        self.redirect = redirect
        self.chunked = chunked
        self.gzip_body = gzip_body
        self.cut_after = cut_after
        # With a Last-Modified header, a request that sends it back gets 304.
        self.conditional = conditional


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        server = self.server.owner
        server._record(self)
        route = server._route(self.path)
        if route.delay:
            time.sleep(route.delay)
        last_modified = dict((k.lower(), v) for k, v in route.headers).get("last-modified")
        if (route.conditional and last_modified is not None
                and self.headers.get("If-Modified-Since") == last_modified):
            self.send_response_only(304, "Not Modified")
            self.send_header("Last-Modified", last_modified)
            self.end_headers()
            return
        status = route.status
        headers = list(route.headers)
        body = route.body
        if route.redirect is not None:
            status = status if 300 <= status < 400 else 302
            headers.append(("Location", route.redirect))
            body = b""
        if route.gzip_body:
            body = gzip.compress(body)
            headers.append(("Content-Encoding", "gzip"))
        self.send_response_only(status, route.reason)
        for name, value in headers:
            self.send_header(name, value)
        if status in (204, 304):
            self.end_headers()
            return
        if route.chunked:
            self.send_header("Transfer-Encoding", "chunked")
        else:
            self.send_header("Content-Length", str(len(body)))
        if route.cut_after is not None:
            self.send_header("Connection", "close")
        self.end_headers()
        data = body if route.cut_after is None else body[:route.cut_after]
        try:
            if route.chunked:
                for i in range(0, len(data), 1000):
                    piece = data[i:i + 1000]
                    self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
                if route.cut_after is None:
                    self.wfile.write(b"0\r\n\r\n")
            else:
                self.wfile.write(data)
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            pass
        if route.cut_after is not None:
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


class HttpServer:
    """server = HttpServer(); server.route("/feed.xml", body=...); server.url("/feed.xml")."""

    def __init__(self, host=LOOPBACK, certfile=None, keyfile=None):
        if not host.startswith("127.") and host != "::1":
            raise ValueError("tests serve on loopback only")
        self._routes = {}
        self._default = Route(status=404, reason="Not Found", body=b"not found")
        self._lock = threading.Lock()
        self.requests = []
        self._httpd = _Server((host, 0), _Handler)
        self._httpd.owner = self
        self.scheme = "http"
        if certfile:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(certfile, keyfile)
            self._httpd.socket = context.wrap_socket(self._httpd.socket, server_side=True)
            self.scheme = "https"
        self.host = host
        self.port = self._httpd.server_address[1]
        self._thread = threading.Thread(target=self._httpd.serve_forever, daemon=True)
        self._thread.start()

    def route(self, path, **reply):
        with self._lock:
            self._routes[path] = Route(**reply)

    def default(self, **reply):
        with self._lock:
            self._default = Route(**reply)

    def url(self, path):
        return "%s://%s:%d%s" % (self.scheme, self.host, self.port, path)

    def requests_for(self, path):
        with self._lock:
            return [r for r in self.requests if r["path"] == path]

    def _route(self, path):
        with self._lock:
            return self._routes.get(path, self._default)

    def _record(self, handler):
        with self._lock:
            self.requests.append({"method": handler.command, "path": handler.path,
                                  "headers": {k.lower(): v for k, v in handler.headers.items()}})

    def stop(self):
        self._httpd.shutdown()
        self._httpd.server_close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def make_test_ca(directory):
    """A test CA and a server certificate for 127.0.0.1 and localhost, made by openssl."""
    os.makedirs(directory, exist_ok=True)
    ca_key = os.path.join(directory, "ca.key")
    ca = os.path.join(directory, "ca.pem")
    key = os.path.join(directory, "server.key")
    csr = os.path.join(directory, "server.csr")
    cert = os.path.join(directory, "server.pem")
    ext = os.path.join(directory, "server.ext")
    with open(ext, "w") as f:
        f.write("subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n"
                "keyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n")

    def run(*args):
        subprocess.run(["openssl"] + list(args), check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    run("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", ca_key, "-out", ca,
        "-days", "2", "-subj", "/CN=Quillo Test CA")
    run("req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key, "-out", csr, "-subj", "/CN=127.0.0.1")
    run("x509", "-req", "-in", csr, "-CA", ca, "-CAkey", ca_key, "-CAcreateserial", "-out", cert,
        "-days", "2", "-extfile", ext)
    return ca, cert, key


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--make-ca")
    parser.add_argument("--body")
    parser.add_argument("--port-file")
    parser.add_argument("--tls-dir")
    args = parser.parse_args()
    if args.make_ca:
        make_test_ca(args.make_ca)
        return 0
    cert = key = None
    if args.tls_dir:
        cert = os.path.join(args.tls_dir, "server.pem")
        key = os.path.join(args.tls_dir, "server.key")
    server = HttpServer(certfile=cert, keyfile=key)
    with open(args.body, "rb") as f:
        server.default(body=f.read(), headers={"Last-Modified": "Sat, 01 Jan 2005 00:00:00 GMT"})
    with open(args.port_file + ".tmp", "w") as f:
        f.write(str(server.port))
    os.rename(args.port_file + ".tmp", args.port_file)
    try:
        # Ends when the test closes our standard input (or kills us).
        sys.stdin.read()
    finally:
        server.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
