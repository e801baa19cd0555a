#!/usr/bin/env python3
"""The export sheet's preview and the inspectors with 200-character addresses, in the real window
at 1280x800, driven by X input (run on a virtual display).

  inspector_texts.py PROGRAM BUILD_DIR

Scans a loopback site whose addresses are about 200 characters long and differ only near their
end, one of them moved to another such address, and a page with h1 to h4 headings. The export
sheet's preview, the link inspector's Link tab with its Appears on table and the page inspector
with its Outbound links must show every address from its scheme and host (cut in the middle, if at
all) and every column within its view; the page inspector's headings indent by a few spaces a
level. Pictures go to BUILD_DIR/desktop-screenshots/texts-*.png.

Bounded at two minutes; stops only the process it started."""
import os
import plistlib
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop_session as ds  # noqa: E402
from crawl_keys import K  # noqa: E402
from loopback_site import Handler, LoopbackSite  # noqa: E402

ds.DEADLINE = time.monotonic() + 120

DEEP = ("/documentation-of-a-rather-large-project/reference-manual-for-version-eleven/"
        "chapters-about-the-standard-library-and-all-of-its-modules/")
LONG = [DEEP + "pathlib-object-oriented-filesystem-paths-%s.html" % n for n in ("first", "second", "third")]
MOVED = (DEEP + "an-old-page-that-has-moved-somewhere-else.html",
         DEEP + "the-new-place-of-the-page-that-has-moved.html")
HEADINGS = DEEP + "a-page-with-four-levels-of-headings.html"
TITLE = "pathlib — Object-oriented filesystem paths — Python 3.11.2 documentation"


def page(body, title="t"):
    return ("<html><head><title>%s</title></head><body>%s</body></html>" % (title, body)).encode()


LINKS = " ".join('<a href="%s" rel="nofollow noopener">link %d</a>' % (p, i)
                 for i, p in enumerate(LONG + [MOVED[0], HEADINGS]))
PAGES = {"/": page(LINKS), MOVED[1]: page("moved"),
         HEADINGS: page("<h1>Top heading</h1><h2>Second level heading</h2><h3>Third level heading</h3>"
                        "<h4>Fourth level heading of the page</h4>" + LINKS, TITLE)}
for path in LONG:
    PAGES[path] = page('<a href="/">home</a>')


class SiteHandler(Handler):
    def do_GET(self):
        if self.path == MOVED[0]:
            return self.reply(301, headers=[("Location", MOVED[1])])
        body = PAGES.get(self.path)
        if body is None:
            return self.reply(404, b"not found", "text/plain")
        return self.reply(200, body)


def check_columns(app, view):
    """Every column starts and ends within the viewport and reads at least a little."""
    rows = app.get("rows " + view)
    for title, (x, w) in zip(rows["columns"], rows["spans"]):
        ds.check(x >= 0 and x + w <= rows["viewport"] and w >= 20,
                 "%s: column %s at %d+%d of %d" % (view, title, x, w, rows["viewport"]))
    return rows


def check_addresses_start(rows, origin, view):
    """Each cell that holds an address shows it from its scheme and host."""
    seen = 0
    for row in rows["cells"]:
        for text, shown in zip(row["c"], row["s"]):
            if text.startswith(origin):
                seen += 1
                ds.check(shown.startswith(origin), "%s shows %r for %s" % (view, shown, text))
    ds.check(seen > 0, "%s shows no address: %s" % (view, rows["cells"]))
    return rows


def check_field(app, name, text, origin):
    field = app.get("widget " + name)
    ds.check(field["text"] == text, "%s holds %r, not %r" % (name, field["text"], text))
    ds.check(field["shown"].startswith(origin), "%s shows %r" % (name, field["shown"]))
    return field


def open_inspector(app, site, path):
    by_link = ds.view_rows(app, "byLinkView")
    row = next(i for i, r in enumerate(by_link["cells"]) if r["c"][0] == site.url(path))
    ds.click_rect(app.get("rowrect byLinkView %d" % row), repeat=2)
    window = "CrwlLinkInspectorWindow"
    ds.wait_for(window, lambda: app.ask("widget " + window).get("visible"), 15)
    return window


def close_window(app, name):
    """Closes the window with the Close keys, so that the next one of its name is the one found."""
    ds.click_rect(app.get("tabrect %s>mainTabView 0" % name))
    ds.xdo("key", "--clearmodifiers", "ctrl+w")
    ds.wait_for("%s to close" % name, lambda: not app.ask("widget " + name).get("visible"), 10)


def scenario(program, build):
    with ds.scenario_work(build, "texts") as work:
        shots = os.path.join(build, "desktop-screenshots")
        os.makedirs(shots, exist_ok=True)
        with LoopbackSite() as site:
            site.server.RequestHandlerClass = SiteHandler
            origin = site.url("/")
            ds.check(all(len(site.url(p)) >= 195 for p in LONG + list(MOVED)), "the addresses are too short")
            settings = os.path.join(work, "texts.lcsettings")
            with open(settings, "wb") as f:
                plistlib.dump({"name": "Long texts", K.startingUrl: origin, K.numberOfThreads: 2}, f)
            app = ds.Program(program, work, ds.program_environment(work), [settings])
            ds.wait_for("the scan's end", lambda: re.fullmatch(
                r"\d+ of \d+ links on \d+ pages? checked, \d+ bad", app.get("widget mainContentView>status")["text"]), 60)

            # The export sheet's preview: the flat view's columns within the preview.
            ds.open_tab(app, "By link")
            ds.check(ds.choose_menu_item(app, "fileMenu", "exportPreviewAsCSVMenuItem"), "the preview is disabled")
            ds.wait_for("the export sheet", lambda: app.ask("widget panel>tableView").get("visible"), 15)
            ds.wait_for("the preview rows", lambda: app.get("rows panel>tableView")["rows"] >= 3, 15)
            # What the views show is read once they have been laid out.
            ds.eventually(lambda: check_addresses_start(check_columns(app, "panel>tableView"), origin,
                                                        "the export preview"))
            ds.screenshot(os.path.join(shots, "texts-export-preview.png"))
            ds.click_rect(app.get("widget panel>theSheetCancel"))
            ds.wait_for("the sheet to close", lambda: not app.ask("widget panel>tableView").get("visible"), 10)

            # The link inspector of the moved page: its Link tab and Appears on table.
            ds.open_tab(app, "By link")
            window = open_inspector(app, site, MOVED[0])
            ds.open_tab(app, "Link", window + ">mainTabView")

            def link_tab():
                check_field(app, window + ">inspectorLinkURL", site.url(MOVED[0]), origin)
                check_field(app, window + ">inspectorRedir", site.url(MOVED[1]), origin)
                return check_addresses_start(check_columns(app, window + ">inspectorOnPage"), origin, "Appears on")
            appears = ds.eventually(link_tab)
            ds.screenshot(os.path.join(shots, "texts-link-inspector.png"))
            ds.check(appears["columns"][-2:] == ["hreflang", "Line"], "Appears on: %s" % appears["columns"])
            print("Appears on at %d px: %s" % (appears["viewport"], ", ".join(
                "%s %d" % (title, w) for title, (_, w) in zip(appears["columns"], appears["spans"]))))
            close_window(app, window)

            # The page inspector of the page with headings, from its link inspector.
            window = open_inspector(app, site, HEADINGS)
            ds.open_tab(app, "Target", window + ">mainTabView")
            ds.click_rect(app.get("widget %s>inspectorInspectTarget" % window))
            pages = "CrwlPageInspectorWindow"
            ds.wait_for(pages, lambda: app.ask("widget " + pages).get("visible"), 15)
            ds.open_tab(app, "Outbound links", pages + ">pageInspectorTabView")

            def outbound_tab():
                check_field(app, pages + ">inspectorUrl", site.url(HEADINGS), origin)
                title = check_field(app, pages + ">inspectorTitle", TITLE, "pathlib")
                ds.check(title["shown"].startswith(TITLE[:20]), "the title shows %r" % title["shown"])
                check_addresses_start(check_columns(app, pages + ">outboundLinksTableView"), origin, "Outbound links")
                headings = app.get("widget %s>inspectorHeadings" % pages)
                ds.check("Fourth level heading of the page" in headings["text"], "headings: %r" % headings["text"])
                # h4 is three levels in: a few spaces each, well inside the box.
                ds.check(0 < headings["tabStop"] * 3 <= headings["w"] // 4,
                         "headings indent %s a level in a box of %d" % (headings["tabStop"], headings["w"]))
                return headings
            headings = ds.eventually(outbound_tab)
            print("headings: %s px a level in a box of %d px" % (headings["tabStop"], headings["w"]))
            ds.screenshot(os.path.join(shots, "texts-page-inspector.png"))
            ds.check_no_sanitizer_reports(work)
            print("desktop: the export preview and the inspectors show long addresses from their start, "
                  "every column within its view")
            return 0


def main(argv):
    return ds.scenario_main(argv, "desktop inspector texts", scenario, __doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
