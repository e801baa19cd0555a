#!/usr/bin/env python3
"""The site list's order, the folder list's rename and delete, the output-filter rules and the
"?" help of the login windows, the few-results alert and the above-the-domain setting, each
reached as a user would: from the menus, the context menus and the keys, under a real display
(xdotool), with the window's state read through the inspection socket. Run on a virtual display.

  controls.py PROGRAM BUILD_DIR [STEP...]
      STEP: sort, folders, filter, help (all of them, in this order, by default)

Bounded at two minutes; stops only the program it started. On failure the last screenshot and
the logs stay in BUILD_DIR/desktop-failure-controls; the output-filter window's picture is kept
in BUILD_DIR/desktop-screenshots/output-filter.png."""
import datetime
import os
import plistlib
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop_session as ds  # noqa: E402
from crawl_keys import K  # noqa: E402
from desktop_session import Failure, Program, check, click_rect, choose_menu_item, shown, wait_for, xdo  # noqa: E402
from loopback_site import LoopbackSite  # noqa: E402

TOOLS = ("xdotool", "import")
STEPS = ("sort", "folders", "filter", "help")


SITES = ("Alpha", "beta", "gamma")


def names(app):
    """The site list's rows: the folder's header, then the sites' names in their order."""
    return [row["c"][0] for row in app.get("rows websitesTableView")["cells"]]


def ours(app):
    """The imported sites in the list's order (the first run's blank site aside)."""
    return [name for name in names(app) if name in SITES]


def folders(app):
    return [row["c"][0] for row in app.get("rows folderTableView")["cells"]]


def open_submenu_item(app, opener, submenu_item, item):
    """Clicks `opener` (a menu title or a row to right-click), then the submenu, then `item`."""
    opener()
    click_rect(wait_for(submenu_item, lambda: (lambda a: a if a["open"] else None)(app.get("action " + submenu_item)), 10))
    click_rect(wait_for(item, lambda: (lambda a: a if a["open"] else None)(app.get("action " + item)), 10))


def popover_text(app):
    return (lambda w: w.get("text") if w else None)(shown(app, "hintPopover>textField"))


def alert_text(app):
    return app.get("widget alert>qt_msgbox_label").get("text")


def close_popover(app):
    xdo("key", "Escape")
    wait_for("the help to close", lambda: not shown(app, "hintPopover"), 10)


def sort_steps(app):
    """Item: the order of the site list, from the View menu and from the list's header row."""
    def by(item, expected):
        sites = wait_for("the order " + item, lambda: (lambda n: n if n == expected else None)(ours(app)), 10)
        for other in ("websitesSortByNameMenuItem", "websitesSortByStartingUrlMenuItem", "websitesSortByDateMenuItem"):
            check(app.get("action " + other)["checked"] == (other == item), "%s checked after %s" % (other, item))
        return sites
    open_submenu_item(app, lambda: click_rect(app.get("menu viewMenu")), "websitesSortMenuItem",
                      "websitesSortByDateMenuItem")
    by("websitesSortByDateMenuItem", ["gamma", "beta", "Alpha"])
    open_submenu_item(app, lambda: click_rect(app.get("rowrect websitesTableView 0"), button=3),
                      "websitesSortMenuItem", "websitesSortByStartingUrlMenuItem")
    by("websitesSortByStartingUrlMenuItem", ["beta", "gamma", "Alpha"])
    open_submenu_item(app, lambda: click_rect(app.get("rowrect websitesTableView 2"), button=3),
                      "websitesSortMenuItem", "websitesSortByNameMenuItem")
    by("websitesSortByNameMenuItem", ["Alpha", "beta", "gamma"])
    print("controls: the site list sorts by date, starting URL and name from the menus")


def type_name(name):
    xdo("key", "--clearmodifiers", "ctrl+a")
    xdo("type", "--delay", 4, name)
    xdo("key", "Return")


def folder_steps(app):
    """Item: rename a named folder with F2 and from its context menu, then delete it there."""
    click_rect(app.get("widget toggleFolderViewButton"))
    wait_for("the folder panel", lambda: shown(app, "folderTableView"), 10)
    # The batch's folder is listed as soon as the batch is imported.
    wait_for("the batch's folder", lambda: folders(app) == ["All sites", "Default folder", "Clients"], 10)
    click_rect(app.get("widget createNewFolderButton"))
    click_rect(wait_for("the folder name", lambda: shown(app, "newFolderDialog>newFolderName"), 10))
    type_name("Prospects")
    wait_for("the new folder", lambda: folders(app) == ["All sites", "Default folder", "Clients", "Prospects"], 10)
    # A right-click selects the folder without opening it; the menu goes, the panel stays.
    click_rect(app.get("rowrect folderTableView 3"), button=3)
    wait_for("the folder menu", lambda: app.get("action renameFolderMenuItem")["open"], 10)
    xdo("key", "Escape")
    # The menu is gone once closed: its action is then closed or no longer there.
    wait_for("the folder menu to close", lambda: not app.ask("action renameFolderMenuItem").get("open"), 10)
    check(shown(app, "folderTableView"), "a right-click closed the folder panel")
    xdo("key", "F2")
    wait_for("the name editor", lambda: app.get("active").get("editing"), 10)
    type_name("Customers")
    wait_for("the folder renamed by F2", lambda: folders(app)[2:] == ["Clients", "Customers"], 10)

    click_rect(app.get("rowrect folderTableView 3"), button=3)
    click_rect(wait_for("Rename", lambda: (lambda a: a if a["open"] else None)(app.get("action renameFolderMenuItem")), 10))
    wait_for("the name editor", lambda: app.get("active").get("editing"), 10)
    type_name("Partners")
    wait_for("the folder renamed from its menu", lambda: folders(app)[2:] == ["Clients", "Partners"], 10)

    click_rect(app.get("rowrect folderTableView 3"), button=3)
    click_rect(wait_for("Delete", lambda: (lambda a: a if a["open"] else None)(app.get("action deleteFolderMenuItem")), 10))
    wait_for("the delete question", lambda: (lambda a: a if a.get("name") == "alert" else None)(app.get("active")), 10)
    check(alert_text(app) == "Delete Folder?", "the question: %s" % alert_text(app))
    xdo("key", "Return")  # "OK", the first button
    wait_for("the folder deleted", lambda: folders(app) == ["All sites", "Default folder", "Clients"], 10)
    # "All sites" closes the panel again.
    click_rect(app.get("rowrect folderTableView 0"))
    wait_for("the panel to close", lambda: not shown(app, "folderTableView"), 10)
    print("controls: a folder is renamed by F2 and from its menu, and deleted from its menu")


def filter_steps(app, shots):
    """Item: the output-filter rules, from the Window menu: add one through the sheet, delete it."""
    check(choose_menu_item(app, "windowMenu", "showOutputFilterMenuItem"), "the output-filter item is disabled")
    wait_for("the output-filter window", lambda: shown(app, "filterRulesWindow"), 10)
    for text in ("blog", "shop"):
        click_rect(app.get("widget beginNewDialogButton"))
        field = wait_for("the new-rule sheet", lambda: shown(app, "dialog>mipContains"), 10)
        click_rect(field)
        xdo("type", "--delay", 4, text)
        if text == "shop":
            time.sleep(0.3)
            ds.screenshot(os.path.join(shots, "output-filter-sheet.png"))
        xdo("key", "Return")
        wait_for("the sheet to close", lambda: not shown(app, "dialog"), 10)
    rules = [row["c"][0] for row in app.get("rows filterTableView")["cells"]]
    check(rules == ["URL does contain: blog", "URL does contain: shop"], "the rules: %s" % rules)
    time.sleep(0.5)
    ds.screenshot(os.path.join(shots, "output-filter.png"))
    click_rect(app.get("rowrect filterTableView 0"))
    click_rect(app.get("widget deleteSelectedRuleButton"))
    wait_for("the delete question", lambda: (lambda a: a if a.get("name") == "alert" else None)(app.get("active")), 10)
    check(alert_text(app) == "Delete Filter Rule", "the question: %s" % alert_text(app))
    # "Cancel" is first and has the focus: the next button is "Delete".
    xdo("key", "Tab")
    xdo("key", "space")
    wait_for("the rule deleted", lambda: [r["c"][0] for r in app.get("rows filterTableView")["cells"]]
             == ["URL does contain: shop"], 10)
    ds.unmap_window(app, "filterRulesWindow")
    print("controls: the output-filter rules are added and deleted from the Window menu")


def help_steps(app, shots):
    """Item: the "?" of the above-the-domain setting, both login windows and the few-results alert."""
    check(app.get("action visitHelpMenuItem")["text"] == "Crawlmere Max Help", "the Help menu's item")
    # The setting is far down the settings pane: the wheel brings it into view.
    ds.scroll_into_view(app, "optionsTabViewItem", "tolerateUpADirectoryLine>helpButton")
    box = app.get("widget tolerateUpADirectory")
    check(not box["checked"], "the setting starts off")
    click_rect(box)
    wait_for("the setting ticked", lambda: app.get("widget tolerateUpADirectory")["checked"], 10)
    click_rect(app.get("widget tolerateUpADirectoryLine>helpButton"))
    text = wait_for("the above-the-domain help", lambda: popover_text(app), 10)
    check(text.startswith("A relative link such as"), "the help shown: %r" % text)
    close_popover(app)

    for item, window in (("showCookieWindowMenuItem", "cookieGatherer"),
                         ("showLegacyCookieWindowMenuItem", "legacyCookieGatherer")):
        check(choose_menu_item(app, "fileMenu", item), "%s is disabled" % item)
        button = wait_for("the help of " + window, lambda: shown(app, window + ">helpButton"), 20)
        click_rect(button)
        text = wait_for("the cookie help", lambda: popover_text(app), 10)
        check(text.startswith("Cookies are needed"), "the help shown in %s: %r" % (window, text))
        close_popover(app)
        ds.unmap_window(app, window)

    # The selected site's starting page is missing: the scan ends with the few-results alert.
    click_rect(app.get("widget goButton"))
    wait_for("the few-results alert", lambda: (lambda a: a if a.get("name") == "alert" else None)(app.get("active")), 60)
    check(alert_text(app) == "Possible problem with starting URL", "the alert: %s" % alert_text(app))
    click_rect(app.get("widget alert>helpButton"))
    text = wait_for("the no-results help", lambda: popover_text(app), 10)
    time.sleep(0.3)
    ds.screenshot(os.path.join(shots, "few-results-help.png"))
    check(text.startswith("No links were found"), "the help shown: %r" % text)
    check(shown(app, "alert"), "asking for help closed the alert")
    close_popover(app)
    xdo("key", "Return")
    wait_for("the alert to close", lambda: app.get("active").get("name") != "alert", 10)
    print("controls: the help of the setting, both login windows and the alert is shown")


def scenario(program, build, steps):
    ds.DEADLINE = time.monotonic() + 120
    with ds.scenario_work(build, "controls") as work:
        shots = os.path.join(build, "desktop-screenshots")
        os.makedirs(shots, exist_ok=True)
        env = ds.program_environment(work)
        with LoopbackSite() as site:
            batch = os.path.join(work, "sites.lcsbatch")
            day = datetime.datetime(2026, 12, 1, 9, 0)
            with open(batch, "wb") as f:
                plistlib.dump([
                    {"id": "20261208-0900001", "name": "Alpha", K.startingUrl: site.url("/z/"),
                     "dateStamp": day},
                    {"id": "20261208-0900002", "name": "beta", K.startingUrl: site.url("/missing.html"),
                     "dateStamp": day + datetime.timedelta(days=1), K.timeout: 2, "folder": "Clients"},
                    {"id": "20261208-0900003", "name": "gamma", K.startingUrl: site.url("/moved"),
                     "dateStamp": day + datetime.timedelta(days=2)},
                ], f)
            app = Program(program, work, env, [batch])
            wait_for("the imported sites", lambda: sorted(ours(app)) == sorted(SITES), 20)
            if "sort" in steps:
                sort_steps(app)
            if "folders" in steps:
                folder_steps(app)
            if "filter" in steps:
                filter_steps(app, shots)
            if "help" in steps:
                row = names(app).index("beta")
                click_rect(app.get("rowrect websitesTableView %d" % row))
                wait_for("the site's settings",
                         lambda: app.get("widget startingUrl").get("text") == site.url("/missing.html"), 10)
                help_steps(app, shots)
            check(choose_menu_item(app, "fileMenu", "quitMenuItem"), "Quit is disabled")
            check(app.process.wait(min(60, ds.remaining())) == 0, "the program did not end cleanly")
        reports = [n for n in os.listdir(work) if n.startswith("asan")]
        check(not reports, "sanitizer reports: %s" % reports)
        print("controls: passed")
        return 0


def main(argv):
    missing = [tool for tool in TOOLS if not shutil.which(tool)]
    if missing:
        print("controls: skipped, missing %s (scripts/setup installs them)" % " ".join(missing))
        return 77
    steps = argv[3:] or STEPS
    if len(argv) < 3 or set(steps) - set(STEPS):
        print(__doc__)
        return 2
    try:
        return scenario(argv[1], argv[2], steps)
    except Failure as failure:
        print("controls: FAILED: %s" % failure)
        return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
