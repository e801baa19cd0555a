"""The scripted loopback site of the scan tests (tests/fixtures/loopback-site, which the C++ tests
serve too), served by Python's http.server on 127.0.0.1: about thirty addresses with redirects, a loop,
a missing page, a page disallowed by robots.txt, a nofollow link, a base element, a windows-1252
page, a page slower than the scan's time-out and a server error."""
import http.server
import os
import sys
import threading
import time
import urllib.parse


FIXTURE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures", "loopback-site")


def read_routes():
    """routes.tsv: path -> (status, body bytes or None, content type, Location, wait in seconds).
    The table and the bodies are the ones the C++ tests serve (support/LoopbackSite)."""
    routes = {}
    with open(os.path.join(FIXTURE, "routes.tsv"), encoding="utf-8") as f:
        for line in f.read().split("\n"):
            if not line or line.startswith("# ") or line == "#":
                continue
            path, status, body, content_type, location, wait = [
                "" if cell == '""' else cell for cell in line.split("\t")]
            data = None
            if body:
                with open(os.path.join(FIXTURE, "site", body), "rb") as b:
                    data = b.read()
            routes[path] = (int(status), data, content_type, location, int(wait) / 1000.0)
    return routes


ROUTES = read_routes()

#: What the scan must say of some addresses, whichever way it is made.
KNOWN_STATUSES = {
    "/": "200 ok",
    "/missing.html": "404 not found",
    "/moved": "200 ok < 301 moved permanently",
    "/old": "404 not found < 301 moved permanently",
    "/error.html": "500 internal server error",
    "/slow.html": "The request timed out.",
}


class Handler(http.server.BaseHTTPRequestHandler):
    server_version = "LoopbackSite"

    def log_message(self, *args):
        pass

    def reply(self, status, body=b"", content_type="text/html; charset=utf-8", headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        if body or status == 200:
            self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def do_HEAD(self):
        self.do_GET()

    def do_GET(self):
        parts = urllib.parse.urlsplit(self.path)
        route = ROUTES.get(parts.path)
        if route is None:
            time.sleep(self.server.delay)
            return self.reply(404, b"not found", "text/plain")
        status, body, content_type, location, wait = route
        # Redirects and robots.txt answer at once: the loop's many hops stay within the scan's
        # time-out.
        if not location and parts.path != "/robots.txt":
            time.sleep(self.server.delay)
        time.sleep(wait)
        if body is not None and b"{x}" in body:
            x = urllib.parse.parse_qs(parts.query).get("x", [""])[0]
            body = body.replace(b"{x}", x.encode())
        headers = [("Location", location)] if location else []
        return self.reply(status, body or b"", content_type or "text/html; charset=utf-8", headers)


class QuietServer(http.server.ThreadingHTTPServer):
    """Says nothing when a client hangs up early (the scan gives up on the slow page)."""

    def handle_error(self, request, client_address):
        if not isinstance(sys.exc_info()[1], (BrokenPipeError, ConnectionResetError)):
            super().handle_error(request, client_address)


class LoopbackSite:
    """The site on 127.0.0.1 at a free port, served from a thread of this process."""

    def __init__(self, delay=0.0):
        """`delay`: seconds each response other than a redirect waits, so that a scan lasts long
        enough to watch."""
        self.server = QuietServer(("127.0.0.1", 0), Handler)
        self.server.delay = delay
        self.server.daemon_threads = True
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.server.shutdown()
        self.server.server_close()

    def url(self, path="/"):
        return "http://127.0.0.1:%d%s" % (self.server.server_address[1], path)
