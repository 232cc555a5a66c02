#!/usr/bin/env python3
"""Loopback HTTP server for the editor's network tests.

Prints "PORT <n>" once listening on 127.0.0.1, then serves until killed:
  /opml/basic.opml        OPML with a folder and two feeds
  /opml/empty.opml        OPML whose body holds no outline
  /feed/rss2.xml          RSS 2.0 feed with title, link and description
  /feed/no-description.xml  RSS 2.0 feed without a channel description
  /page/with-link.html    web page naming /feed/rss2.xml by a relative link
  /page/no-link.html      web page naming no feed
  /redirect               302 to /opml/basic.opml
  /status/<code>          answers with that status
  /slow                   waits 5 s before answering
  /echo                   the request headers as the body
  /cookie/set, /cookie/check  sets a cookie; tells whether it came back
  /data/<path>            a file of the tests' own data folder (--data)
  /app/search.opml        fake search service: OPML naming the query
  /app/discover.xml       fake discovery service: apikey KEY finds the feed
  /__log                  the request lines received so far
"""
import argparse
import http.server
import os
import sys
import threading
import time
import urllib.parse

LOG = []
LOG_LOCK = threading.Lock()
DATA = None

BASIC_OPML = """<?xml version="1.0" encoding="UTF-8"?>
<opml version="1.0">
\t<head>
\t\t<title>Loopback list</title>
\t\t<ownerName>Tester</ownerName>
\t</head>
\t<body>
\t\t<outline text="Folder A">
\t\t\t<outline text="Feed One" type="rss" xmlUrl="http://127.0.0.1/one.xml" description="first" htmlUrl="http://127.0.0.1/one" title="Feed One" />
\t\t</outline>
\t\t<outline text="Feed Two" type="rss" xmlUrl="http://127.0.0.1/two.xml" description="second" htmlUrl="http://127.0.0.1/two" title="Feed Two" />
\t</body>
</opml>
"""

EMPTY_OPML = """<?xml version="1.0" encoding="UTF-8"?>
<opml version="1.0"><head><title>Nothing</title></head><body></body></opml>
"""

RSS2 = """<?xml version="1.0" encoding="UTF-8"?>
<rss version="2.0"><channel>
<title>ループバック日記</title>
<link>http://127.0.0.1/diary/</link>
<description>毎日のこと</description>
<item><title>Item title</title><link>http://127.0.0.1/diary/1</link><description>item text</description></item>
</channel></rss>
"""

RSS2_NO_DESCRIPTION = """<?xml version="1.0" encoding="UTF-8"?>
<rss version="2.0"><channel>
<title>No description feed</title>
<link>http://127.0.0.1/nodesc/</link>
</channel></rss>
"""

PAGE_WITH_LINK = """<!DOCTYPE html>
<html><head><title>Diary</title>
<link rel="stylesheet" href="/style.css">
<link rel="alternate" type="application/rss+xml" title="RSS" href="../feed/rss2.xml">
</head><body>hello</body></html>
"""

PAGE_NO_LINK = """<!DOCTYPE html>
<html><head><title>Plain</title></head><body>no feed here</body></html>
"""


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def send(self, status, body=b"", ctype="text/xml; charset=utf-8", headers=None):
        if isinstance(body, str):
            body = body.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        for k, v in (headers or {}).items():
            self.send_header(k, v)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def do_HEAD(self):
        self.do_GET()

    def do_GET(self):
        with LOG_LOCK:
            LOG.append(f"{self.command} {self.path}")
        parsed = urllib.parse.urlsplit(self.path)
        path = parsed.path
        port = self.server.server_address[1]
        if path == "/__log":
            with LOG_LOCK:
                return self.send(200, "\n".join(LOG), "text/plain")
        if path == "/opml/basic.opml":
            return self.send(200, BASIC_OPML)
        if path == "/opml/empty.opml":
            return self.send(200, EMPTY_OPML)
        if path == "/feed/rss2.xml":
            return self.send(200, RSS2)
        if path == "/feed/no-description.xml":
            return self.send(200, RSS2_NO_DESCRIPTION)
        if path == "/page/with-link.html":
            return self.send(200, PAGE_WITH_LINK, "text/html")
        if path == "/page/no-link.html":
            return self.send(200, PAGE_NO_LINK, "text/html")
        if path == "/redirect":
            return self.send(302, "moved", "text/plain", {"Location": "/opml/basic.opml"})
        if path.startswith("/status/"):
            return self.send(int(path.split("/")[2]), "status body", "text/plain")
        if path == "/slow":
            time.sleep(5)
            return self.send(200, BASIC_OPML)
        if path == "/echo":
            return self.send(200, str(self.headers), "text/plain")
        if path == "/cookie/set":
            return self.send(200, "set", "text/plain", {"Set-Cookie": "sid=abc123; Path=/"})
        if path == "/cookie/check":
            return self.send(200, self.headers.get("Cookie", "none"), "text/plain")
        if path.startswith("/data/") and DATA:
            rel = urllib.parse.unquote(path[len("/data/"):])
            full = os.path.realpath(os.path.join(DATA, rel))
            if full.startswith(os.path.realpath(DATA)) and os.path.isfile(full):
                with open(full, "rb") as f:
                    return self.send(200, f.read())
            return self.send(404, "not found", "text/plain")
        if path == "/app/search.opml":
            query = parsed.query
            return self.send(200, f"""<?xml version="1.0" encoding="UTF-8"?>
<opml version="1.0"><head><title>search</title></head><body>
<outline title="Result for {query.replace('&', '&amp;').replace('"', '&quot;')}" text="r" type="rss" xmlUrl="http://127.0.0.1:{port}/feed/rss2.xml" />
</body></opml>
""")
        if path == "/app/discover.xml":
            if "apikey=KEY" in parsed.query:
                return self.send(200, f"<result><SUCCESS>http://127.0.0.1:{port}/feed/rss2.xml</SUCCESS></result>")
            return self.send(200, "<result><error>invalid key</error></result>")
        return self.send(404, "not found", "text/plain")


def main():
    global DATA
    parser = argparse.ArgumentParser()
    parser.add_argument("--data", default=None)
    args = parser.parse_args()
    DATA = args.data
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print(f"PORT {server.server_address[1]}", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
