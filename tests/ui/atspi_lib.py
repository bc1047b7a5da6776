# SPDX-License-Identifier: GPL-3.0-or-later
"""Finds and drives the program's controls through the accessibility tree
(AT-SPI), by role and accessible name, as a screen reader sees them."""

import os
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib


class Failure(Exception):
    pass


def wait(what, condition, seconds=15.0):
    """The value of condition() once it is true; Failure after seconds."""
    end = time.monotonic() + seconds
    while True:
        try:
            value = condition()
        except Exception:  # the tree changes under the walk: try again
            value = None
        if value:
            return value
        if time.monotonic() > end:
            raise Failure("waited %.0f s for %s" % (seconds, what))
        time.sleep(0.05)


def application(name_part="pingvard"):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and name_part in (app.name or "").lower():
            return app
    return None


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def find(root, role, name, visible=True):
    """The first descendant of root with that role and accessible name."""
    def match(node):
        try:
            return (node.getRoleName() == role and node.name == name and
                    (not visible or showing(node)))
        except Exception:
            return False
    return pyatspi.findDescendant(root, match, breadth_first=True)


def shown_window(title, role=None, app_name="pingvard"):
    """The program's showing top-level window of that title (and role), or None."""
    app = application(app_name)
    for child in app if app is not None else ():
        if (child is not None and child.name == title and showing(child) and
                role in (None, child.getRoleName())):
            return child
    return None


def window(title, seconds=15.0, role=None):
    """A top-level window (frame or dialog) of the program by its title."""
    def look():
        return shown_window(title, role)
    try:
        return wait("the window \"%s\"" % title, look, seconds)
    except Failure as failure:
        seen = []
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None:
                seen.append("%s: %s" % (app.name, [(c.name, c.getRoleName(), showing(c))
                                                   for c in app if c is not None]))
        raise Failure("%s; the desktop has %s" % (failure, "; ".join(seen) or "no application"))


def control(root, role, name, seconds=10.0):
    try:
        return wait("%s \"%s\"" % (role, name), lambda: find(root, role, name), seconds)
    except Failure as failure:
        seen = []
        stack = [root]
        while stack:
            node = stack.pop()
            try:
                if node.getRoleName() == role:
                    seen.append("%r%s" % (node.name, "" if showing(node) else " (hidden)"))
                stack.extend(c for c in node if c is not None)
            except Exception:
                pass
        raise Failure("%s; there are %s" % (failure, ", ".join(seen) or "none of that role"))


def press(root, role, name):
    """The control's first action, from a process of its own: an action that
    opens a modal dialog answers only when it closes."""
    node = wait("%s \"%s\"" % (role, name),
                lambda: find(root, role, name) or find(root, role, name, visible=False))
    subprocess.Popen([sys.executable, os.path.abspath(__file__), "_press", role, name,
                      root.name or ""])
    return node


def set_text(root, name, text, role="text"):
    node = control(root, role, name)
    node.queryEditableText().setTextContents(text)
    wait("the text of \"%s\"" % name, lambda: text_of(node) == text or role == "password text")
    return node


def choose(combo, item):
    """Selects the item of a combo box through its list of items."""
    lists = [c for c in combo if c is not None and c.getRoleName() == "list"]
    if not lists:
        raise Failure("the combo box has no list: %s" % [c.getRoleName() for c in combo])
    names = [c.name for c in lists[0]]
    if item not in names:
        raise Failure("no item %s among %s" % (item, names))
    entry = lists[0][names.index(item)]
    try:
        lists[0].querySelection().selectChild(names.index(item))
    except NotImplementedError:
        action = entry.queryAction()
        actions = [action.getName(i) for i in range(action.nActions)]
        if not actions:
            raise Failure("the item %s has no action" % item)
        action.doAction(0)
    wait("the item %s chosen" % item, lambda: combo.name == item)


def text_of(node):
    t = node.queryText()
    return t.getText(0, t.characterCount)


def extents(node):
    e = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.x, e.y, e.width, e.height


def focus(node):
    node.queryComponent().grabFocus()


def _press_in_child(role, name, window_title):
    # Several windows may share the title (a message box takes its
    # dialog's): the first that has the control.
    app = application()
    windows = [c for c in app if c is not None and c.name == window_title and showing(c)]
    windows += [c for c in app if c is not None and c not in windows and showing(c)]
    for visible in (True, False):
        for child in windows:
            node = find(child, role, name, visible)
            if node is not None:
                try:
                    node.queryAction().doAction(0)
                except Exception:
                    pass  # the modal dialog outlived the call's timeout
                return


def click(node):
    """A left click in the middle of the control, as its user makes it: a
    menu's item chosen so closes the menu, which its action alone does not."""
    x, y, w, h = extents(node)
    if w <= 0 or h <= 0:
        raise Failure("\"%s\" is not on the screen" % node.name)
    subprocess.run(["xdotool", "mousemove", "--sync", str(x + w // 2), str(y + h // 2),
                    "click", "1"], check=True)


def popup_item(name, seconds=5.0):
    """The item of the open popup menu that has that name. Popup menus are in
    no application's children (Qt's nor a panel's GTK) and show only in
    events, such as the focus an item takes on Down, pressed until one comes."""
    found = []

    def on_focus(event):
        try:
            if event.detail1 and event.source.getRoleName() == "menu item":
                found.append(find(event.source.parent, "menu item", name))
                pyatspi.Registry.stop()
        except Exception:
            pass  # gone under the walk: the next Down tells again

    def nudge():
        if found or time.monotonic() > end:
            pyatspi.Registry.stop()
        else:
            subprocess.run(["xdotool", "key", "Down"], check=False)
            GLib.timeout_add(100, nudge)
        return False
    end = time.monotonic() + seconds
    pyatspi.Registry.registerEventListener(on_focus, "object:state-changed:focused")
    GLib.idle_add(nudge)
    pyatspi.Registry.start()
    if not found:
        raise Failure("no popup menu showed its items in %.0f s" % seconds)
    if found[0] is None:
        raise Failure("the popup menu has no item \"%s\"" % name)
    return found[0]


def _command(argv):
    """The shell tests' steps: [--app NAME] then
    window ROLE TITLE     waits for the showing top-level window;
    closed ROLE TITLE     waits until there is none;
    press ROLE NAME [IN]  the control's action (IN: the window's title);
    click ROLE NAME [IN]  a click on the showing control;
    popup NAME            a click on the item of the open popup menu."""
    app_name = "pingvard"
    if argv[:1] == ["--app"]:
        app_name, argv = argv[1], argv[2:]
    verb, role, name, within = (argv + ["", ""])[:4]
    if verb == "popup":
        click(popup_item(argv[1]))
    elif verb == "window":
        wait("the %s \"%s\"" % (role, name), lambda: shown_window(name, role, app_name))
    elif verb == "closed":
        wait("the %s \"%s\" to close" % (role, name),
             lambda: application(app_name) and not shown_window(name, role, app_name))
    elif verb in ("press", "click"):
        node = wait("the window \"%s\"" % (within or app_name), lambda: shown_window(
            within, app_name=app_name) if within else application(app_name))
        if verb == "press":
            press(node, role, name)
        else:
            click(control(node, role, name))
    else:
        raise Failure("no command %s" % verb)


if __name__ == "__main__" and len(sys.argv) == 5 and sys.argv[1] == "_press":
    _press_in_child(sys.argv[2], sys.argv[3], sys.argv[4])
elif __name__ == "__main__":
    try:
        _command(sys.argv[1:])
    except Failure as failure:
        sys.exit("%s: %s" % (" ".join(sys.argv[1:]), failure))
