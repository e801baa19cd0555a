"""The scripted loopback site of the scan tests, served by Python's http.server on 127.0.0.1:
about thirty addresses with redirects, a loop, a missing page, a page disallowed by robots.txt,
a nofollow link, a base element, a windows-1252 page, a page slower than the scan's time-out and
a server error."""
import http.server
import sys
import threading
import time
import urllib.parse


def page(title, body, head=""):
    return ("<!DOCTYPE html><html><head><title>" + title + "</title>" + head + "</head><body>\n"
            + body + "\n</body></html>").encode()


HOME = page("Home", """<a href="/a.html">A</a>
<a href="b.html#part">B at a fragment</a>
<a href="/a.html#again">A again</a>
<a href="#top">top of this page</a>
<a href="/dir/c.html">C</a>
<a href="/moved">moved</a>
<a href="/missing.html">missing</a>
<a href="/old">old address of a missing page</a>
<a href="/loop1">loop</a>
<a href="/chain1">two redirects</a>
<a href="/q.html?x=1">query one</a> <a href="/q.html?x=2">query two</a>
<a href="mailto:shop@example.invalid">mail</a> <a href="tel:+441234567">telephone</a>
<img alt="an image without a source">
<img src="/logo.png" alt="logo">
<a href="/private/secret.html">private</a>
<a href="/nf.html" rel="nofollow">nofollow</a>
<a href="/base/page.html">base</a>
<a href="/latin.html">latin</a>
<a href="/slow.html">slow</a>
<a href="/error.html">error</a>""")

PAGES = {
    "/": HOME,
    "/a.html": page("Page A", """<a href="/">home</a> <a href="b.html">B</a> <a href="mailto:a@example.invalid">write</a>
<img src="logo.png" alt="logo again">"""),
    "/b.html": page("Page B", '<p id="part">part</p>'),
    "/dir/c.html": page("Page C", """<a href="../a.html">up to A</a> <a href="../dir/d.html">D</a> <a href="sub/e.html">E</a>
<a href="./d.html#x">D again</a>"""),
    "/dir/d.html": page("Page D", '<a href="../q.html?x=1#frag">query one</a> <a href="../q.html?x=3&amp;y=4">query three</a>'),
    "/dir/sub/e.html": page("Page E", """<a href="../../missing.html">missing</a> <a href="../c.html">C</a>
<a href="../../../a.html">above the root</a>"""),
    "/target.html": page("Target", '<a href="/b.html">B</a>'),
    "/final.html": page("Final", ""),
    "/private/secret.html": page("Secret", '<a href="/private/deeper.html">deeper</a> <a href="/a.html">A</a>'),
    "/private/deeper.html": page("Deeper", ""),
    "/nf.html": page("Nofollow", '<a href="/nf-child.html">child</a>'),
    "/nf-child.html": page("Nofollow child", ""),
    "/base/page.html": page("Base", '<a href="x.html">x</a> <a href="../up.html">up</a>', '<base href="/other/">'),
    "/other/x.html": page("Other X", ""),
    "/up.html": page("Up", ""),
}

REDIRECTS = {
    "/moved": ("/target.html", 301),
    "/old": ("/missing.html", 301),
    "/loop1": ("/loop2", 302),
    "/loop2": ("/loop1", 302),
    "/chain1": ("/chain2", 302),
    "/chain2": ("/final.html", 301),
}

LATIN = (b'<html><head><meta charset="windows-1252"><title>Caf\xe9 \x93menu\x94</title></head>'
         b'<body>cr\xe8me <a href="b.html">B</a></body></html>')

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
        path = parts.path
        if path == "/robots.txt":
            return self.reply(200, b"User-agent: *\nDisallow: /private/\n", "text/plain")
        if path in REDIRECTS:
            target, status = REDIRECTS[path]
            return self.reply(status, headers=[("Location", target)])
        # Redirects answer at once: the loop's many hops stay within the scan's time-out.
        time.sleep(self.server.delay)
        if path in PAGES:
            return self.reply(200, PAGES[path])
        if path == "/q.html":
            x = urllib.parse.parse_qs(parts.query).get("x", [""])[0]
            return self.reply(200, page("Query " + x, ""), "text/html")
        if path == "/logo.png":
            return self.reply(200, b"\x89PNG\r\n\x1a\n", "image/png")
        if path == "/latin.html":
            return self.reply(200, LATIN, "text/html")
        if path == "/slow.html":
            time.sleep(4)
            return self.reply(200, page("Slow", ""), "text/html")
        if path == "/error.html":
            return self.reply(500)
        return self.reply(404, b"not found", "text/plain")


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
