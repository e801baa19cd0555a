#!/usr/bin/env python3
"""Settings changed through the real controls under a display (run on a virtual display), and where
each change must show:

  reset    File > Return to Default Settings on a site with its own threads, user agent and
           rules, then Quit: the stored defaults and the site list after a relaunch hold the
           reset.
  sitemap  With the Sitemap tab on screen after a scan, Preferences > Sitemap "Include PDF
           documents" unticked and "Leave out pages whose canonical URL is another page" ticked:
           the tab drops the PDF and the page whose canonical is another, its own PDF box
           follows, and Export XML Sitemap writes neither.

  settings_changes.py PROGRAM BUILD_DIR

Bounded at two minutes; stops only the processes it started."""
import os
import plistlib
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from crawl_keys import K  # noqa: E402
import desktop_session as ds  # noqa: E402
from loopback_site import Handler, LoopbackSite  # noqa: E402

PAGES = {
    "/": b'<a href="a.html">A</a> <a href="doc.pdf">PDF</a> <a href="copy.html">copy</a>',
    "/a.html": b"<p>the page</p>",
    "/copy.html": b"<p>a copy of the page</p>",
}
PDF = (b"%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n2 0 obj<</Type/Pages/Kids[]/Count 0>>endobj\n"
       b"trailer<</Root 1 0 R>>\n%%EOF\n")
RESET_SITE = {"id": "20261208-1100001", "name": "Own settings", K.numberOfThreads: 3,
              K.userAgentString: "OwnAgent/1.0", K.ignoreArray: ["logout"], "ignoreList": "logout"}


class SiteHandler(Handler):
    def do_GET(self):
        if self.path == "/doc.pdf":
            return self.reply(200, PDF, "application/pdf")
        body = PAGES.get(self.path)
        if body is None:
            return self.reply(404, b"not found", "text/plain")
        head = b'<link rel="canonical" href="/a.html">' if self.path == "/copy.html" else b""
        return self.reply(200, b"<html><head><title>%s</title>%s</head><body>%s</body></html>"
                          % (self.path.encode(), head, body))


def defaults_file(env):
    return os.path.join(env["CRAWLMERE_HOME"], ".config", "Crawlmere", "defaults.plist")


def site_names(app):
    return [row["c"][0] for row in app.get("rows websitesTableView")["cells"]]


def select_site(app, name, url):
    ds.wait_for("the site " + name, lambda: name in site_names(app), 20)
    ds.click_rect(app.get("rowrect websitesTableView %d" % site_names(app).index(name)))
    ds.wait_for("the site's settings", lambda: app.get("widget startingUrl")["text"] == url, 10)


def quit_program(app):
    ds.check(ds.choose_menu_item(app, "fileMenu", "quitMenuItem"), "Quit is disabled")
    ds.check(app.process.wait(min(60, ds.remaining())) == 0, "the program did not end cleanly")


def reset_steps(program, work, env, batch, url):
    app = ds.Program(program, work, env, [batch])
    select_site(app, RESET_SITE["name"], url)
    ds.check(app.get("widget numberOfThreadsDisplay")["text"] == "3", "the site's own threads are not shown")
    ds.check(ds.choose_menu_item(app, "fileMenu", "returnToDefaultSettingsMenuItem"), "the reset is disabled")
    ds.wait_for("the reset question", lambda: app.get("active").get("class") == "QMessageBox", 10)
    ds.xdo("key", "Return")  # "OK", the default button
    ds.wait_for("the pane to show the defaults",
                lambda: app.get("widget numberOfThreadsDisplay")["text"] == "12", 10)
    ds.check(app.get("widget userAgentString")["text"] != "OwnAgent/1.0", "the user agent was not reset")
    quit_program(app)
    with open(defaults_file(env), "rb") as f:
        stored = {site.get("id"): site for site in plistlib.load(f).get("websites", [])}
    site = stored.get(RESET_SITE["id"], {})
    kept = {key: site.get(key) for key in ("name", K.numberOfThreads, K.userAgentString, K.ignoreArray)}
    ds.check(site.get(K.startingUrl) == url, "the reset lost the starting URL: %s" % kept)
    ds.check(site.get("name") == "A new website" and site.get(K.numberOfThreads, 12) == 12
             and site.get(K.userAgentString) != "OwnAgent/1.0" and not site.get(K.ignoreArray),
             "defaults.plist after Quit: %s" % kept)
    app = ds.Program(program, work, env)
    ds.wait_for("the reset name in the site list", lambda: "A new website" in site_names(app), 20)
    ds.check(RESET_SITE["name"] not in site_names(app), "the old name is still listed: %s" % site_names(app))
    ds.check(app.get("widget numberOfThreadsDisplay")["text"] == "12", "the relaunch shows the old threads")
    quit_program(app)
    print("desktop settings: the reset is stored and listed after a relaunch")


def prefs_box(app, tabs, label, key, want):
    """Clicks the preference `key` on the tab `label` of the open preferences window to `want`."""
    ds.click_rect(tabs[label])
    ds.wait_for("the preferences tab " + label,
                lambda: app.get("widget prefsWindow>prefsMainTabView")["currentText"] == label, 10)
    box = app.get("widget prefsWindow>" + key)
    ds.check(box["checked"] != want, "%s already shows %s" % (key, want))
    # On the box itself: the row is wider than the box and its text.
    ds.click_rect({"x": box["x"], "y": box["y"], "w": 16, "h": box["h"]})
    ds.wait_for(key + " clicked", lambda: app.get("widget prefsWindow>" + key)["checked"] == want, 10)


def sitemap_rows(app):
    return [row["c"][0] for row in app.get("rows sitemapTableView")["cells"]]


def sitemap_steps(program, work, env, url, site):
    app = ds.Program(program, work, env)
    select_site(app, "Sitemap", url)
    ds.click_rect(app.get("widget goButton"))
    ds.wait_for_finish(app)
    ds.open_tab(app, "Sitemap")
    ds.wait_for("the PDF and the copy in the sitemap",
                lambda: {site.url("/doc.pdf"), site.url("/copy.html")} <= set(sitemap_rows(app)), 10)
    ds.check(app.get("widget includepdfsinsitemap")["checked"], "the tab's PDF box starts unticked")

    ds.click_rect(app.get("widget mainContentView>status"))  # the window takes the keyboard
    ds.xdo("key", "--clearmodifiers", "ctrl+comma")
    ds.wait_for("the preferences window", lambda: app.ask("widget prefsWindow").get("visible"), 10)
    prefs = app.get("widget prefsWindow>prefsMainTabView")
    tabs = {}
    for index in range(prefs["count"]):
        rect = app.get("tabrect prefsWindow>prefsMainTabView %d" % index)
        tabs[rect["text"]] = rect
    prefs_box(app, tabs, "Sitemap", "includePdfsInSitemap", False)
    prefs_box(app, tabs, "Sitemap", "sitemapObservesCanonicalElsewhere", True)
    ds.click_rect(app.get("widget prefsWindow>prefsCloseButton"))
    ds.wait_for("the preferences to close", lambda: not app.ask("widget prefsWindow").get("visible"), 10)

    rows = ds.wait_for("the sitemap without the PDF and the copy",
                       lambda: (lambda r: r if site.url("/doc.pdf") not in r and site.url("/copy.html") not in r
                                else None)(sitemap_rows(app)), 10)
    ds.check(site.url("/a.html") in rows, "the sitemap lost its page: %s" % rows)
    ds.check(not app.get("widget includepdfsinsitemap")["checked"], "the tab's PDF box is still ticked")

    ds.check(ds.choose_menu_item(app, "fileMenu", "exportXMLMenuItem"), "Export XML Sitemap is disabled")
    path = os.path.join(work, "exports", "sitemap.xml")
    ds.save_through_dialog(app, path, False)
    ds.wait_for("the sitemap file", lambda: os.path.exists(path), 30)
    with open(path, encoding="utf-8") as f:
        written = f.read()
    ds.check("/a.html</loc>" in written, "the export lacks the page: %s" % written[-600:])
    ds.check("doc.pdf" not in written and "copy.html" not in written,
             "the export holds a page the tab leaves out: %s" % written[-600:])
    quit_program(app)
    print("desktop settings: the sitemap preferences reach the open tab and its export")


def scenario(program, build):
    ds.DEADLINE = time.monotonic() + 120
    with ds.scenario_work(build, "settings") as work, LoopbackSite() as site:
        os.makedirs(os.path.join(work, "exports"))
        env = ds.program_environment(work)
        site.server.RequestHandlerClass = SiteHandler
        # No site thumbnails; the sitemap lists PDFs and keeps pages whose canonical is another.
        os.makedirs(os.path.dirname(defaults_file(env)))
        with open(defaults_file(env), "wb") as f:
            plistlib.dump({"sitesTableIconSize": 0, "includePdfsInSitemap": True,
                           "sitemapObservesCanonicalElsewhere": False, "sitemapOptions": 0}, f)
        batch = os.path.join(work, "sites.lcsbatch")
        reset_url = site.url("/a.html")
        with open(batch, "wb") as f:
            plistlib.dump([dict(RESET_SITE, startingUrl=reset_url),
                           {"id": "20261208-1100002", "name": "Sitemap", K.startingUrl: site.url("/"),
                            K.numberOfThreads: 2}], f)
        reset_steps(program, work, env, batch, reset_url)
        sitemap_steps(program, work, env, site.url("/"), site)
        ds.check_no_sanitizer_reports(work)
        print("desktop settings: passed")
        return 0


def main(argv):
    return ds.scenario_main(argv, "desktop settings", scenario, __doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
