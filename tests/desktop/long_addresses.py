#!/usr/bin/env python3
"""Long addresses in the real window at 1280x800, driven by X input (run on a virtual display).

  long_addresses.py PROGRAM BUILD_DIR

Scans a loopback site whose addresses are long and differ only near their end: three missing
pages, one moved to a missing page (a long status), a chain of three redirects and two pages
whose canonical is another page. By link with bad
links only, the link inspector's Redirects tab of the chain and the excluded-pages window of the
sitemap must each show every column within the view, and the addresses of the missing pages read
apart on screen. Pictures go to BUILD_DIR/desktop-screenshots/long-*.png.

Bounded at two minutes; stops only the process it started."""
import os
import plistlib
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from crawl_keys import K  # noqa: E402
import desktop_session as ds  # noqa: E402
from loopback_site import Handler, LoopbackSite  # noqa: E402

ds.DEADLINE = time.monotonic() + 120

DEEP = "/a-very-long-directory-name-for-columns/another-rather-long-directory-name-of-this-site/"
MISSING = [DEEP + "missing-%s.html" % n for n in ("first", "second", "third")]
CHAIN = ["/chain", DEEP + "hop-one.html", DEEP + "hop-two.html", DEEP + "last-page-of-the-chain.html"]
CANONICAL = [DEEP + "copy-%d-of-the-kept-page.html" % n for n in (1, 2)]
KEPT = DEEP + "kept.html"
# Moved to a missing page: its status tells both.
GONE = ("/gone", DEEP + "missing-after-a-move.html")


def page(body, head=""):
    return ("<html><head><title>t</title>%s</head><body>%s</body></html>" % (head, body)).encode()


PAGES = {"/": page(" ".join('<a href="%s">x</a>' % p for p in MISSING + [GONE[0]] + CHAIN[:1] + CANONICAL + [KEPT])),
         CHAIN[-1]: page("end"), KEPT: page("kept")}
for copy in CANONICAL:
    PAGES[copy] = page("copy", '<link rel="canonical" href="%s">' % KEPT)


class SiteHandler(Handler):
    def do_GET(self):
        if self.path in CHAIN[:-1]:
            hop = CHAIN.index(self.path)
            return self.reply((301, 302, 301)[hop], headers=[("Location", CHAIN[hop + 1])])
        if self.path == GONE[0]:
            return self.reply(301, headers=[("Location", GONE[1])])
        body = PAGES.get(self.path)
        if body is None:
            return self.reply(404, b"not found", "text/plain")
        return self.reply(200, body)


def check_columns(app, view, address_titles):
    """Every column starts and ends within the viewport (the last may stretch to its edge) and the
    named address columns have more of it than the others."""
    rows = app.get("rows " + view)
    spans, width, titles = rows["spans"], rows["viewport"], rows["columns"]
    for title, (x, w) in zip(titles, spans):
        ds.check(x >= 0 and x + w <= width and w >= 40, "%s: column %s at %d+%d of %d" % (view, title, x, w, width))
    widths = dict(zip(titles, (w for _, w in spans)))
    addresses = sum(w for t, w in widths.items() if t in address_titles)
    ds.check(addresses > width - addresses, "%s: the addresses have too little room: %s" % (view, widths))
    return rows


def scenario(program, build):
    with ds.scenario_work(build, "long") as work:
        shots = os.path.join(build, "desktop-screenshots")
        os.makedirs(shots, exist_ok=True)
        with LoopbackSite() as site:
            site.server.RequestHandlerClass = SiteHandler
            settings = os.path.join(work, "long.lcsettings")
            with open(settings, "wb") as f:
                plistlib.dump({"name": "Long addresses", K.startingUrl: site.url("/"), K.numberOfThreads: 2}, f)
            app = ds.Program(program, work, ds.program_environment(work), [settings])
            ds.wait_for("the scan's end", lambda: re.fullmatch(
                r"\d+ of \d+ links on \d+ pages? checked, 4 bad", app.get("widget mainContentView>status")["text"]), 60)

            ds.open_tab(app, "By link")
            ds.click_rect(app.get("widget badLinksButton"))
            ds.wait_for("bad links only", lambda: app.get("rows byLinkView")["rows"] == 4, 10)
            # The columns are read once the view has been laid out.
            ds.eventually(lambda: check_columns(app, "byLinkView", ("URL", "Redirected to", "Appears on")))
            ds.screenshot(os.path.join(shots, "long-by-link-bad-only.png"))

            ds.click_rect(app.get("widget badLinksButton"))
            by_link = ds.wait_for("every link", lambda: (lambda r: r if r["rows"] > 4 else None)(
                app.get("rows byLinkView")), 10)
            row = next(i for i, r in enumerate(by_link["cells"]) if r["c"][0] == site.url(CHAIN[0]))
            ds.click_rect(app.get("rowrect byLinkView %d" % row), repeat=2)
            window = "CrwlLinkInspectorWindow"
            ds.wait_for(window, lambda: app.ask("widget " + window).get("visible"), 15)
            ds.open_tab(app, "Redirects", window + ">mainTabView")
            redirects = ds.eventually(lambda: check_columns(app, "%s>redirectTable" % window, ("URL",)))
            ds.screenshot(os.path.join(shots, "long-inspector-redirects.png"))
            ds.check([r["c"][0] for r in redirects["cells"]] == [site.url(p) for p in CHAIN],
                     "the redirect rows: %s" % redirects["cells"])
            ds.unmap_window(app, window)

            ds.open_tab(app, "Sitemap")
            ds.click_rect(app.get("widget filterSitemapInfoButton"))
            ds.wait_for("the excluded pages", lambda: app.ask("widget excludedPagesWindow").get("visible"), 10)
            excluded = ds.eventually(lambda: check_columns(app, "excludedTableView", ("URL", "Canonical")))
            ds.screenshot(os.path.join(shots, "long-excluded-pages.png"))
            ds.check(excluded["rows"] == 2, "excluded pages: %s" % excluded["cells"])
            ds.check_no_sanitizer_reports(work)
            print("desktop: long addresses show every column in by link, the Redirects tab and the excluded pages")
            return 0


def main(argv):
    return ds.scenario_main(argv, "desktop long addresses", scenario, __doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
