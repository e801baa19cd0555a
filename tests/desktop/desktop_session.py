#!/usr/bin/env python3
"""The whole program under a real display, driven as a user would: real X input with xdotool on
widgets found by objectName, their state read back through the program's inspection socket
(CRAWLMERE_TEST_INSPECT). Run on a virtual display.

  desktop_session.py session PROGRAM BUILD_DIR FIXTURES_DIR
      seeds two sites from a .lcsbatch, scans the loopback site from the site list, checks the
      status line and each tab's rows against a scan without windows, writes every export
      through the save dialog and checks the files, screenshots each tab, opens Preferences with
      Ctrl+, (a picture of each of its tabs) and sees a label and a status default change the
      by-link view, exports the site's settings, quits from the menu and reads the site's status
      back after a restart.

Bounded at three minutes; stops only the processes it started. On failure the last screenshot
and the logs (console, standard error, sanitizer) stay in BUILD_DIR/desktop-failure-session (each
run starts by removing it). The other scenarios of tests/desktop use its helpers."""
import contextlib
import csv
import json
import os
import plistlib
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from crawl_keys import K  # noqa: E402
from loopback_site import KNOWN_STATUSES, LoopbackSite  # noqa: E402

DEADLINE = time.monotonic() + 180
# The longest the window may take to answer during a scan (a sanitized build on a busy machine).
RESPONSIVE = 2.0
# A sanitized program: the display's drivers are unloaded before a leak check could name their
# allocations, and the browser engine frees some objects of its own through a base without a
# virtual destructor (the site thumbnails). Reports go to files, standard error being captured.
ASAN = "detect_leaks=0:new_delete_type_mismatch=0:log_path="


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def remaining():
    left = DEADLINE - time.monotonic()
    if left <= 0:
        raise Failure("the three minutes are over")
    return left


def wait_for(what, probe, timeout=30.0, interval=0.2):
    """probe() until it returns something true; its last value, or a failure naming `what`."""
    end = time.monotonic() + min(timeout, remaining())
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure("timed out waiting for " + what)
        time.sleep(interval)


def eventually(checked, timeout=10.0, interval=0.2):
    """checked() until it passes (returns without a Failure): its value, or its last Failure. For
    checks of what the window shows once it has laid out or repainted."""
    end = time.monotonic() + min(timeout, remaining())
    while True:
        try:
            return checked()
        except Failure:
            if time.monotonic() > end:
                raise
        time.sleep(interval)


def run(args, timeout=None, **kwargs):
    return subprocess.run(args, capture_output=True, text=True,
                          timeout=min(60, remaining()) if timeout is None else timeout, **kwargs)


# ===== Exports ==================================================================================
# One row per export the window offers: the tab it is made from (its label, or None to stay on
# the current one), the view whose rows the file must hold (or None), the File menu item, the
# file name to type and how the file is checked. A row marked optional may offer nothing for
# this site (the item disabled or no dialog), which is reported. A checker gets the file's path
# and the view's rows as `view_rows` reads them.

def check_csv_rows(path, shown):
    with open(path, newline="", encoding="utf-8-sig") as f:
        rows = list(csv.reader(f))
    check(len(rows) >= 2, "%s has no rows" % path)
    body = [r for r in rows[1:] if any(cell.strip() for cell in r)]
    expected = shown["rows_total"]
    check(len(body) == expected, "%s: %d rows, the view shows %d" % (os.path.basename(path), len(body), expected))
    first = shown["first_column"]
    if first:
        written = {r[0] for r in body if r}
        missing = set(first) - written
        check(not missing, "%s lacks %s" % (os.path.basename(path), sorted(missing)[:5]))


def check_html(path, shown):
    result = run(["xmllint", "--html", "--noout", path])
    check(result.returncode == 0, "xmllint --html %s: %s" % (path, result.stderr[-800:]))
    with open(path, encoding="utf-8", errors="replace") as f:
        text = f.read()
    check("<table" in text.lower(), "%s has no table" % path)
    for value in shown["first_column"][:20]:
        check(value.replace("&", "&amp;") in text or value in text, "%s lacks %s" % (path, value))


def check_link_list(path, shown):
    """A sitemap HTML export: a list of links, one per page the sitemap table shows."""
    result = run(["xmllint", "--html", "--noout", path])
    check(result.returncode == 0, "xmllint --html %s: %s" % (path, result.stderr[-800:]))
    with open(path, encoding="utf-8", errors="replace") as f:
        text = f.read()
    links = text.count("<a href")
    check(links == shown["rows_total"], "%s: %d links, the sitemap shows %d pages" % (path, links, shown["rows_total"]))


def check_schema(schema):
    def checker(path, shown):
        result = run(["xmllint", "--noout", "--schema", os.path.join(FIXTURES, "sitemap", schema), path])
        check(result.returncode == 0, "%s against %s: %s" % (path, schema, result.stderr[-800:]))
    return checker


def check_dot(path, shown):
    result = run(["dot", "-Tcanon", path])
    check(result.returncode == 0 and "digraph" in result.stdout, "dot -Tcanon %s: %s" % (path, result.stderr[-800:]))


EXPORTS = [
    # (tab label, view, menu item, file name, checker, optional)
    ("By link", "byLinkView", "exportAsCSVMenuItem", "01-bylink.csv", check_csv_rows, False),
    ("By link", "byLinkView", "exportAsHTMLMenuItem", "02-bylink.html", check_html, False),
    ("By page", "byPageOutlineView", "exportAsCSVMenuItem", "03-bypage.csv", check_csv_rows, False),
    ("By page", "byPageOutlineView", "exportAsHTMLMenuItem", "04-bypage.html", check_html, False),
    ("By status", "byStatusOutlineView", "exportAsCSVMenuItem", "05-bystatus.csv", check_csv_rows, False),
    ("By status", "byStatusOutlineView", "exportAsHTMLMenuItem", "06-bystatus.html", check_html, False),
    ("Flat view", "flatView", "exportAsCSVMenuItem", "07-flat.csv", check_csv_rows, False),
    ("Flat view", "flatView", "exportAsHTMLMenuItem", "08-flat.html", check_html, False),
    ("Sitemap", "sitemapTableView", "exportAsCSVMenuItem", "09-sitemap-table.csv", check_csv_rows, False),
    ("Sitemap", None, "exportXMLMenuItem", "10-sitemap.xml", check_schema("sitemap.xsd"), False),
    ("Sitemap", "sitemapTableView", "exportSitemapAsCSVMenuItem", "13-sitemap.csv", check_csv_rows, False),
    ("Sitemap", "sitemapTableView", "exportSitemapAsHTMLMenuItem", "14-sitemap.html", check_link_list, False),
    ("Sitemap", None, "exportAsDotMenuItem", "15-sitemap.dot", check_dot, False),
    (None, "insecureOutlineView", "exportInsecureAsCSVMenuItem", "11-insecure.csv", check_csv_rows, True),
    (None, "insecureOutlineView", "exportInsecureAsHTMLMenuItem", "12-insecure.html", check_html, True),
]

# Menu items that open a window first, and the button there that opens the save dialog.
THEN_PRESS = {"exportAsDotMenuItem": "vizWindow>exportAsDotButton"}

# Double-clicks on a result row and the inspector window each must open (by objectName). A row
# marked optional may open nothing yet, which is reported.
INSPECTORS = [
    # (tab label, view, row, window, optional)
    ("By link", "byLinkView", 0, "CrwlLinkInspectorWindow", False),
    ("By page", "byPageOutlineView", 0, "CrwlPageInspectorWindow", False),
]

# The two sites of the batch, named alike and long, as a user's sites may be: the site list must
# show enough of each name to tell them apart.
SITE_NAME = "Loopback test site of the desktop session, the one scanned"
SECOND_NAME = "Loopback test site of the desktop session, the second one"

# The views behind the tabs whose rows are read and screenshot.
TABS = [
    ("By link", "byLinkView"),
    ("By page", "byPageOutlineView"),
    ("By status", "byStatusOutlineView"),
    ("Flat view", "flatView"),
    ("Sitemap", "sitemapTableView"),
]


# ===== The program and its socket ================================================================

class Inspector:
    """The inspection socket of a running program."""

    def __init__(self, path):
        self.socket_path = path

    def try_ask(self, request):
        try:
            return self.ask(request)
        except (OSError, ValueError):
            return None

    def ask(self, request):
        with socket.socket(socket.AF_UNIX) as s:
            s.settimeout(10)
            s.connect(self.socket_path)
            s.sendall(request.encode() + b"\n")
            data = b""
            while not data.endswith(b"\n"):
                chunk = s.recv(1 << 20)
                if not chunk:
                    break
                data += chunk
        return json.loads(data)

    def get(self, request):
        answer = self.ask(request)
        check(answer.get("ok"), "%s: %s" % (request, answer.get("error")))
        return answer


class Program(Inspector):
    """One run of the built program with its own inspection socket, console log and sanitizer
    log; stopped by its own process id only (at the latest by the `scenario_work` it runs in)."""

    started = []

    def __init__(self, program, work, environment, arguments=()):
        super().__init__(os.path.join(work, "inspect.sock"))
        env = dict(environment)
        env["CRAWLMERE_TEST_INSPECT"] = self.socket_path
        self.process = subprocess.Popen([program, *arguments], env=env, stdout=subprocess.DEVNULL,
                                        stderr=open(os.path.join(work, "stderr.log"), "ab"))
        Program.started.append(self)
        wait_for("the inspection socket", lambda: self.alive() and self.try_ask("ping"), 60)

    def alive(self):
        if self.process.poll() is not None:
            raise Failure("the program ended early with status %s" % self.process.returncode)
        return True

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def xdo(*args):
    result = run(["xdotool", *map(str, args)])
    check(result.returncode == 0, "xdotool %s: %s" % (" ".join(map(str, args)), result.stderr))


def click_rect(rect, button=1, repeat=1):
    x, y = rect["x"] + rect["w"] // 2, rect["y"] + rect["h"] // 2
    xdo("mousemove", "--sync", x, y)
    xdo("click", "--repeat", repeat, button)


def screenshot(path):
    run(["import", "-window", "root", path])


def shown(app, name):
    """The widget `name` when it is on the screen, else None."""
    answer = app.ask("widget " + name)
    return answer if answer.get("ok") and answer.get("visible") else None


def unmap_window(app, name):
    """Takes the window `name` off the screen (there is no window manager to close it with)."""
    title = app.get("widget " + name).get("title")
    if title:
        run(["xdotool", "search", "--name", "^%s$" % re.escape(title), "windowunmap", "--sync", "%@"])


def type_into(app, field, text):
    """Replaces the text of the line field `field` by typing `text`, and waits until the field
    holds it: every key has reached the window."""
    click_rect(app.get("widget " + field))
    xdo("key", "--clearmodifiers", "ctrl+a")
    xdo("type", "--delay", 4, text)
    wait_for("%s to hold %s" % (field, text), lambda: app.get("widget " + field).get("text") == text, 20)


def completion_open(app):
    """A file dialog's completion list is up: it, not the dialog, takes the next Return."""
    active = app.get("active").get("class", "")
    return active in ("QListView", "QCompleter") or "Popup" in active


def press_return_until(app, what, done, timeout=10):
    """Return in a dialog's field, then done() until it holds; a completion list that the dialog
    opened late and that took the Return is closed and Return pressed again."""
    if completion_open(app):
        xdo("key", "Escape")
    xdo("key", "Return")

    def probe():
        value = done()
        if not value and completion_open(app):
            xdo("key", "Escape")
            xdo("key", "Return")
        return value
    return wait_for(what, probe, timeout)


def scroll_into_view(app, area, name):
    """Turns the mouse wheel over the widget `area` until the widget `name` lies wholly inside
    it, each turn waiting for the widget to move; the widget."""
    box = app.get("widget " + area)
    for _ in range(40):
        widget = app.get("widget " + name)
        if box["y"] <= widget["y"] and widget["y"] + widget["h"] <= box["y"] + box["h"] - 4:
            return widget
        xdo("mousemove", "--sync", box["x"] + box["w"] // 2, box["y"] + box["h"] // 2)
        xdo("click", 5 if widget["y"] > box["y"] else 4)
        wait_for(name + " to move", lambda: app.get("widget " + name)["y"] != widget["y"], 10)
    raise Failure("%s stays outside %s" % (name, area))


# ===== The session =================================================================================

def open_tab(app, label, tabs="mainContentView>mainTabView"):
    """Clicks the tab `label` of the tab view `tabs` and waits until it is the current one."""
    for index in range(app.get("widget " + tabs)["count"]):
        rect = app.get("tabrect %s %d" % (tabs, index))
        if rect["text"] == label:
            click_rect(rect)
            wait_for("the tab " + label, lambda: app.get("widget " + tabs)["currentText"] == label, 10)
            return
    raise Failure("no tab " + label)


def choose_menu_item(app, menu, item):
    """Opens `menu` in the menu bar and clicks `item`; false (menu closed again) when disabled."""
    def opened():
        action = app.get("action " + item)
        return action if action["open"] else None
    click_rect(app.get("menu " + menu))
    try:
        action = wait_for("the menu " + menu, opened, 5)
    except Failure:
        # A click can be lost on a loaded display: once more while the menu is still closed.
        click_rect(app.get("menu " + menu))
        action = wait_for("the menu " + menu, opened, 10)
    if not action["enabled"]:
        xdo("key", "Escape")
        return False
    click_rect(action)
    return True


def save_through_dialog(app, path, optional):
    """Types `path` into the save dialog that the export opens and accepts it."""
    def dialog():
        field = app.ask("widget fileNameEdit")
        return field if field.get("ok") and field.get("visible") else None
    try:
        field = wait_for("the save dialog", dialog, 3 if optional else 20)
    except Failure:
        if optional:
            return False
        raise
    type_into(app, "fileNameEdit", path)
    press_return_until(app, "the save dialog to close", lambda: not dialog())
    return True


def view_rows(app, view):
    answer = app.get("rows %s 20000" % view)
    cells = answer["cells"]
    return {
        "columns": answer["columns"],
        "rows": answer["rows"],
        "cells": cells,
        # An outline shows (and exports) its top rows until one is expanded.
        "rows_total": sum(1 for row in cells if row["d"] == 0),
        "first_column": [row["c"][0] for row in cells if row["d"] == 0 and row["c"] and row["c"][0]],
    }


def wait_for_finish(app):
    """The status line's finish text once the Go button reads "Go" again, every text seen, and each
    count of by-link rows with a status seen on the way."""
    seen = set()
    slowest = [0.0]
    filled = set()

    def finished():
        # The socket is answered on the main thread: its delay is the window's.
        # The button first: a scan that ends between the two reads would leave a count from
        # before its finish in the status read first.
        asked = time.monotonic()
        done = app.get("widget goButton")["text"] == "Go"
        status = app.get("widget mainContentView>status")["text"]
        slowest[0] = max(slowest[0], time.monotonic() - asked)
        seen.add(status)
        filled.add(sum(1 for row in app.get("rows byLinkView")["cells"] if row["c"][1:2] != [""]))
        return status if done and status else None
    status = wait_for("the finish text", finished, 120, 0.3)
    print("desktop: during the scan the window answered within %.3f s; the by-link list showed %s checked rows"
          % (slowest[0], sorted(filled)))
    check(slowest[0] < RESPONSIVE, "the window took %.2f s to answer during the scan" % slowest[0])
    check(re.fullmatch(r"(\d+) of \1 links on \d+ pages? checked, \d+ bad", status), "the finish text: %r" % status)
    return status, seen, filled


def grab(rect, path):
    """A picture of one rectangle of the screen."""
    run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (rect["w"], rect["h"], rect["x"], rect["y"]), path])
    with open(path, "rb") as f:
        return f.read()


def preferences_steps(app, shots, exports, moved_url):
    """Preferences by Ctrl+,: a picture of each tab; row labels switched off and the redirect
    status shortened change the by-link view; then the selected site's settings exported."""
    open_tab(app, "By link")
    view = app.get("widget byLinkView")
    before = grab(view, os.path.join(shots, "by-link-labels-on.png"))
    status_of = lambda: {row["c"][0]: row["c"][1] for row in app.get("rows byLinkView")["cells"]}.get(moved_url)
    check(status_of() == "200 ok < 301 moved permanently", "the redirected link says %r" % status_of())

    click_rect(app.get("widget mainContentView>status"))  # the window takes the keyboard
    xdo("key", "--clearmodifiers", "ctrl+comma")
    wait_for("the preferences window", lambda: app.ask("widget prefsWindow").get("visible"), 10)
    tabs = app.get("widget prefsWindow>prefsMainTabView")
    labels = {}
    for index in range(tabs["count"]):
        rect = app.get("tabrect prefsWindow>prefsMainTabView %d" % index)
        click_rect(rect)
        wait_for("the preferences tab " + rect["text"],
                 lambda: app.get("widget prefsWindow>prefsMainTabView")["currentText"] == rect["text"], 10)
        time.sleep(0.2)
        screenshot(os.path.join(shots, "prefs-%d-%s.png" % (index, rect["text"].replace(" ", "-").lower())))
        labels[rect["text"]] = rect
    check("Links and labels" in labels and "Sitemap" in labels, "the preferences tabs: %s" % sorted(labels))
    click_rect(labels["Links and labels"])
    wait_for("the links tab", lambda: app.get("widget prefsWindow>prefsMainTabView")["currentText"] == "Links and labels", 10)
    box = app.get("widget prefsWindow>displayLabels")
    check(box.get("checked"), "row labels are off before the switch: %s" % box)
    # On the box itself: the row is wider than the box and its text.
    click_rect({"x": box["x"], "y": box["y"], "w": 16, "h": box["h"]})
    wait_for("row labels off", lambda: not app.get("widget prefsWindow>displayLabels").get("checked"), 10)
    # The redirect status: "The final status" is the item above "The final status < the first".
    click_rect(app.get("widget prefsWindow>byStatusWhichStatus"))
    wait_for("the list of redirect statuses", lambda: app.get("active").get("class") == "QComboBoxPrivateContainer", 10)
    xdo("key", "Up")
    xdo("key", "Return")
    wait_for("the final status alone", lambda: app.get("widget prefsWindow>byStatusWhichStatus")["text"] == "The final status", 10)
    click_rect(app.get("widget prefsWindow>prefsCloseButton"))
    wait_for("the preferences to close", lambda: not app.ask("widget prefsWindow").get("visible"), 10)

    wait_for("the by-link view to show the final status", lambda: status_of() == "200 ok", 10)
    # The view repaints a moment after its rows change.
    wait_for("the by-link view to look different without row labels",
             lambda: grab(app.get("widget byLinkView"), os.path.join(shots, "by-link-labels-off.png")) != before, 10)

    # The selected site's settings through the save dialog.
    check(choose_menu_item(app, "fileMenu", "exportSelectedSettingsMenuItem"), "Export Settings is disabled")
    path = os.path.join(exports, "17-site.lcsettings")
    save_through_dialog(app, path, False)
    wait_for("17-site.lcsettings", lambda: os.path.exists(path), 30)
    with open(path, "rb") as f:
        exported = plistlib.load(f)
    check(exported.get("id") == "20261207-0900001" and exported.get("name") == SITE_NAME,
          "the exported settings: %s" % {k: exported.get(k) for k in ("id", "name", K.startingUrl)})
    print("desktop: preferences changed the by-link view; the site's settings exported")


def reference_scan(program, work, url, environment):
    """The same site scanned without windows: its URL and status columns and its summary."""
    home = os.path.join(work, "headless-home")
    os.makedirs(home)
    out_csv = os.path.join(work, "reference.csv")
    env = {k: v for k, v in environment.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env["CRAWLMERE_HOME"] = home
    result = run([program, "--headless", "--set", "timeout=2", "--set", "tolerateUpADirectory=YES",
                  "--set", "blacklistByRobotsTxt=NO", "--columns", "url,status", "--csv", out_csv, url],
                 env=env, timeout=min(90, remaining()))
    check(os.path.exists(out_csv), "the scan without windows wrote nothing: %s" % result.stderr[-800:])
    with open(out_csv, newline="", encoding="utf-8") as f:
        rows = {r["url"]: r["status"] for r in csv.DictReader(f)}
    summary = {}
    for line in result.stdout.splitlines():
        key, _, value = line.partition(": ")
        summary[key] = value
    return rows, summary


def program_environment(work):
    """The environment of a program run in `work`: a home, runtime folder, console log and
    sanitizer reports of its own, on the X display."""
    env = dict(os.environ)
    env.update({
        "HOME": os.path.join(work, "home"),
        "CRAWLMERE_HOME": os.path.join(work, "home"),
        "XDG_RUNTIME_DIR": os.path.join(work, "runtime"),
        "CRAWLMERE_LOG_FILE": os.path.join(work, "console.log"),
        "QTWEBENGINE_DISABLE_SANDBOX": "1",
        "ASAN_OPTIONS": ASAN + os.path.join(work, "asan"),
    })
    for name in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "XDG_CONFIG_HOME"):
        env.pop(name, None)
    os.makedirs(env["HOME"])
    os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
    return env


def session(program, build):
    shots = os.path.join(build, "desktop-screenshots")
    os.makedirs(shots, exist_ok=True)
    with scenario_work(build, "session") as work:
        exports = os.path.join(work, "exports")
        os.makedirs(exports)
        env = program_environment(work)
        with LoopbackSite(delay=0.3) as site:
            start = site.url("/")
            batch = os.path.join(work, "sites.lcsbatch")
            with open(batch, "wb") as f:
                plistlib.dump([
                    {"id": "20261207-0900001", "name": SITE_NAME, K.startingUrl: start, K.timeout: 2,
                     K.numberOfThreads: 1,
                     K.tolerateUpADirectory: True, K.blacklistByRobotsTxt: False},
                    {"id": "20261207-0900002", "name": SECOND_NAME, K.startingUrl: site.url("/b.html")},
                ], f)
            reference, summary = reference_scan(program, work, start, env)
            for path, status in KNOWN_STATUSES.items():
                check(reference.get(site.url(path)) == status,
                      "the scan without windows says %r for %s" % (reference.get(site.url(path)), path))

            # Opening the batch imports both sites.
            app = Program(program, work, env, [batch])
            sites = wait_for("the imported sites", lambda: (lambda r: r if any(
                row["c"][:1] == [SECOND_NAME] for row in r["cells"]) else None)(app.get("rows websitesTableView")), 20)
            row = next(i for i, r in enumerate(sites["cells"]) if r["c"][:1] == [SITE_NAME])
            click_rect(app.get("rowrect websitesTableView %d" % row))
            wait_for("the site's settings", lambda: app.get("widget startingUrl").get("text") == start, 10)
            # The window repaints the selection (and the thumbnail that arrives) a moment later.
            time.sleep(2)
            screenshot(os.path.join(shots, "0-sites.png"))

            go = app.get("widget goButton")
            check(go["text"] == "Go" and go["enabled"], "the Go button: %s" % go)
            click_rect(go)
            wait_for("the scan to start", lambda: app.get("widget goButton")["text"] == "Pause", 20)
            open_tab(app, "By link")
            status, seen, filled = wait_for_finish(app)
            check(len(seen) > 1, "the status line never moved: %s" % seen)
            check(len(filled) > 2, "the by-link list did not fill during the scan: %s" % sorted(filled))
            total = len(reference)
            check(status.startswith("%d of %d links on " % (total, total)),
                  "the status line says %r; the scan found %d links" % (status, total))
            check(status.endswith(", %s bad" % summary.get("Bad links")),
                  "the status line says %r; the scan had %s bad" % (status, summary.get("Bad links")))

            # Each tab: its rows, checked against the scan where they list links, and a picture.
            shown = {}
            for label, view in TABS:
                open_tab(app, label)
                time.sleep(0.3)
                shown[label] = view_rows(app, view)
                screenshot(os.path.join(shots, "%s.png" % label.replace(" ", "-").lower()))
                check(shown[label]["rows"] > 0, "the tab %s shows no rows" % label)
            by_link = shown["By link"]
            check(by_link["columns"][:2] == ["URL", "Status"], "by-link columns: %s" % by_link["columns"])
            listed = {row["c"][0]: row["c"][1] for row in by_link["cells"]}
            check(listed == reference, "by link differs from the scan: the window lists %s, the scan %s" % (
                sorted(set(listed.items()) - set(reference.items()))[:6],
                sorted(set(reference.items()) - set(listed.items()))[:6]))
            flat_urls = set(shown["Flat view"]["first_column"])
            check(flat_urls <= set(reference), "the flat view lists unknown addresses: %s" % (flat_urls - set(reference)))

            # Every export through the save dialog.
            written = []
            for label, view, item, name, checker, optional in EXPORTS:
                if label:
                    open_tab(app, label)
                rows = {"rows_total": 0, "first_column": []}
                # The view of an optional row may not be made until its window first opens.
                if view and (not optional or app.ask("widget " + view).get("ok")):
                    rows = view_rows(app, view)
                if not choose_menu_item(app, "fileMenu", item):
                    check(optional, "%s is disabled" % item)
                    print("desktop: %s offers nothing for this site" % item)
                    continue
                if item in THEN_PRESS:
                    button = wait_for(THEN_PRESS[item], lambda: (lambda w: w if w.get("visible") else None)(
                        app.ask("widget " + THEN_PRESS[item])), 10)
                    click_rect(button)
                path = os.path.join(exports, name)
                if not save_through_dialog(app, path, optional):
                    print("desktop: %s opened no dialog for this site" % item)
                    continue
                # The program writes each file under another name and renames it into place: a
                # file that is there is whole.
                wait_for(name, lambda: os.path.exists(path), 30)
                if checker:
                    checker(path, rows)
                written.append(name)
            print("desktop: exports checked: %s" % ", ".join(written))

            preferences_steps(app, shots, exports, site.url("/moved"))

            # The export sheet: it opens on the flat view with its preview, and its CSV holds the
            # flat view's rows.
            open_tab(app, "Flat view")
            check(choose_menu_item(app, "fileMenu", "exportPreviewAsCSVMenuItem"), "the sheet's menu item is disabled")
            wait_for("the export sheet", lambda: app.ask("widget panel>theSheetOK").get("visible"), 10)
            eventually(lambda: check(app.get("widget panel>tfNumberOfRows").get("text", "").endswith("rows"),
                                     "the sheet's row count: %s" % app.get("widget panel>tfNumberOfRows")))
            screenshot(os.path.join(shots, "export-sheet.png"))
            click_rect(app.get("widget panel>theSheetOK"))
            path = os.path.join(exports, "16-sheet-flat.csv")
            save_through_dialog(app, path, False)
            wait_for("16-sheet-flat.csv", lambda: os.path.exists(path), 30)
            check_csv_rows(path, view_rows(app, "flatView"))

            # Inspectors, last: they stay open until Quit closes every window.
            for label, view, row, window, optional in INSPECTORS:
                open_tab(app, label)
                click_rect(app.get("rowrect %s %d" % (view, row)), repeat=2)
                try:
                    wait_for(window, lambda: app.ask("widget " + window).get("visible"), 3 if optional else 15)
                except Failure:
                    check(optional, "a double-click in %s opened no %s" % (view, window))
                    print("desktop: a double-click in %s opens no %s yet" % (view, window))
                    continue
                screenshot(os.path.join(shots, "inspector-%s.png" % window))
                if window == "CrwlPageInspectorWindow":
                    # The links the page holds, each address and its text.
                    click_rect(app.get("tabrect %s>pageInspectorTabView 1" % window))
                    time.sleep(1)
                    screenshot(os.path.join(shots, "inspector-%s-outbound.png" % window))
                # Out of the way of the next tab. The window has a tab view of the same name as the
                # main one: tabs are asked for by ancestor.
                unmap_window(app, window)

            # Quit from the menu: a clean exit.
            check(choose_menu_item(app, "fileMenu", "quitMenuItem"), "Quit is disabled")
            code = app.process.wait(min(60, remaining()))
            check(code == 0, "the program ended with status %d" % code)

        # The site's status is kept: in the stored defaults and in its settings after a restart.
        with open(os.path.join(env["CRAWLMERE_HOME"], ".config/Crawlmere/defaults.plist"), "rb") as f:
            stored = plistlib.load(f)
        kept = [s.get("status", "") for s in stored.get("websites", []) if s.get("name") == SITE_NAME]
        check(kept and kept[0].startswith("Last checked: "), "the stored status: %s" % kept)
        app = Program(program, work, env)
        rows = app.get("rows websitesTableView")["cells"]
        row = next(i for i, r in enumerate(rows) if r["c"][:1] == [SITE_NAME])
        click_rect(app.get("rowrect websitesTableView %d" % row))
        shown_status = wait_for("the kept status", lambda: app.get("widget settingsPane>status").get("text"), 10)
        check(shown_status == kept[0], "after a restart the site says %r, %r was kept" % (shown_status, kept[0]))
        check(choose_menu_item(app, "fileMenu", "quitMenuItem"), "Quit is disabled")
        check(app.process.wait(min(60, remaining())) == 0, "the second run did not end cleanly")
        check_no_sanitizer_reports(work)
        print("desktop: session passed")
        return 0


def check_no_sanitizer_reports(work):
    reports = [n for n in os.listdir(work) if n.startswith("asan")]
    check(not reports, "sanitizer reports: %s" % reports)


def scenario_main(argv, name, scenario, usage, tools=("xdotool", "import")):
    """The command line of a scenario taking PROGRAM BUILD_DIR: skipped (77) when a tool it uses
    is missing, 2 with the usage when the arguments are off, 1 on a failure."""
    missing = [tool for tool in tools if not shutil.which(tool)]
    if missing:
        print("%s: skipped, missing %s (scripts/setup installs them)" % (name, " ".join(missing)))
        return 77
    if len(argv) != 3:
        print(usage, file=sys.stderr)
        return 2
    try:
        return scenario(argv[1], argv[2])
    except Failure as failure:
        print("%s: FAILED: %s" % (name, failure), file=sys.stderr)
        return 1


@contextlib.contextmanager
def scenario_work(build, mode):
    """The work folder of one scenario. On any failure its logs and a last picture are kept in
    BUILD_DIR/desktop-failure-MODE; at the end the programs started meanwhile are stopped and the
    folder is removed."""
    work = tempfile.mkdtemp(prefix="crawlmere-%s-" % mode)
    shutil.rmtree(os.path.join(build, "desktop-failure-" + mode), ignore_errors=True)
    first = len(Program.started)
    try:
        yield work
    except Exception:
        keep_failure(work, build, mode)
        raise
    finally:
        for program in Program.started[first:]:
            program.stop()
        del Program.started[first:]
        shutil.rmtree(work, ignore_errors=True)


def keep_failure(work, build, mode):
    keep = os.path.join(build, "desktop-failure-" + mode)
    shutil.rmtree(keep, ignore_errors=True)
    os.makedirs(keep)
    screenshot(os.path.join(keep, "last.png"))
    for name in os.listdir(work):
        if name.endswith(".log") or name.startswith("asan"):
            shutil.copy(os.path.join(work, name), keep)
    if os.path.isdir(os.path.join(work, "exports")):
        shutil.copytree(os.path.join(work, "exports"), os.path.join(keep, "exports"))
    print("desktop: the last screenshot and the logs are in %s" % keep)


TOOLS = ("xdotool", "xmllint", "dot", "import")


def main(argv):
    global FIXTURES
    missing = [tool for tool in TOOLS if not shutil.which(tool)]
    if missing:
        print("desktop: skipped, missing %s (scripts/setup installs them)" % " ".join(missing))
        return 77
    try:
        if len(argv) == 5 and argv[1] == "session":
            FIXTURES = argv[4]
            return session(argv[2], argv[3])
    except Failure as failure:
        print("desktop: FAILED: %s" % failure)
        return 1
    print(__doc__)
    return 2


FIXTURES = ""

if __name__ == "__main__":
    sys.exit(main(sys.argv))
