#!/usr/bin/python3
"""Walks the running program's accessible tree over AT-SPI, as a screen
reader would, and adds an address through AT-SPI alone.

    atspi_check.py PROGRAM APP_FOLDER

Starts PROGRAM (its data in APP_FOLDER, which holds two addresses), checks
the tree, presses and types only through AT-SPI (typing once with xdotool,
to see the field follow real keys), and stops the program with SIGTERM.
Prints one line per check; exits 0 when all passed.
"""
import os
import signal
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402
import pyatspi  # noqa: E402

FACTOR = max(1.0, float(os.environ.get("DOMORA_TEST_TIMEOUT_FACTOR", "1") or "1"))
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)
    return ok


def wait_for(condition, what, limit=30.0):
    """Polls a condition until it holds or the (scaled) limit passes."""
    until = time.monotonic() + limit * FACTOR
    while True:
        try:
            value = condition()
        except Exception:  # the tree changes under us while a screen is rebuilt
            value = None
        if value:
            return value
        if time.monotonic() > until:
            check(False, "waited for " + what)
            raise SystemExit(finish())
        time.sleep(0.05)


def children(node):
    node.clear_cache()
    return [node.get_child_at_index(i) for i in range(node.get_child_count())]


def descendants(node, role=None):
    out = []
    for c in children(node):
        if c is None:
            continue
        if role is None or c.get_role() == role:
            out.append(c)
        if c.get_role() != pyatspi.ROLE_TABLE:
            out.extend(descendants(c, role))
    return out


def named(node, role, name):
    for c in descendants(node, role):
        if c.get_name() == name:
            return c
    return None


def press(node):
    return node is not None and node.queryAction().doAction(0)


def text_of(node):
    return node.queryText().getText(0, -1)


def set_text(node, value):
    return node.queryEditableText().setTextContents(value)


def type_keys(text):
    """Types with real key events into the program's window."""
    found = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(child.pid)],
                           capture_output=True, text=True, timeout=30 * FACTOR)
    window = found.stdout.split()[0] if found.stdout.split() else ""
    subprocess.run(["xdotool", "windowfocus", "--sync", window, "type", "--delay", "30", text], check=False,
                   timeout=30 * FACTOR)


program, app_folder = sys.argv[1], sys.argv[2]
environment = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
environment.pop("QT_QPA_PLATFORM", None)
child = subprocess.Popen([program, "address"], env=environment)


def finish():
    if child.poll() is None:
        child.send_signal(signal.SIGTERM)
        try:
            child.wait(timeout=60 * FACTOR)
        except subprocess.TimeoutExpired:
            child.kill()
            child.wait()
    print("%d checks failed" % len(failures) if failures else "all checks passed", flush=True)
    return 1 if failures else 0


def application():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_name() == "Domora" and app.get_process_id() == child.pid:
            return app
    return None


app = wait_for(application, "the program on the accessibility bus")
app.set_cache_mask(Atspi.Cache.NONE)
frame = wait_for(lambda: [c for c in children(app) if c.get_role() == pyatspi.ROLE_FRAME][0], "the frame")
check(frame.get_name() == "Domora", "the window is a frame named Domora")

# ---- the Addresses screen
tabs = wait_for(lambda: descendants(frame, pyatspi.ROLE_PAGE_TAB_LIST)[0], "the tab bar")
names = wait_for(lambda: [t.get_name() for t in children(tabs)] or None, "the tabs")
check(names == ["Addresses", "Passwords", "Vehicles", "Options", "About"], "five page tabs: %s" % names)
addresses_tab = children(tabs)[0]
check(addresses_tab.get_state_set().contains(pyatspi.STATE_SELECTED), "the Addresses tab is the selected one")
buttons = [b.get_name() for b in descendants(frame, pyatspi.ROLE_PUSH_BUTTON)]
for caption in ["Find", "Print", "Map", "Add", "Edit", "Delete", "Import", "Export"]:
    check(caption in buttons, "a button named %s" % caption)

table = wait_for(lambda: descendants(frame, pyatspi.ROLE_TABLE)[0], "the address list")
cells = table.queryTable()
check(table.get_name() == "Addresses", "the list is a table named Addresses")
check(cells.nRows == 2 and cells.nColumns == 2, "two rows of two cells")
check(cells.getColumnHeader(0).name == "Last" and cells.getColumnHeader(1).name == "First",
      "the columns are Last and First")
rows = [[cells.getAccessibleAt(r, c).name for c in range(2)] for r in range(cells.nRows)]
check(rows == [["Baker", "Ann"], ["Cole", "Ben"]], "rows from the address file: %s" % rows)
check(list(cells.getSelectedRows()) == [0], "the current row is selected")

# ---- adding an address through AT-SPI alone
check(press(named(frame, pyatspi.ROLE_PUSH_BUTTON, "Add")), "Add pressed")
dialog = wait_for(lambda: descendants(frame, pyatspi.ROLE_DIALOG)[0], "the entry form")
fields = wait_for(lambda: descendants(dialog, pyatspi.ROLE_TEXT) or None, "the form's fields")
check(len(fields) == 17, "the form has 17 text fields (%d)" % len(fields))
first = fields[0]
check(first.get_state_set().contains(pyatspi.STATE_FOCUSED), "the first field has the focus")
# Real keys into the focused field, then the field as a reader sees it.
type_keys("Zel")
wait_for(lambda: text_of(first) == "Zel", "the typed text in the field")
check(first.queryText().caretOffset == 3, "the caret after the typed text")
set_text(first, "Zelda")
wait_for(lambda: text_of(first) == "Zelda", "the first name set through editable text")
set_text(fields[1], "Ames")
wait_for(lambda: text_of(fields[1]) == "Ames", "the last name set through editable text")
check(press(named(dialog, pyatspi.ROLE_PUSH_BUTTON, "Save")), "Save pressed")
wait_for(lambda: not descendants(frame, pyatspi.ROLE_DIALOG), "the form to close")
wait_for(lambda: descendants(frame, pyatspi.ROLE_TABLE)[0].queryTable().nRows == 3, "three rows")
with open(os.path.join(app_folder, "address10.dat"), "rb") as f:
    check(b"Zelda\0Ames\0" in f.read(), "the address file holds the new record")

# ---- a secret field and a message
check(press(named(frame, pyatspi.ROLE_PAGE_TAB, "Passwords")), "the Passwords tab pressed")
form = wait_for(lambda: descendants(frame, pyatspi.ROLE_DIALOG)[0], "the master password form")
secrets = wait_for(lambda: descendants(form, pyatspi.ROLE_PASSWORD_TEXT) or None, "the password fields")
check(len(secrets) == 2, "two password text fields")
type_keys("hunter2")
wait_for(lambda: len(text_of(secrets[0]) or "") == 7, "seven characters in the password field")
shown = text_of(secrets[0])
check("hunter2" not in shown and not any(c in shown for c in "hunter2"), "the password field gives out no characters")
set_text(secrets[1], "other")
check(press(named(form, pyatspi.ROLE_PUSH_BUTTON, "Save")), "Save pressed on differing passwords")
alert = wait_for(lambda: descendants(frame, pyatspi.ROLE_ALERT)[0], "the message")
check(alert.get_name() != "", "the message is an alert named %r" % alert.get_name())
check(press(named(alert, pyatspi.ROLE_PUSH_BUTTON, "OK")), "OK pressed")
form = wait_for(lambda: descendants(frame, pyatspi.ROLE_DIALOG)[0], "the form again")
check(press(named(form, pyatspi.ROLE_PUSH_BUTTON, "Cancel")), "Cancel pressed")
wait_for(lambda: not descendants(frame, pyatspi.ROLE_DIALOG), "the form to close")

sys.exit(finish())
