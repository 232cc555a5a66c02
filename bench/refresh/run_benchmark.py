#!/usr/bin/env python3
"""Refresh benchmark: how long a mail client waits for Quillo's greeting.

A local HTTP server (asyncio, HTTP/1.1 keep-alive, one process of its own) serves
generated RSS 2.0 feeds of 20 items each from several loopback addresses
(127.0.0.1 ... 127.0.0.N) and delays every reply by a fixed time (200 ms by default).
For each feed count the script

  * starts a copy of Quillo in a fresh application directory with all feeds in its
    Quillo.xml, connects twice (cold: every feed answers 200; warm: the conditional
    GETs answer 304) and measures the time from TCP connect to the POP3 greeting and
    the peak resident memory of the process (VmHWM);
  * runs rss2email on the same feeds in the same run (email-protocol = sendmail,
    sendmail = /bin/true, its own configuration and data file): the wall time and peak
    memory of a first and a second `r2e run`.

Only loopback addresses are ever contacted. This is a benchmark, not a test: it prints
a table and checks the targets, it does not fail a build.
"""

from __future__ import annotations

import argparse
import asyncio
import email.utils
import gzip
import hashlib
import os
import re
import shutil
import signal
import socket
import stat
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
ITEMS_PER_FEED = 20
FIXED_TIME = 1_700_000_000  # every document carries the same dates, so runs compare


# --------------------------------------------------------------------------- feeds

def feed_path(index: int) -> str:
    return f"/feed/{index}.xml"


def feed_document(index: int, host: str, port: int) -> bytes:
    base = f"http://{host}:{port}"
    items = []
    for j in range(ITEMS_PER_FEED):
        date = email.utils.formatdate(FIXED_TIME - 3600 * j, usegmt=True)
        items.append(
            "  <item>\n"
            f"   <title>Feed {index} item {j}: 更新のお知らせ</title>\n"
            f"   <link>{base}/feed/{index}/item/{j}.html</link>\n"
            f"   <guid isPermaLink=\"false\">bench-{index}-{j}</guid>\n"
            f"   <pubDate>{date}</pubDate>\n"
            "   <description><![CDATA[<p>This is item "
            f"{j} of feed {index}. 本文のテキストです。"
            + "Lorem ipsum dolor sit amet, consectetur adipiscing elit. " * 4
            + "</p>]]></description>\n"
            "  </item>\n")
    return (
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<rss version=\"2.0\">\n"
        " <channel>\n"
        f"  <title>Benchmark feed {index}</title>\n"
        f"  <link>{base}/feed/{index}/</link>\n"
        "  <description>Generated for the refresh benchmark</description>\n"
        + "".join(items)
        + " </channel>\n</rss>\n").encode("utf-8")


# -------------------------------------------------------------------------- server

class FeedServer:
    """Keeps every generated document (plain and gzip) and answers GETs after a delay."""

    def __init__(self, port: int, delay: float):
        self.port = port
        self.delay = delay
        self.cache: dict[tuple[str, int], tuple[bytes, bytes, str]] = {}
        self.last_modified = email.utils.formatdate(FIXED_TIME, usegmt=True)
        self.requests = 0
        self.not_modified = 0
        self.active = 0
        self.peak_active = 0

    def document(self, host: str, index: int) -> tuple[bytes, bytes, str]:
        key = (host, index)
        entry = self.cache.get(key)
        if entry is None:
            body = feed_document(index, host, self.port)
            etag = '"' + hashlib.sha1(body).hexdigest()[:16] + '"'
            entry = (body, gzip.compress(body, 6), etag)
            self.cache[key] = entry
        return entry

    async def handle(self, reader: asyncio.StreamReader, writer: asyncio.StreamWriter):
        host = writer.get_extra_info("sockname")[0]
        try:
            while True:
                request = await reader.readuntil(b"\r\n\r\n")
                keep_alive = await self.answer(host, request, writer)
                await writer.drain()
                if not keep_alive:
                    break
        except (asyncio.IncompleteReadError, ConnectionError, asyncio.LimitOverrunError):
            pass
        finally:
            writer.close()

    async def answer(self, host: str, request: bytes, writer: asyncio.StreamWriter) -> bool:
        lines = request.decode("latin-1").split("\r\n")
        method, target, version = (lines[0].split(" ") + ["", "", ""])[:3]
        headers = {}
        for line in lines[1:]:
            if ":" in line:
                name, value = line.split(":", 1)
                headers[name.strip().lower()] = value.strip()
        keep_alive = version == "HTTP/1.1" and headers.get("connection", "").lower() != "close"

        self.requests += 1
        self.active += 1
        self.peak_active = max(self.peak_active, self.active)
        try:
            await asyncio.sleep(self.delay)
        finally:
            self.active -= 1

        match = re.fullmatch(r"/feed/(\d+)\.xml", target)
        if method != "GET" or not match:
            body = b"not found\n"
            writer.write(b"HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\n"
                         b"Content-Length: %d\r\n\r\n%s" % (len(body), body))
            return keep_alive
        plain, packed, etag = self.document(host, int(match.group(1)))
        common = (f"ETag: {etag}\r\nLast-Modified: {self.last_modified}\r\n"
                  "Content-Type: application/rss+xml; charset=UTF-8\r\n")
        if (headers.get("if-none-match") == etag
                or headers.get("if-modified-since") == self.last_modified):
            self.not_modified += 1
            writer.write(("HTTP/1.1 304 Not Modified\r\n" + common + "\r\n").encode())
            return keep_alive
        body, coding = plain, ""
        if "gzip" in headers.get("accept-encoding", ""):
            body, coding = packed, "Content-Encoding: gzip\r\n"
        writer.write((f"HTTP/1.1 200 OK\r\n{common}{coding}Content-Length: {len(body)}\r\n"
                      "\r\n").encode() + body)
        return keep_alive


async def serve(hosts: list[str], port: int, delay: float, feeds: int) -> None:
    server = FeedServer(port, delay)
    # Every document is made before the first request, so the server's own work never
    # adds to the times measured.
    for index in range(feeds):
        server.document(hosts[index % len(hosts)], index)
    servers = [await asyncio.start_server(server.handle, host, port, backlog=4096,
                                          reuse_address=True) for host in hosts]
    print("ready", flush=True)
    loop = asyncio.get_running_loop()
    stop = loop.create_future()
    loop.add_signal_handler(signal.SIGTERM, stop.set_result, None)

    # "stats" on standard input prints the counters since the last "stats" and resets them.
    async def control():
        reader = asyncio.StreamReader()
        await loop.connect_read_pipe(lambda: asyncio.StreamReaderProtocol(reader), sys.stdin)
        while not stop.done():
            line = await reader.readline()
            if not line:
                break
            print(f"stats {server.requests} {server.not_modified} {server.peak_active}",
                  flush=True)
            server.requests = server.not_modified = server.peak_active = 0

    task = (asyncio.create_task(control())
            if stat.S_ISFIFO(os.fstat(0).st_mode) else None)
    await stop
    if task:
        task.cancel()
    for s in servers:
        s.close()


class ServerProcess:
    def __init__(self, hosts: list[str], delay: float, feeds: int):
        self.port = free_port(hosts)
        self.hosts = hosts
        self.process = subprocess.Popen(
            [sys.executable, __file__, "--serve", ",".join(hosts), str(self.port), str(delay),
             str(feeds)],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        if self.process.stdout.readline().strip() != "ready":
            raise SystemExit("the feed server did not start")

    def url(self, index: int) -> str:
        return f"http://{self.hosts[index % len(self.hosts)]}:{self.port}{feed_path(index)}"

    def stats(self) -> tuple[int, int, int]:
        self.process.stdin.write("stats\n")
        self.process.stdin.flush()
        _, requests, not_modified, peak = self.process.stdout.readline().split()
        return int(requests), int(not_modified), int(peak)

    def stop(self) -> None:
        self.process.terminate()
        self.process.wait(timeout=10)


def free_port(hosts: list[str]) -> int:
    for _ in range(50):
        probe = socket.socket()
        probe.bind((hosts[0], 0))
        port = probe.getsockname()[1]
        probe.close()
        try:
            for host in hosts:
                with socket.socket() as s:
                    s.bind((host, port))
            return port
        except OSError:
            continue
    raise SystemExit("no free port on the loopback addresses")


# --------------------------------------------------------------------------- Quillo

def default_quillo() -> Path | None:
    for build in ("build", "build-fast"):
        candidate = REPO / build / "bin" / "Quillo"
        if candidate.exists():
            return candidate
    return None


def is_listening(port: int) -> bool:
    wanted = f":{port:04X}"
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        try:
            with open(table) as f:
                next(f)
                for line in f:
                    fields = line.split()
                    if fields[1].endswith(wanted) and fields[3] == "0A":
                        return True
        except OSError:
            pass
    return False


def peak_memory_kib(pid: int) -> int:
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def pop3_exchange(port: int, timeout: float) -> tuple[float, int]:
    """Connects, waits for the greeting, logs in, asks STAT, quits. Returns (seconds, messages)."""
    start = time.perf_counter()
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as sock:
        data = b""
        while b"\r\n" not in data:
            chunk = sock.recv(4096)
            if not chunk:
                raise RuntimeError("Quillo closed the connection before its greeting")
            data += chunk
        seconds = time.perf_counter() - start
        if not data.startswith(b"+OK"):
            raise RuntimeError(f"unexpected greeting {data!r}")
        sock.sendall(b"USER me\r\nPASS x\r\nSTAT\r\n")
        reply = b""
        while reply.count(b"\r\n") < 3:
            chunk = sock.recv(4096)
            if not chunk:
                break
            reply += chunk
        parts = reply.split(b"\r\n")[2].split() if reply.count(b"\r\n") >= 3 else []
        messages = int(parts[1]) if len(parts) > 1 and parts[0] == b"+OK" else -1
        sock.sendall(b"QUIT\r\n")
        try:
            sock.recv(4096)
        except OSError:
            pass
    return seconds, messages


def quillo_settings(port: int, urls: list[str], concurrency: int | None) -> str:
    extra = (f"    <download-concurrency>{concurrency}</download-concurrency>\n"
             if concurrency is not None else "")
    feeds = "".join(f"    <feed>{url}</feed>\n" for url in urls)
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quillo>\n  <settings>\n"
            f"    <port>{port}</port>\n"
            "    <disable-messagebox>true</disable-messagebox>\n"
            "    <disable-trayicon>true</disable-trayicon>\n"
            f"{extra}  </settings>\n  <feed-list>\n{feeds}  </feed-list>\n</quillo>\n")


def quiet_environment() -> dict[str, str]:
    env = dict(os.environ)
    for name in list(env):
        if name.lower().endswith("_proxy") or name in ("DISPLAY", "WAYLAND_DISPLAY"):
            del env[name]
    env["NO_PROXY"] = env["no_proxy"] = "*"
    env.pop("QT_QPA_PLATFORM", None)  # headless: no tray, nothing but the POP3 service
    return env


def run_quillo(binary: Path, urls: list[str], concurrency: int | None, workdir: Path,
               timeout: float) -> dict:
    appdir = workdir / "quillo"
    appdir.mkdir()
    exe = appdir / "Quillo"
    shutil.copy2(binary, exe)  # the application directory is the executable's own
    port = free_port(["127.0.0.1"])
    (appdir / "Quillo.xml").write_text(quillo_settings(port, urls, concurrency), "utf-8")
    process = subprocess.Popen([str(exe)], cwd=appdir, env=quiet_environment(),
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    result: dict = {}
    try:
        deadline = time.monotonic() + 30
        while not is_listening(port):
            if process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("Quillo did not start listening: "
                                   + process.stderr.read().decode(errors="replace")[-2000:])
            time.sleep(0.02)
        for run in ("cold", "warm"):
            seconds, messages = pop3_exchange(port, timeout)
            result[run] = seconds
            result[run + "_messages"] = messages
            result[run + "_peak"] = peak_memory_kib(process.pid)
        log = appdir / "log.txt"
        result["log_entries"] = log.read_text("utf-8", "replace").count("URL: ") if log.exists() else 0
    finally:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
    return result


# ----------------------------------------------------------------------- rss2email

def run_rss2email(urls: list[str], workdir: Path, timeout: float) -> dict:
    home = workdir / "r2e"
    home.mkdir()
    config, data = home / "rss2email.cfg", home / "rss2email.json"
    env = quiet_environment()
    env["HOME"] = str(home)
    base = ["r2e", "-c", str(config), "-d", str(data)]
    subprocess.run(base + ["new", "bench@example.invalid"], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    text = config.read_text("utf-8")
    text = re.sub(r"(?m)^email-protocol = .*$", "email-protocol = sendmail", text)
    text = re.sub(r"(?m)^sendmail = .*$", "sendmail = /bin/true", text)
    config.write_text(text, "utf-8")
    # The first feed goes through `r2e add`; the others get the same [feed.NAME] section
    # it writes (one r2e start-up per feed would take minutes for 1,000 feeds).
    subprocess.run(base + ["add", "feed0", urls[0]], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(config, "a", encoding="utf-8") as f:
        for i, url in enumerate(urls[1:], start=1):
            f.write(f"\n[feed.feed{i}]\nurl = {url}\n")
    result: dict = {}
    for run in ("cold", "warm"):
        start = time.perf_counter()
        process = subprocess.Popen(base + ["run"], env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE)
        stderr_file = home / f"{run}.stderr"
        with open(stderr_file, "wb") as f:
            shutil.copyfileobj(process.stderr, f)
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)
        result[run] = time.perf_counter() - start
        result[run + "_peak"] = usage.ru_maxrss
        if process.returncode != 0:
            result[run + "_note"] = f"exit {process.returncode}"
        if result[run] > timeout:
            result[run + "_note"] = "over time-out"
    return result


# ------------------------------------------------------------------------------ main

def mib(kib: int) -> str:
    return f"{kib / 1024:.1f}"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quillo", type=Path, default=default_quillo(),
                        help="the Quillo executable (default: build/bin, else build-fast/bin)")
    parser.add_argument("--feeds", default="100,1000", help="feed counts, comma separated")
    parser.add_argument("--delay", type=float, default=0.2, help="reply delay in seconds")
    parser.add_argument("--hosts", type=int, default=8, help="loopback addresses 127.0.0.1..N")
    parser.add_argument("--concurrency", type=int, default=None,
                        help="download-concurrency for Quillo (default: Quillo's own)")
    parser.add_argument("--no-peer", action="store_true", help="skip rss2email")
    parser.add_argument("--no-quillo", action="store_true", help="skip Quillo")
    parser.add_argument("--timeout", type=float, default=900, help="per run, seconds")
    args = parser.parse_args()

    if not 1 <= args.hosts <= 254:
        parser.error("--hosts must be between 1 and 254")
    hosts = [f"127.0.0.{i}" for i in range(1, args.hosts + 1)]
    counts = [int(n) for n in args.feeds.split(",") if n]
    if not args.no_quillo and (args.quillo is None or not args.quillo.exists()):
        parser.error("Quillo executable not found; build it or pass --quillo")
    if not args.no_peer and shutil.which("r2e") is None:
        parser.error("r2e (Debian package rss2email) is not installed; pass --no-peer")

    server = ServerProcess(hosts, args.delay, max(counts, default=0))
    rows = []
    try:
        for count in counts:
            urls = [server.url(i) for i in range(count)]
            with tempfile.TemporaryDirectory(prefix="quillo-bench-") as tmp:
                work = Path(tmp)
                if not args.no_quillo:
                    print(f"Quillo, {count} feeds ...", file=sys.stderr, flush=True)
                    q = run_quillo(args.quillo, urls, args.concurrency, work, args.timeout)
                    q["requests"], q["not_modified"], q["server_peak"] = server.stats()
                    rows.append((count, "Quillo", q))
                if not args.no_peer:
                    print(f"rss2email, {count} feeds ...", file=sys.stderr, flush=True)
                    r = run_rss2email(urls, work, args.timeout)
                    r["requests"], r["not_modified"], r["server_peak"] = server.stats()
                    rows.append((count, "rss2email", r))
    finally:
        server.stop()

    print(f"\nReply delay {args.delay * 1000:.0f} ms, {ITEMS_PER_FEED} items per feed, "
          f"{len(hosts)} loopback hosts, {os.cpu_count()} CPUs"
          + (f", download-concurrency {args.concurrency}" if args.concurrency else ""))
    header = (f"{'feeds':>6}  {'program':<10} {'cold s':>8} {'warm s':>8} "
              f"{'peak MiB':>9} {'messages':>9} {'requests':>9} {'304s':>6} {'in flight':>9}")
    print(header)
    print("-" * len(header))
    for count, name, r in rows:
        peak = max(r.get("cold_peak", 0), r.get("warm_peak", 0))
        messages = r.get("cold_messages", "")
        note = " ".join(v for k, v in r.items() if k.endswith("_note"))
        print(f"{count:>6}  {name:<10} {r['cold']:>8.2f} {r['warm']:>8.2f} {mib(peak):>9} "
              f"{messages!s:>9} {r['requests']:>9} {r['not_modified']:>6} "
              f"{r['server_peak']:>9} {note}")

    print()
    status = 0
    by_count: dict[int, dict[str, dict]] = {}
    for count, name, r in rows:
        by_count.setdefault(count, {})[name] = r
    for count, entry in by_count.items():
        q, r = entry.get("Quillo"), entry.get("rss2email")
        if q and r:
            print(f"{count} feeds: Quillo greets {r['cold'] / q['cold']:.1f}x sooner than "
                  f"rss2email finishes (cold), {r['warm'] / q['warm']:.1f}x (warm)")
        if q:
            target = {100: 1.5, 1000: 15.0}.get(count)
            if target is not None:
                ok = q["cold"] <= target
                status |= 0 if ok else 1
                print(f"{count} feeds: greeting after {q['cold']:.2f} s, target {target} s: "
                      + ("met" if ok else "MISSED"))
            if q["cold_messages"] != count * ITEMS_PER_FEED:
                print(f"{count} feeds: Quillo offered {q['cold_messages']} messages, "
                      f"expected {count * ITEMS_PER_FEED}")
                status |= 1
        if q and r and count == 100:
            ok = r["cold"] / q["cold"] >= 14
            status |= 0 if ok else 1
            print(f"100 feeds: at least 14x faster than rss2email: {'met' if ok else 'MISSED'}")
    return status


if __name__ == "__main__":
    if len(sys.argv) == 6 and sys.argv[1] == "--serve":
        asyncio.run(serve(sys.argv[2].split(","), int(sys.argv[3]), float(sys.argv[4]),
                          int(sys.argv[5])))
    else:
        sys.exit(main())
