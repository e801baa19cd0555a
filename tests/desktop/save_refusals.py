#!/usr/bin/env python3
"""Saves the window refuses, driven as a user would under a real display: File > Export as CSV…
and File > Export Settings… onto a FIFO, and File > Print… to a FIFO no one reads and to a
device. Each one shows the alert with the reason, the FIFOs get nothing, and the window keeps
answering while the print dialog checks its file.

  save_refusals.py PROGRAM BUILD_DIR

Bounded at two minutes; stops only the program it started. On failure the last screenshot and the
logs stay in BUILD_DIR/desktop-failure-save-refusals; screenshots of the alerts go to
BUILD_DIR/desktop-screenshots."""
import os
import plistlib
import stat
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from crawl_keys import K  # noqa: E402
import desktop_session as desktop  # noqa: E402
from desktop_session import Failure, Program, check, choose_menu_item, wait_for, xdo  # noqa: E402
from loopback_site import LoopbackSite  # noqa: E402

desktop.DEADLINE = time.monotonic() + 120
TOOLS = ("xdotool", "import")
FIFO_REASON = "it is a FIFO (named pipe), not a regular file; nothing was written there"
DEVICE_REASON = "it is a character device, not a regular file; nothing was written there"
# The longest the window may take to answer (a sanitized build on a busy machine).
RESPONSIVE = 2.0


def alert_text(app):
    box = app.try_ask("widget alert")
    if box is None:
        raise Failure("the window does not answer")
    if not (box.get("ok") and box.get("visible")):
        return None
    return app.get("widget alert>qt_msgbox_informativelabel").get("text")


def expect_alert(app, path, reason, shot):
    """The alert of a refused save: its text, a picture, then closed with Return."""
    text = wait_for("the alert on %s" % os.path.basename(path), lambda: alert_text(app), 15)
    check(text == "cannot write %s: %s" % (path, reason), "the alert says %r" % text)
    desktop.screenshot(shot)
    xdo("key", "Return")
    wait_for("the alert to close", lambda: not alert_text(app), 10)


def answers_quickly(app):
    asked = time.monotonic()
    check(app.try_ask("ping"), "the window does not answer")
    took = time.monotonic() - asked
    check(took < RESPONSIVE, "the window took %.2f s to answer" % took)
    return took


def session(program, build):
    shots = os.path.join(build, "desktop-screenshots")
    os.makedirs(shots, exist_ok=True)
    with desktop.scenario_work(build, "save-refusals") as work, LoopbackSite() as site:
        env = desktop.program_environment(work)
        fifo = os.path.join(work, "pipe.csv")
        os.mkfifo(fifo, 0o600)
        # A reader, so that anything that did get written would not wait for one.
        reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
        # A FIFO no one reads: opening it for writing would wait for a reader, the window with it.
        lonely = os.path.join(work, "print.pdf")
        os.mkfifo(lonely, 0o600)
        try:
            settings = os.path.join(work, "site.lcsettings")
            with open(settings, "wb") as f:
                plistlib.dump({"id": "20261208-0400001", "name": "Refusals", K.startingUrl: site.url("/"),
                               K.timeout: 2, K.numberOfThreads: 2, K.blacklistByRobotsTxt: False}, f)
            app = Program(program, work, env, [settings])
            wait_for("the scan to finish", lambda: app.get("widget goButton")["text"] == "Go" and app.get(
                "rows byLinkView 5")["rows"] > 0, 60, 0.5)

            # Saves through the save dialog onto a FIFO: the dialog's question whether to replace
            # it is answered yes, then the alert says why nothing was written.
            for item, shot in (("exportAsCSVMenuItem", "refused-csv.png"),
                               ("exportSelectedSettingsMenuItem", "refused-settings.png")):
                check(choose_menu_item(app, "fileMenu", item), "%s is disabled" % item)
                wait_for("the save dialog", lambda: desktop.shown(app, "fileNameEdit"), 20)
                desktop.type_into(app, "fileNameEdit", fifo)
                desktop.press_return_until(app, "the question to replace the FIFO", lambda: (lambda a: a if a.get(
                    "class") == "QMessageBox" and a.get("name") != "alert" else None)(app.get("active")))
                xdo("key", "alt+y")
                expect_alert(app, fifo, FIFO_REASON, os.path.join(shots, shot))

            # Print to a FIFO, then to a device: the dialog refuses both before opening them, and
            # the window keeps answering meanwhile.
            check(choose_menu_item(app, "fileMenu", "printMenuItem"), "Print is disabled")
            wait_for("the print dialog", lambda: app.ask("widget filename").get("visible"), 20)
            for target, reason, shot in ((lonely, FIFO_REASON, "refused-print-fifo.png"),
                                         ("/dev/null", DEVICE_REASON, "refused-print-device.png")):
                desktop.type_into(app, "filename", target)
                desktop.press_return_until(app, "the alert on %s" % target, lambda: alert_text(app), 15)
                expect_alert(app, target, reason, os.path.join(shots, shot))
                took = answers_quickly(app)
                print("save_refusals: print to %s refused; the window answered within %.3f s" % (target, took))
            check(app.ask("widget filename").get("visible"), "the print dialog closed")
            xdo("key", "Escape")
            wait_for("the print dialog to close", lambda: not app.ask("widget filename").get("visible"), 10)
            answers_quickly(app)
            try:
                data = os.read(reader, 1)
            except BlockingIOError:
                data = b""
            check(data == b"", "something was written into the FIFO")
            check(stat.S_ISFIFO(os.stat(fifo).st_mode) and stat.S_ISFIFO(os.stat(lonely).st_mode),
                  "a FIFO was replaced")

            check(choose_menu_item(app, "fileMenu", "quitMenuItem"), "Quit is disabled")
            code = app.process.wait(min(60, desktop.remaining()))
            check(code == 0, "the program ended with status %d" % code)
        finally:
            os.close(reader)
        desktop.check_no_sanitizer_reports(work)
        print("save_refusals: passed")
        return 0


def main(argv):
    return desktop.scenario_main(argv, "save_refusals", session, __doc__, tools=TOOLS)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
