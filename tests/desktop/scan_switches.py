#!/usr/bin/env python3
""""Check images" off and "Don't follow nofollow links" on, ticked in the real settings pane of a
site (run on a virtual display): the scan then asks the loopback server for no image, audio or video
and for no page reached only through a nofollow link, while the page behind that link is still
checked.

  scan_switches.py PROGRAM BUILD_DIR

Bounded at two minutes; stops only the process it started."""
import os
import plistlib
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from crawl_keys import K  # noqa: E402
import desktop_session as ds  # noqa: E402
from loopback_site import Handler, LoopbackSite  # noqa: E402

PAGES = {
    "/": b'<a href="a.html">A</a> <a rel="nofollow" href="nf.html">NF</a> <img src="pic.png" alt="p">'
         b'<picture><source srcset="pic.webp"><img src="alt.png"></picture>'
         b'<div style="background:url(bg.png)">x</div><video src="clip.mp4"></video><audio src="tune.mp3"></audio>',
    "/a.html": b"<p>no links</p>",
    "/nf.html": b'<a href="behind.html">B</a>',
    "/behind.html": b"<p>reached only through nofollow</p>",
}
MEDIA = (".png", ".webp", ".mp4", ".mp3")
LOCK = threading.Lock()
HITS = []


class SiteHandler(Handler):
    def do_GET(self):
        with LOCK:
            HITS.append(self.path)
        if self.path.endswith(MEDIA):
            return self.reply(200, b"\x89PNG media", "image/png")
        body = PAGES.get(self.path)
        if body is None:
            return self.reply(404, b"not found", "text/plain")
        return self.reply(200, b"<html><head><title>%s</title></head><body>%s</body></html>"
                          % (self.path.encode(), body))


def tick(app, name, want):
    """Brings the check box `name` of the settings pane into view and clicks it to `want`."""
    box = ds.scroll_into_view(app, "optionsTabViewItem", name)
    ds.check(box["checked"] != want, "%s already shows %s" % (name, want))
    ds.click_rect(box)
    ds.wait_for(name + " clicked", lambda: app.get("widget " + name)["checked"] == want, 10)


def scenario(program, build):
    ds.DEADLINE = time.monotonic() + 120
    with ds.scenario_work(build, "switches") as work:
        env = ds.program_environment(work)
        with LoopbackSite() as site:
            site.server.RequestHandlerClass = SiteHandler
            batch = os.path.join(work, "sites.lcsbatch")
            with open(batch, "wb") as f:
                plistlib.dump([{"id": "20261208-1000001", "name": "Switches", K.startingUrl: site.url("/"),
                                K.numberOfThreads: 2, K.checkImages: True, K.dontFollowNofollowLinks: False}], f)
            # No site thumbnails: their browser would load the page's images outside the scan.
            config = os.path.join(env["CRAWLMERE_HOME"], ".config", "Crawlmere")
            os.makedirs(config)
            with open(os.path.join(config, "defaults.plist"), "wb") as f:
                plistlib.dump({"sitesTableIconSize": 0}, f)
            app = ds.Program(program, work, env, [batch])
            rows = lambda: [row["c"][0] for row in app.get("rows websitesTableView")["cells"]]  # noqa: E731
            ds.wait_for("the imported site", lambda: "Switches" in rows(), 20)
            ds.click_rect(app.get("rowrect websitesTableView %d" % rows().index("Switches")))
            ds.wait_for("the site's settings", lambda: app.get("widget startingUrl")["text"] == site.url("/"), 10)
            tick(app, K.checkImages, False)
            tick(app, K.dontFollowNofollowLinks, True)
            with LOCK:
                del HITS[:]
            ds.check(app.get("widget mainContentView>status")["text"] == "", "a status before the scan")
            ds.click_rect(app.get("widget goButton"))
            status, _, _ = ds.wait_for_finish(app)
            with LOCK:
                fetched = sorted(set(HITS))
            media = [path for path in fetched if path.endswith(MEDIA)]
            ds.check(not media, "image, audio or video requested: %s (%s)" % (media, status))
            ds.check("/behind.html" not in fetched, "a page reached only through nofollow was fetched: %s" % fetched)
            ds.check({"/", "/a.html", "/nf.html"} <= set(fetched), "the pages the scan checks: %s" % fetched)
            ds.check(ds.choose_menu_item(app, "fileMenu", "quitMenuItem"), "Quit is disabled")
            ds.check(app.process.wait(min(60, ds.remaining())) == 0, "the program did not end cleanly")
        ds.check_no_sanitizer_reports(work)
        print("desktop: no image and no page behind a nofollow link fetched; %s" % status)
        return 0


def main(argv):
    return ds.scenario_main(argv, "desktop switches", scenario, __doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
