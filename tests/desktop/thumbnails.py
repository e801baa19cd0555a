#!/usr/bin/env python3
"""Site thumbnails under a real display: selecting a site whose starting page drips in slowly
maps no window besides the main window while its thumbnail loads. Run on a virtual display.

  thumbnails.py PROGRAM BUILD_DIR

Polls the X server's top-level windows for as long as the browser engine loads the page (a
loopback server sends it over twelve seconds) and fails on any viewable one that is not the main
window; keeps a picture of the window once the load has begun in BUILD_DIR/desktop-screenshots. Bounded at
two minutes; stops only the processes it started."""
import http.server
import os
import plistlib
import re
import shutil
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from crawl_keys import K  # noqa: E402
from desktop_session import (Failure, Program, check, click_rect, program_environment, remaining,  # noqa: E402
                             scenario_work, screenshot, wait_for)

DRIP_SECONDS = 12
PAGE = (b"<html><head><title>Slow</title></head><body style='margin:0;background:#1060c0'>"
        + b" " * 2400 + b"</body></html>")
SITE_NAME = "Slow site of the thumbnail test"
OTHER_NAME = "Other site of the thumbnail test"


class DripHandler(http.server.BaseHTTPRequestHandler):
    lock = threading.Lock()
    engine_loads = 0  # the browser engine's requests for the site's page being sent now

    def log_message(self, *args):
        pass

    def do_GET(self):
        engine = self.path == "/" and "Chrome" in self.headers.get("User-Agent", "")
        with DripHandler.lock:
            DripHandler.engine_loads += engine
        try:
            self.drip()
        finally:
            with DripHandler.lock:
                DripHandler.engine_loads -= engine

    @staticmethod
    def engine_loading():
        with DripHandler.lock:
            return DripHandler.engine_loads > 0

    def drip(self):
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(PAGE)))
        self.end_headers()
        step = 100
        try:
            for start in range(0, len(PAGE), step):
                self.wfile.write(PAGE[start:start + step])
                self.wfile.flush()
                time.sleep(DRIP_SECONDS * step / len(PAGE))
        except OSError:
            pass


def viewable_top_levels():
    """(id, x, y, width, height) of each viewable child of the root window."""
    tree = subprocess.run(["xwininfo", "-root", "-children"], capture_output=True, text=True, timeout=10)
    found = []
    for window in re.findall(r"^\s+(0x[0-9a-f]+)", tree.stdout, re.M):
        info = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True, timeout=10).stdout
        if "IsViewable" not in info:
            continue
        numbers = [int(re.search(label + r":\s+(-?\d+)", info).group(1)) for label in
                   ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")]
        found.append((window, *numbers))
    return found


def thumbnails(program, build):
    for tool in ("xdotool", "xwininfo", "import"):
        if not shutil.which(tool):
            print("desktop: skipped, missing %s" % tool)
            return 77
    shots = os.path.join(build, "desktop-screenshots")
    os.makedirs(shots, exist_ok=True)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), DripHandler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = "http://127.0.0.1:%d" % server.server_address[1]
    try:
        return watch_the_load(program, build, shots, base)
    finally:
        server.shutdown()


def watch_the_load(program, build, shots, base):
    with scenario_work(build, "thumbnails") as work:
        env = program_environment(work)
        batch = os.path.join(work, "sites.lcsbatch")
        with open(batch, "wb") as f:
            plistlib.dump([{"id": "20261208-0400001", "name": OTHER_NAME, K.startingUrl: base + "/other"},
                           {"id": "20261208-0400002", "name": SITE_NAME, K.startingUrl: base + "/"}], f)
        app = Program(program, work, env, [batch])
        sites = wait_for("the imported sites", lambda: (lambda r: r if any(
            row["c"][:1] == [SITE_NAME] for row in r["cells"]) else None)(app.get("rows websitesTableView")), 20)
        row = next(i for i, r in enumerate(sites["cells"]) if r["c"][:1] == [SITE_NAME])
        click_rect(app.get("rowrect websitesTableView %d" % row))
        wait_for("the site's settings", lambda: app.get("widget startingUrl").get("text") == base + "/", 10)
        wait_for("the browser engine to ask for the page", DripHandler.engine_loading, 60, 0.05)
        screenshot(os.path.join(shots, "thumbnail-loading.png"))
        main = app.get("widget window")
        polls = 0
        # Every look while the page is still being sent, and one more after.
        loading = True
        while loading:
            loading = DripHandler.engine_loading()
            remaining()
            others = [w for w in viewable_top_levels()
                      if (w[1], w[2], w[3], w[4]) != (main["x"], main["y"], main["w"], main["h"])]
            check(not others, "windows besides the main window are on the screen while a thumbnail loads: %s "
                  "(the main window is at %d,%d %dx%d)" % (others, main["x"], main["y"], main["w"], main["h"]))
            polls += 1
            time.sleep(0.25)
        check(app.alive(), "the program ended")
        print("desktop: %d looks at the screen while the thumbnail loaded, no window but the main one" % polls)
        return 0


def main(argv):
    if len(argv) != 3:
        print(__doc__)
        return 2
    try:
        return thumbnails(argv[1], argv[2])
    except Failure as failure:
        print("desktop: FAILED: %s" % failure)
        return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
