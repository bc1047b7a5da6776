# SPDX-License-Identifier: GPL-3.0-or-later
"""The settings dialog driven through the accessibility tree, as its user
would: usage settings_atspi_e2e.py STAGE WORK [SHOTS]. Each stage prints what
it found and ends with status 1 and the reason when something is not so."""

import os
import stat
import subprocess
import sys
import time

import atspi_lib as ui

OK_NAMES = ("OK", "&OK")
YES = ("Ano", "Yes", "&Yes", "&Ano")
NO = ("Ne", "No", "&No", "&Ne")


def shot(title, path):
    """A screenshot of the window of that title, from the X server."""
    if not path:
        return
    wid = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % title],
                         capture_output=True, text=True).stdout.split()
    if not wid:
        raise ui.Failure("no window \"%s\" on the display" % title)
    subprocess.run(["import", "-window", wid[-1], path], check=True)


def geometry(title):
    wid = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % title],
                         capture_output=True, text=True).stdout.split()[-1]
    info = subprocess.run(["xwininfo", "-id", wid], capture_output=True, text=True).stdout
    values = {}
    for line in info.splitlines():
        key, _, value = line.strip().partition(":")
        values[key] = value.strip()
    return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
            int(values["Width"]), int(values["Height"]))


def button(root, names):
    for name in names:
        node = ui.find(root, "push button", name)
        if node is not None:
            return node, name
    return None


def press_any(root, names):
    _, name = ui.wait("a button %s" % (names,), lambda: button(root, names))
    ui.press(root, "push button", name)


def run_test(page):
    """Presses the page's Test and gives what its progress shows at the end."""
    ui.press(page, "push button", "Vyzkoušet")
    progress = ui.control(page, "text", "Průběh zkoušky")
    shown = ui.wait("the test's outcome", lambda: "Výsledek:" in ui.text_of(progress) and
                    ui.text_of(progress), 30)
    print("test shows:", shown.replace("\n", " | "))
    return shown


def close_with_ok(page, settings):
    """OK on the recovery page, then on the settings dialog."""
    press_any(page, OK_NAMES)
    ui.wait("the recovery page to close", lambda: ui.find(ui.application(), "dialog",
                                                          "Obnova zařízení") is None)
    press_any(settings, OK_NAMES)
    ui.wait("the settings dialog to close",
            lambda: ui.find(ui.application(), "dialog", "Nastavení") is None, 20)


def alert(texts, seconds=10.0):
    """The message box whose text holds every one of texts."""
    def look():
        app = ui.application()
        for child in app:
            if child is None or not ui.showing(child):
                continue
            labels = []
            stack = [child]
            while stack:
                node = stack.pop()
                try:
                    if node.getRoleName() == "label":
                        labels.append(node.name or "")
                    stack.extend(c for c in node if c is not None)
                except Exception:
                    pass
            joined = "\n".join(labels)
            if all(t in joined for t in texts):
                return child
        return None
    return ui.wait("a message box with %s" % (texts,), look, seconds)


def activate(title):
    wid = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % title],
                         capture_output=True, text=True).stdout.split()[-1]
    subprocess.run(["xdotool", "windowactivate", "--sync", wid], check=False)


def pick(title, combo, *keys):
    """Opens the combo box with a click and moves to its item with keys."""
    activate(title)
    x, y, w, h = ui.extents(combo)
    subprocess.run(["xdotool", "mousemove", "--sync", str(x + w // 2), str(y + h // 2),
                    "click", "1"], check=True)
    time.sleep(0.5)
    key(*keys, "Return")
    time.sleep(0.3)


def answer(title, keys):
    """Answers a message box as its user does, by the button's mnemonic."""
    wid = ui.wait("the box %s on the display" % title, lambda: subprocess.run(
        ["xdotool", "search", "--onlyvisible", "--name", "^%s$" % title],
        capture_output=True, text=True).stdout.split())[-1]
    subprocess.run(["xdotool", "windowactivate", "--sync", wid], check=False)
    time.sleep(0.3)
    key(keys)
    ui.wait("the box %s to close" % title, lambda: not subprocess.run(
        ["xdotool", "search", "--onlyvisible", "--name", "^%s$" % title],
        capture_output=True, text=True).stdout.split())


def open_settings():
    main = ui.window("Orvane AP Pingvard")
    ui.press(main, "menu item", "Nastavení...")
    return ui.window("Nastavení")


def key(*keys):
    subprocess.run(["xdotool", "key", "--delay", "80"] + list(keys), check=True)


def stage_plug(work, shots):
    settings = open_settings()
    ui.press(settings, "push button", "Obnova")
    page = ui.window("Obnova zařízení")
    ui.press(page, "push button", "Přidat")
    ui.wait("the new plug action", lambda: ui.find(page, "table cell", "plug"))
    ui.set_text(page, "Adresa zásuvky", "127.0.0.1")
    ui.set_text(page, "Port (0 = výchozí)", "8080")
    ui.set_text(page, "Doba vypnutí", "1")
    # Qt names a combo box by its current item: a new action has no preset.
    preset = ui.control(page, "combo box", "žádná")
    # Its list takes no selection through the bridge: the mouse and the
    # keyboard do, as for its user.
    pick("Obnova zařízení", preset, "Down", "Down")
    ui.control(page, "combo box", "shelly2")
    ui.set_text(page, "Heslo", "plug secret", role="password text")
    ui.press(page, "push button", "Nahoru")
    time.sleep(0.5)
    shown = run_test(page)
    if "Výsledek: úspěch" not in shown:
        raise ui.Failure("the test did not succeed: " + shown)
    if shots:
        shot("Obnova zařízení", os.path.join(shots, "settings-recovery-cs.png"))
    close_with_ok(page, settings)


def stage_ssh(work, shots):
    settings = open_settings()
    ui.press(settings, "push button", "Obnova")
    page = ui.window("Obnova zařízení")
    kind = ui.control(page, "combo box", "http")
    pick("Obnova zařízení", kind, "Up")
    ui.control(page, "combo box", "ssh")
    ui.press(page, "push button", "Přidat")
    ui.wait("the new ssh action", lambda: ui.find(page, "table cell", "ssh"))
    ui.set_text(page, "Adresa zařízení", "127.0.0.1")
    ui.set_text(page, "Port", "2222")
    ui.set_text(page, "Uživatel", "pvreboot")
    ui.set_text(page, "Heslo", "router secret", role="password text")
    ui.set_text(page, "Příkaz", os.environ["PV_SSH_REBOOT"])
    ui.press(page, "push button", "Načíst klíč")
    fingerprint = os.environ["PV_SSH_FINGERPRINT"]
    alert([fingerprint], 20)
    print("the box shows", fingerprint)
    answer("Klíč serveru", "alt+a")
    pinned = ui.control(page, "text", "Klíč serveru")
    ui.wait("the key pinned", lambda: ui.text_of(pinned) == fingerprint)
    shown = run_test(page)
    if "Výsledek: úspěch" not in shown:
        raise ui.Failure("the ssh test did not succeed: " + shown)
    close_with_ok(page, settings)


def stage_elided(work, shots):
    """The long display name: said whole, with the whole name as its tooltip
    (what a screen reader reads as the description), shown cut with "…"."""
    main = ui.window("Orvane AP Pingvard")
    name = "gateway router in the server room, 2nd floor"
    label = ui.control(main, "label", name)
    if label.description != name:
        raise ui.Failure("the cut name has no tooltip with the whole name: %r" %
                         label.description)
    x, y, w, h = ui.extents(label)
    print("the name's label: %d px wide, tooltip %r" % (w, label.description))


def stage_refusals(work, shots):
    settings = open_settings()
    field = ui.control(settings, "text", "Interval pro zkoušení spojení")
    field.queryEditableText().setTextContents("0")
    press_any(settings, OK_NAMES)
    box = alert(["Nesprávná hodnota!", "Interval pro zkoušení spojení [ms]: nejméně 100"])
    press_any(box, OK_NAMES)
    field.queryEditableText().setTextContents("500")
    name = ui.control(settings, "text", "IP adresa")
    name.queryEditableText().setTextContents("printer.invalid")
    press_any(settings, OK_NAMES)
    alert(["printer.invalid nelze přeložit"], 20)
    answer("Neznámé jméno", "alt+n")
    ui.wait("the mark on the name", lambda: "printer.invalid" in (name.description or ""))
    if ui.find(ui.application(), "dialog", "Nastavení") is None:
        raise ui.Failure("the dialog closed though the name was not kept")
    press_any(settings, OK_NAMES)
    alert(["printer.invalid nelze přeložit"], 20)
    answer("Neznámé jméno", "alt+a")
    ui.wait("the settings dialog to close",
            lambda: ui.find(ui.application(), "dialog", "Nastavení") is None, 20)


def stage_fit(work, shots, lang):
    title = "Nastavení" if lang == "cs" else "Settings"
    main = ui.window("Orvane AP Pingvard")
    ui.press(main, "menu item", "Nastavení..." if lang == "cs" else "Settings...")
    settings = ui.window(title)
    ui.press(settings, "push button", "Sledování" if lang == "cs" else "Observers")
    observe_title = "Sledování" if lang == "cs" else "Observers"
    observe = ui.window(observe_title)
    time.sleep(0.5)
    x, y, w, h = geometry(observe_title)
    screen = subprocess.run(["xdpyinfo"], capture_output=True, text=True).stdout
    width, height = [int(v) for v in
                     screen.split("dimensions:")[1].split()[0].split("x")]
    print("observers window %dx%d at %d,%d on %dx%d" % (w, h, x, y, width, height))
    if x < 0 or y < 0 or x + w > width or y + h > height:
        raise ui.Failure("the observers window is not within the screen")
    ok = ui.wait("its OK", lambda: button(observe, OK_NAMES))[0]
    bx, by, bw, bh = ui.extents(ok)
    print("its OK at %d,%d" % (bx, by))
    if shots:
        shot(observe_title, os.path.join(shots, "settings-observers-%s.png" % lang))
    press_any(observe, ("Storno", "Cancel"))
    ui.wait("the observers window to close", lambda: ui.find(ui.application(), "dialog",
                                                             observe_title) is None)
    ui.press(settings, "push button", "Obnova" if lang == "cs" else "Recovery")
    recovery_title = "Obnova zařízení" if lang == "cs" else "Recovery"
    ui.window(recovery_title)
    time.sleep(0.5)
    x, y, w, h = geometry(recovery_title)
    print("recovery window %dx%d at %d,%d" % (w, h, x, y))
    if x < 0 or y < 0 or x + w > width or y + h > height:
        raise ui.Failure("the recovery window is not within the screen")
    if shots:
        shot(recovery_title, os.path.join(shots, "settings-recovery-%s.png" % lang))


def main():
    stage, work = sys.argv[1], sys.argv[2]
    shots = sys.argv[3] if len(sys.argv) > 3 else ""
    try:
        if stage == "plug":
            stage_plug(work, shots)
        elif stage == "ssh":
            stage_ssh(work, shots)
        elif stage == "elided":
            stage_elided(work, shots)
        elif stage == "refusals":
            stage_refusals(work, shots)
        elif stage.startswith("fit-"):
            stage_fit(work, shots, stage[4:])
        else:
            raise ui.Failure("no stage " + stage)
    except ui.Failure as failure:
        print("FAIL:", failure)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
