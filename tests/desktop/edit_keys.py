#!/usr/bin/env python3
"""The Edit keys and the Edit menu on every list, table and text field, under a real display
(xdotool), with the window's state read through the inspection socket. Run on a virtual display.

  edit_keys.py PROGRAM BUILD_DIR

After a scan of a small loopback site, each list, table and text field of the main window (every
tab), Preferences (every tab), the link and page inspectors, the rule sheet and the output-filter
window gets the keyboard in turn and is sent Ctrl+C, Ctrl+X, Ctrl+V, Ctrl+A and Delete; in the
main window each item of the Edit menu is chosen on it as well. After every key and item the
program still answers and nothing changed that the key does not change: a list keeps its rows
(an alert that Delete raises is answered by Escape), a text field gets its text back from the
clipboard, and the other fields of the window keep theirs. Copy puts a text field's text, or a
list's selected row, on the clipboard.

Bounded at five minutes; stops only the program it started. On failure the last screenshot and
the logs stay in BUILD_DIR/desktop-failure-edit-keys."""
import os
import plistlib
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop_session as ds  # noqa: E402
from crawl_keys import K  # noqa: E402
from desktop_session import check, choose_menu_item, click_rect, shown, wait_for, xdo  # noqa: E402
from loopback_site import LoopbackSite  # noqa: E402

ds.DEADLINE = time.monotonic() + 300

KEYS = ("ctrl+c", "ctrl+x", "ctrl+v", "ctrl+a", "Delete")
# The keys and Edit items on a text field, in this order, with the text each leaves: ORIGINAL
# the field's own text, "" none, ANY whatever the clipboard held (not checked: a number field
# refuses a pasted address). A field's own text goes away and comes back from the clipboard; an
# empty field (or a password, whose text is never copied) is left empty again.
ORIGINAL, ANY = object(), object()
TEXT_STEPS = (("ctrl+a", ORIGINAL), ("ctrl+c", ORIGINAL), ("ctrl+x", ""), ("ctrl+v", ORIGINAL), ("ctrl+a", ORIGINAL),
              ("Delete", ""), ("ctrl+v", ORIGINAL))
MENU_STEPS = (("selectAllMenuItem", ORIGINAL), ("copyMenuItem", ORIGINAL), ("cutMenuItem", ""),
              ("undoMenuItem", ORIGINAL), ("redoMenuItem", ""), ("pasteMenuItem", ORIGINAL),
              ("selectAllMenuItem", ORIGINAL), ("deleteMenuItem", ""), ("pasteMenuItem", ORIGINAL))
EMPTY_TEXT_STEPS = (("ctrl+a", ORIGINAL), ("ctrl+c", ORIGINAL), ("ctrl+x", ORIGINAL), ("Delete", ORIGINAL),
                    ("ctrl+v", ANY), ("ctrl+a", ANY), ("Delete", ""))
EMPTY_MENU_STEPS = (("selectAllMenuItem", ""), ("copyMenuItem", ""), ("cutMenuItem", ""), ("pasteMenuItem", ANY),
                    ("selectAllMenuItem", ANY), ("deleteMenuItem", ""), ("undoMenuItem", ANY), ("redoMenuItem", ""))
VIEW_ITEMS = ("undoMenuItem", "redoMenuItem", "cutMenuItem", "copyMenuItem", "pasteMenuItem", "deleteMenuItem",
              "selectAllMenuItem")


def click(rect, button=1, repeat=1):
    """A click at the middle of `rect`; the pointer may already be there (a menu's title clicked to
    close it), which a synchronous move would wait for in vain."""
    xdo("mousemove", rect["x"] + rect["w"] // 2, rect["y"] + rect["h"] // 2)
    xdo("click", "--repeat", repeat, button)


class Walk:
    def __init__(self, app):
        self.app = app
        self.count = 0
        # The fields already walked, by window, name, class and place among those alike.
        self.done = set()

    def fields(self, window):
        return self.app.get("fields " + window)

    def state(self, window):
        """Each field's text, or a list's rows, by its place in the window."""
        return [(f["name"], f["class"], f.get("text"), f.get("rows")) for f in self.fields(window)["fields"]]

    def settle(self, window):
        """An alert or sheet that a key raised is answered with Escape, the answer that changes nothing."""
        for _ in range(3):
            active = self.app.get("active")
            if active.get("none") or active.get("name") == window:
                return
            if active.get("class") not in ("QMessageBox",) and active.get("name") not in ("alert",):
                return
            xdo("key", "Escape")
            wait_for("the alert to close", lambda: self.app.get("active").get("name") != "alert", 10)

    def press(self, window, key):
        released = self.app.get("keys")["released"]
        xdo("key", key)
        # Each key of the chord is released once it was handled.
        wait_for("%s to be handled" % key, lambda: self.app.alive() and
                 (self.app.try_ask("keys") or {}).get("released", 0) >= released + key.count("+") + 1, 15, 0.05)
        self.settle(window)
        self.count += 1

    def choose(self, window, item):
        self.app.alive()
        click(self.app.get("menu editMenu"))
        action = wait_for("the Edit menu", lambda: (lambda a: a if a["open"] else None)(self.app.get("action " + item)),
                          10, 0.05)
        # A disabled item is left by clicking the menu's title again.
        click(action if action["enabled"] else self.app.get("menu editMenu"))
        wait_for("the Edit menu to close", lambda: self.app.alive() and not self.app.get("menu editMenu")["open"],
                 10, 0.05)
        self.settle(window)
        self.count += 1

    def focus(self, window, index, field):
        got = self.app.get("focus %s %d" % (window, index))
        wait_for("the keyboard on %s" % field["name"], lambda: self.fields(window)["fields"][index]["focus"], 10, 0.05)
        return got

    def text_of(self, window, index):
        return self.fields(window)["fields"][index].get("text")

    def exercise(self, window, index, field, menu):
        what = "%s %s (%s)" % (window, field["name"], field["class"])
        if os.environ.get("EDIT_KEYS_VERBOSE"):
            print("  %.1f %s" % (time.monotonic(), what), flush=True)
        before = self.state(window)
        self.focus(window, index, field)
        if "rows" in field:
            self.exercise_view(window, index, field, menu, before, what)
        else:
            self.exercise_text(window, index, field, menu, what)
        after = wait_for("the other fields of %s unchanged" % what,
                         lambda: (lambda s: s if s == before else None)(self.state(window)), 10)
        check(after == before, "%s changed the window" % what)

    def exercise_view(self, window, index, field, menu, before, what):
        selected_text = None
        if field["rows"] and not field.get("selected"):
            self.press(window, "Home")
            before = self.state(window)
        for key in KEYS:
            self.press(window, key)
            check(self.state(window) == before, "%s after %s: %s" % (what, key, self.state(window)))
        if field["rows"] and menu:
            # What Ctrl+C copies of the selection the keys left, for Edit > Copy to match.
            self.press(window, "ctrl+c")
            selected_text = self.app.get("clipboard")["text"]
        for item in VIEW_ITEMS if menu else ():
            self.choose(window, item)
            check(self.state(window) == before, "%s after Edit > %s" % (what, item))
        if menu and field["rows"] and selected_text:
            check(self.app.get("clipboard")["text"] == selected_text, "%s: Edit > Copy and Ctrl+C differ" % what)
        return selected_text

    def exercise_text(self, window, index, field, menu, what):
        text = field["text"]
        editable = not field["readOnly"]
        copied = bool(text) and not field.get("secret")
        if field.get("secret") and text:
            # A password's text is never copied: it is typed back.
            for key in KEYS:
                self.press(window, key)
            xdo("key", "ctrl+a")
            xdo("type", "--delay", 4, text)
            wait_for("%s typed back" % what, lambda: self.text_of(window, index) == text, 10, 0.05)
            return
        plan = ((TEXT_STEPS, self.press), (MENU_STEPS if menu else (), self.choose)) if copied else \
            ((EMPTY_TEXT_STEPS, self.press), (EMPTY_MENU_STEPS if menu else (), self.choose))
        for steps, act in plan:
            for step, leaves in steps:
                act(window, step)
                if leaves is ANY:
                    continue
                expected = text if leaves is ORIGINAL or not editable else leaves
                wait_for("%s after %s to read %r" % (what, step, expected),
                         lambda: self.text_of(window, index) == expected, 10, 0.05)
                if step in ("ctrl+c", "copyMenuItem") and copied:
                    check(self.app.get("clipboard")["text"] == text, "%s: %s did not copy its text" % (what, step))

    def window(self, window, menu=False):
        """Every field of `window`, on each tab of each of its tab views."""
        done = self.done
        walked = len(done)

        def walk():
            for index, field in enumerate(self.fields(window)["fields"]):
                if (window, field["id"]) in done:
                    continue
                done.add((window, field["id"]))
                self.exercise(window, index, field, menu)

        shown_tabs = set()

        def explore(busy):
            """Each tab of each tab view in sight, and of those that a tab brings into sight; `busy`
            names the tab views whose tabs an outer call goes through."""
            walk()
            for tabs in self.fields(window)["tabs"]:
                if tabs["name"] in busy:
                    continue
                for tab in range(len(tabs["rects"])):
                    current = next((t for t in self.fields(window)["tabs"] if t["name"] == tabs["name"]), None)
                    if (tabs["name"], tab) in shown_tabs or not current or not current["rects"][tab]["enabled"]:
                        continue
                    shown_tabs.add((tabs["name"], tab))
                    click(current["rects"][tab])
                    wait_for("the tab " + current["rects"][tab]["text"], lambda: any(
                        t["name"] == tabs["name"] and t["current"] == tab for t in self.fields(window)["tabs"]), 10)
                    explore(busy | {tabs["name"]})
        explore(set())
        return len(done) - walked


def close(app, name):
    """Closes a window by its Close key, the keyboard given to it first."""
    app.get("focus " + name)
    xdo("key", "ctrl+w")
    wait_for(name + " to close", lambda: not shown(app, name), 10)


def scenario(program, build):
    with ds.scenario_work(build, "edit-keys") as work:
        with LoopbackSite() as site:
            settings = os.path.join(work, "edit.lcsettings")
            with open(settings, "wb") as f:
                plistlib.dump({"name": "Edit keys", K.startingUrl: site.url("/"), K.numberOfThreads: 2}, f)
            app = ds.Program(program, work, ds.program_environment(work), [settings])
            wait_for("the scan's end", lambda: app.get("widget goButton")["text"] == "Go" and re.fullmatch(
                r"\d+ of \d+ links? on \d+ pages? checked, \d+ bad", app.get("widget mainContentView>status")["text"]),
                90)
            walk = Walk(app)
            fields = walk.window("window", menu=True)
            ds.open_tab(app, "Sites and settings")
            click_rect(app.get("widget toggleFolderViewButton"))
            wait_for("the folder list", lambda: shown(app, "folderTableView"), 10)
            fields += walk.window("window", menu=True)
            print("edit keys: the main window's %d fields" % fields)

            ds.open_tab(app, "Sites and settings")
            click_rect(app.get("widget mainContentView>status"))
            xdo("key", "ctrl+comma")
            wait_for("the preferences", lambda: shown(app, "prefsWindow"), 10)
            print("edit keys: Preferences' %d fields" % walk.window("prefsWindow"))
            close(app, "prefsWindow")

            for tab, view, window in (("By link", "byLinkView", "CrwlLinkInspectorWindow"),
                                      ("By page", "byPageOutlineView", "CrwlPageInspectorWindow")):
                ds.open_tab(app, tab)
                click_rect(app.get("rowrect %s 0" % view), repeat=2)
                wait_for(window, lambda: shown(app, window), 15)
                print("edit keys: the %s's %d fields" % (window, walk.window(window)))
                close(app, window)

            check(choose_menu_item(app, "windowMenu", "showOutputFilterMenuItem"), "the output filter is disabled")
            wait_for("the output-filter window", lambda: shown(app, "filterRulesWindow"), 10)
            print("edit keys: the output filter's %d fields" % walk.window("filterRulesWindow"))
            close(app, "filterRulesWindow")

            ds.open_tab(app, "Sites and settings")
            settings_tabs = app.get("widget configTabView")
            rules = next(i for i in range(settings_tabs["count"])
                         if app.get("tabrect configTabView %d" % i)["text"] == "Rules")
            click_rect(app.get("tabrect configTabView %d" % rules))
            click_rect(wait_for("the Rules tab", lambda: shown(app, "addBlacklistRuleButton"), 10))
            wait_for("the rule sheet", lambda: shown(app, "blacklistRulesWindow"), 10)
            print("edit keys: the rule sheet's %d fields" % walk.window("blacklistRulesWindow"))
            xdo("key", "Escape")
            wait_for("the rule sheet to close", lambda: not shown(app, "blacklistRulesWindow"), 10)

            app.alive()
            ds.check_no_sanitizer_reports(work)
            print("edit keys: %d keys and Edit items, the program alive and nothing else changed" % walk.count)
            return 0


def main(argv):
    return ds.scenario_main(argv, "desktop edit keys", scenario, __doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
