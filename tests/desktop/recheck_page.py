#!/usr/bin/env python3
"""Recheck page and Mark as fixed in the real window, driven by X input (run on a virtual display).

  recheck_page.py PROGRAM BUILD_DIR

Opens a settings file of a small loopback site, which the window imports and scans: home links to
a.html, b.html and missing.html; a.html to missing.html, b.html, home and a404link.html. Then
a.html is edited (its two broken links gone, c.html new, b.html twice), the flat view's row of
b.html on a.html is right-clicked and "Recheck page" chosen: every link view and the status line
must show the site as it now stands. Then missing.html is marked fixed from the Scan menu and the
status line must count it at once. Pictures of each tab after the recheck and after the marking
go to BUILD_DIR/desktop-screenshots/recheck-*.png.

Bounded at two minutes; stops only the process it started."""
import os
import plistlib
import re
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from crawl_keys import K  # noqa: E402
import desktop_session as ds  # noqa: E402
from loopback_site import Handler, LoopbackSite  # noqa: E402

ds.DEADLINE = time.monotonic() + 120

PAGES = {
    "/": b'<a href="a.html">A</a> <a href="b.html">B</a> <a href="missing.html">M</a>',
    "/a.html": b'<a href="missing.html">M</a> <a href="b.html">B</a> <a href="/">home</a> '
               b'<a href="a404link.html">X</a>',
    "/b.html": b"<p>no links</p>",
    "/c.html": b"<p>no links</p>",
}
EDITED_A = b'<a href="b.html">B</a> <a href="c.html">C</a> <a href="/">home</a> <a href="b.html">B again</a>'
LOCK = threading.Lock()
HITS = {}


class SiteHandler(Handler):
    def do_GET(self):
        with LOCK:
            HITS[self.path] = HITS.get(self.path, 0) + 1
            body = PAGES.get(self.path)
        if body is None:
            return self.reply(404, b"not found", "text/plain")
        return self.reply(200, b"<html><head><title>%s</title></head><body>%s</body></html>"
                          % (self.path.encode(), body))


def column(answer, title):
    ds.check(title in answer["columns"], "no column %r in %s" % (title, answer["columns"]))
    return answer["columns"].index(title)


def pairs(answer, first, second):
    """The (first, second) cells of every row, as a sorted list."""
    a, b = column(answer, first), column(answer, second)
    return sorted((row["c"][a], row["c"][b]) for row in answer["cells"])


def shoot_tabs(app, shots, stage):
    for label, view in ds.TABS[:4]:
        ds.open_tab(app, label)
        time.sleep(0.4)
        ds.screenshot(os.path.join(shots, "recheck-%s-%s.png" % (stage, label.replace(" ", "-").lower())))


def status(app):
    return app.get("widget mainContentView>status")["text"]


def scenario(program, build):
    with ds.scenario_work(build, "recheck") as work:
        shots = os.path.join(build, "desktop-screenshots")
        os.makedirs(shots, exist_ok=True)
        env = ds.program_environment(work)
        with LoopbackSite() as site:
            site.server.RequestHandlerClass = SiteHandler
            url = site.url
            settings = os.path.join(work, "recheck.lcsettings")
            with open(settings, "wb") as f:
                plistlib.dump({"name": "Recheck site", K.startingUrl: url("/"), K.numberOfThreads: 1}, f)
            app = ds.Program(program, work, env, [settings])
            ds.wait_for("the scan's end", lambda: re.fullmatch(r"5 of 5 links on 3 pages checked, 2 bad", status(app)),
                        60)

            # a.html changes; its row of b.html in the flat view, right-click, Recheck page.
            with LOCK:
                PAGES["/a.html"] = EDITED_A
                before = dict(HITS)
            ds.open_tab(app, "Flat view")
            flat = app.get("rows flatView")
            target, page = column(flat, "URL"), column(flat, "Appears on")
            row = next(i for i, r in enumerate(flat["cells"])
                       if r["c"][target] == url("/b.html") and r["c"][page] == url("/a.html"))
            rect = app.get("rowrect flatView %d" % row)
            ds.click_rect(rect)
            ds.click_rect(rect, button=3)
            item = ds.wait_for("the row's menu", lambda: (lambda a: a if a["open"] else None)(
                app.get("action recheckMultipleParentsMenuItem")), 10)
            ds.check(item["enabled"] and item["text"] == "Recheck page", "the menu item: %s" % item)
            ds.click_rect(item)

            expected_links = sorted([(url("/b.html"), url("/")), (url("/a.html"), url("/")),
                                     (url("/missing.html"), url("/")), (url("/b.html"), url("/a.html")),
                                     (url("/b.html"), url("/a.html")), (url("/c.html"), url("/a.html")),
                                     (url("/"), url("/a.html"))])
            ds.wait_for("the flat view's new rows",
                        lambda: pairs(app.get("rows flatView"), "URL", "Appears on") == expected_links, 30)
            ds.wait_for("the status line after the recheck",
                        lambda: status(app) == "5 of 5 links on 4 pages checked, 1 bad", 20)
            with LOCK:
                fetched = {path: HITS.get(path, 0) - before.get(path, 0) for path in HITS}
            ds.check({p: n for p, n in fetched.items() if n} == {"/a.html": 1, "/c.html": 1},
                     "requests made by the recheck: %s" % fetched)

            ds.open_tab(app, "By link")
            by_link = app.get("rows byLinkView")
            shown = dict(pairs(by_link, "URL", "Appears on"))
            ds.check(shown == {url("/"): url("/a.html"), url("/a.html"): url("/"), url("/b.html"): "appears 3 times",
                               url("/missing.html"): url("/"), url("/c.html"): url("/a.html")},
                     "by link after the recheck: %s" % shown)
            ds.open_tab(app, "By page")
            by_page = app.get("rows byPageOutlineView")
            under_a, current = [], None
            for r in by_page["cells"]:
                if r["d"] == 0:
                    current = r["c"][0]
                elif current == url("/a.html"):
                    under_a.append(r["c"][0])
            ds.check(sorted(under_a) == sorted([url("/b.html"), url("/c.html"), url("/"), url("/b.html")]),
                     "by page lists under a.html: %s" % under_a)
            ds.open_tab(app, "By status")
            by_status = [r["c"][0] for r in app.get("rows byStatusOutlineView")["cells"] if r["d"] == 1]
            ds.check(sorted(by_status) == sorted(u for u, _ in expected_links), "by status: %s" % by_status)
            shoot_tabs(app, shots, "after-recheck-page")

            # missing.html marked fixed from the Scan menu: the line counts it at once.
            ds.open_tab(app, "By link")
            by_link = app.get("rows byLinkView")
            row = next(i for i, r in enumerate(by_link["cells"]) if r["c"][0] == url("/missing.html"))
            ds.click_rect(app.get("rowrect byLinkView %d" % row))
            ds.check(ds.choose_menu_item(app, "scanMenu", "markAsFixedMenuItem"), "Mark as fixed is disabled")
            ds.wait_for("the status line after marking fixed",
                        lambda: status(app) == "5 of 5 links on 4 pages checked, 0 bad", 10)
            shoot_tabs(app, shots, "after-mark-fixed")
            ds.check_no_sanitizer_reports(work)
            print("desktop: recheck page and mark as fixed shown in every view and on the status line")
            return 0


def main(argv):
    return ds.scenario_main(argv, "desktop recheck", scenario, __doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
