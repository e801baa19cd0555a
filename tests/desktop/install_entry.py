#!/usr/bin/env python3
"""The installed program under a real display. Run on a virtual display.

  install_entry.py CMAKE BUILD_DIR
      runs the README's install commands as written (its build folder standing for BUILD_DIR, a
      temporary home for "~"), validates the desktop entry, asks gio for the settings
      files' types, and opens a settings file through the installed entry: the window that
      opens imports its site and scans it.

Bounded at three minutes; stops only the processes it started. On failure the last screenshot
and the logs stay in BUILD_DIR/desktop-failure-install (each run starts by removing it)."""
import os
import plistlib
import re
import shutil
import signal
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from crawl_keys import K  # noqa: E402
from desktop_session import (ASAN, Failure, Inspector, check, check_no_sanitizer_reports, choose_menu_item,  # noqa: E402
                             keep_failure, remaining, run, scenario_main, wait_for, wait_for_finish)
from loopback_site import LoopbackSite  # noqa: E402

SOURCE = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def readme_install_steps():
    """The README's install commands as written (the fenced block that starts with
    `cmake --install`), after checking that the build folder it names is the one scripts/run
    builds in."""
    with open(os.path.join(SOURCE, "README.md"), encoding="utf-8") as f:
        blocks = re.findall(r"```\n(cmake --install [^`]*?)```", f.read())
    check(len(blocks) == 1, "the README has %d blocks of install commands: %s" % (len(blocks), blocks))
    with open(os.path.join(SOURCE, "scripts", "run"), encoding="utf-8") as f:
        built = re.search(r'\$root/(build/[\w./-]+)\}', f.read())
    check(built, "scripts/run names no build folder")
    words = blocks[0].split()
    check(words[2] == built.group(1), "the README installs from %s, scripts/run builds in %s" % (words[2], built.group(1)))
    return blocks[0]


def install(cmake, build):
    work = tempfile.mkdtemp(prefix="crawlmere-install-")
    shutil.rmtree(os.path.join(build, "desktop-failure-install"), ignore_errors=True)
    launched = None
    try:
        # The README's commands, word for word, in a stand-in for the checkout whose build folder
        # is the build under test, with a fresh home of its own for "~".
        steps = readme_install_steps()
        checkout = os.path.join(work, "checkout")
        folder = os.path.join(checkout, steps.split()[2])
        os.makedirs(os.path.dirname(folder))
        os.symlink(os.path.abspath(build), folder)
        home = os.path.join(work, "home")
        os.makedirs(home)
        shell = dict(os.environ, HOME=home, PATH=os.path.dirname(cmake) + ":" + os.environ.get("PATH", ""))
        for name in ("XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME"):
            shell.pop(name, None)
        result = run(["bash", "-e", "-c", steps], cwd=checkout, env=shell, timeout=min(120, remaining()))
        check(result.returncode == 0, "%s: %s" % (steps, result.stderr[-800:]))
        prefix = os.path.join(home, ".local")
        # A login shell of that home (Debian's own profile) finds the installed program.
        if os.path.exists("/etc/skel/.profile"):
            shutil.copy("/etc/skel/.profile", home)
            result = run(["bash", "-l", "-c", "command -v crawlmere"], env=dict(shell, PATH="/usr/bin:/bin"))
            check(result.stdout.strip() == os.path.join(prefix, "bin/crawlmere"),
                  "a login shell finds %r, not the installed program" % result.stdout.strip())
        # The file manager's databases name the entry for both file types.
        with open(os.path.join(prefix, "share/applications/mimeinfo.cache"), encoding="utf-8") as f:
            cache = f.read()
        for content_type in ("application/x-crawlmere-settings", "application/x-crawlmere-batch"):
            check(re.search("^%s=.*crawlmere.desktop" % re.escape(content_type), cache, re.M),
                  "update-desktop-database did not list %s: %s" % (content_type, cache))
        entry = os.path.join(prefix, "share/applications/crawlmere.desktop")
        result = run(["desktop-file-validate", entry])
        check(result.returncode == 0 and "error" not in result.stdout, "desktop-file-validate: %s" % result.stdout)
        check(os.path.exists(os.path.join(prefix, "share/doc/crawlmere/README.md")), "no README under share/doc")
        for icon in ("scalable/apps/crawlmere.svg", "48x48/apps/crawlmere.png", "256x256/apps/crawlmere.png"):
            check(os.path.exists(os.path.join(prefix, "share/icons/hicolor", icon)), "no icon " + icon)

        env = dict(os.environ)
        env.update({"XDG_DATA_HOME": os.path.join(prefix, "share"), "HOME": home, "CRAWLMERE_HOME": home,
                    "CRAWLMERE_LOG_FILE": os.path.join(work, "console.log"),
                    "XDG_RUNTIME_DIR": os.path.join(work, "runtime"),
                    "XDG_DATA_DIRS": os.path.join(prefix, "share") + ":/usr/local/share:/usr/share",
                    "PATH": os.path.join(prefix, "bin") + ":" + env.get("PATH", ""),
                    "QTWEBENGINE_DISABLE_SANDBOX": "1",
                    "ASAN_OPTIONS": ASAN + os.path.join(work, "asan")})
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        for name in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "XDG_CONFIG_HOME"):
            env.pop(name, None)
        for name, content_type in (("x.lcsettings", "application/x-crawlmere-settings"),
                                   ("x.lcsbatch", "application/x-crawlmere-batch")):
            sample = os.path.join(work, name)
            with open(sample, "wb") as f:
                plistlib.dump({"name": "Sample"} if name.endswith("settings") else [{"name": "Sample"}], f)
            result = run(["gio", "info", "-a", "standard::content-type", name], cwd=work, env=env)
            check("standard::content-type: " + content_type in result.stdout,
                  "gio names %s: %s %s" % (name, result.stdout.strip(), result.stderr.strip()))

        # The installed entry opens the window; handed a settings file, as a file manager does, it
        # imports the site and scans it.
        env["CRAWLMERE_TEST_INSPECT"] = os.path.join(work, "inspect.sock")
        app = Inspector(env["CRAWLMERE_TEST_INSPECT"])
        with LoopbackSite() as site:
            settings = os.path.join(work, "opened.lcsettings")
            with open(settings, "wb") as f:
                plistlib.dump({"id": "20261207-0900003", "name": "Opened from a file",
                               K.startingUrl: site.url("/dir/c.html"), K.tolerateUpADirectory: True}, f)
            launched = subprocess.Popen(["gio", "launch", entry, settings], env=env, stdout=subprocess.DEVNULL,
                                        stderr=open(os.path.join(work, "launch.log"), "wb"))

            def window():
                found = run(["xdotool", "search", "--onlyvisible", "--class", "Crawlmere"]).stdout.split()
                return found[0] if found else None
            pid = ""
            try:
                found = wait_for("the window of the installed entry", window, 60, 0.3)
                pid = run(["xdotool", "getwindowpid", found]).stdout.strip()
                check(pid.isdigit(), "the window names no process")
                check(os.path.realpath("/proc/%s/exe" % pid) == os.path.realpath(os.path.join(prefix, "bin/crawlmere")),
                      "the window is not the installed program's")
                wait_for("the inspection socket", lambda: app.try_ask("ping"), 30)
                names = [row["c"][0] for row in app.get("rows websitesTableView")["cells"] if row["c"]]
                check("Opened from a file" in names, "the opened site was not imported: %s" % names)
                wait_for("the scan of the opened site to start", lambda: app.get("widget goButton")["text"] == "Pause"
                         or app.get("widget mainContentView>status")["text"], 30)
                print("desktop: the opened site scanned: %s" % wait_for_finish(app)[0])
                check(choose_menu_item(app, "fileMenu", "quitMenuItem"), "Quit is disabled")
                wait_for("the launched program to end", lambda: not os.path.exists("/proc/" + pid), 30)
            except Failure:
                # The program the entry started, by the process id its window or socket names.
                answer = app.try_ask("ping") or {}
                for started in {pid, str(answer.get("pid", ""))}:
                    if started.isdigit() and os.path.exists("/proc/" + started):
                        os.kill(int(started), signal.SIGKILL)
                raise
        check_no_sanitizer_reports(work)
        print("desktop: install passed")
        return 0
    except Exception:
        keep_failure(work, build, "install")
        raise
    finally:
        if launched and launched.poll() is None:
            launched.kill()
            launched.wait()
        shutil.rmtree(work, ignore_errors=True)


TOOLS = ("xdotool", "import", "gio", "desktop-file-validate", "update-mime-database")


def main(argv):
    return scenario_main(argv, "desktop install", install, __doc__, tools=TOOLS)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
