#!/usr/bin/env python3
"""A site on 127.0.0.1 whose every page sets many large persistent cookies, for the cookie
flood benchmark: /p/<n>.html links to pages 2n+1, 2n+2 and n+1 (every page within a few
clicks of the first) and sets --cookies cookies of --size bytes each, named after the page so
that none replaces another."""
import argparse
import http.server
import socketserver


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--pages", type=int, default=600)
    parser.add_argument("--cookies", type=int, default=40)
    parser.add_argument("--size", type=int, default=1000)
    options = parser.parse_args()

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def do_GET(self):
            path = self.path.split("?")[0]
            if path == "/":
                page = 0
            elif path.startswith("/p/") and path.endswith(".html") and path[3:-5].isdigit():
                page = int(path[3:-5])
            else:
                page = -1
            if page < 0 or page >= options.pages:
                body = b"not found"
                self.send_response(404)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)
                return
            links = "".join(
                f'<a href="/p/{n}.html">page {n}</a>\n'
                for n in (2 * page + 1, 2 * page + 2, page + 1) if n < options.pages)
            body = f"<html><head><title>Page {page}</title></head><body>{links}</body></html>".encode()
            self.send_response(200)
            self.send_header("Content-Type", "text/html; charset=utf-8")
            self.send_header("Content-Length", str(len(body)))
            filler = "x" * options.size
            for i in range(options.cookies):
                self.send_header("Set-Cookie", f"p{page}c{i}={filler}; Max-Age=31536000; Path=/")
            self.end_headers()
            self.wfile.write(body)

    class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
        daemon_threads = True
        allow_reuse_address = True

    with Server(("127.0.0.1", options.port), Handler) as server:
        server.serve_forever()


if __name__ == "__main__":
    main()
