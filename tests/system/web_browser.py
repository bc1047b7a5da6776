#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The status page in a real browser (headless Chromium through its driver):
what the DOM shows, that the graphs drew, that nothing was asked of another
origin, and screenshots phone- and desktop-sized.

  web_browser.py URL NAMES SHOTS_DIR CUT_COMMAND RESTORE_COMMAND [SPAN]

NAMES: the display names, comma-separated. CUT_COMMAND is run (by a shell)
once the page shows the site up; the page must then show the incident with
its cause; RESTORE_COMMAND ends it. A CUT_COMMAND of "-" cuts nothing (the
screenshots of a benchmark's history). SPAN: the graphs' span in the
screenshots (1h). With PINGVARD_WEB_TOKEN set, the Czech page asks for a
restart during the guard's hold-off: refused, and the reason in Czech. Prints
PASS or a FAIL line (status 1).
"""
import base64
import json
import os
import subprocess
import sys
import time
from urllib.parse import urlsplit

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

url, names, shots, cut, restore = sys.argv[1], sys.argv[2].split(","), sys.argv[3], sys.argv[4], sys.argv[5]
shot_span = sys.argv[6] if len(sys.argv) > 6 else "1h"
origin = "{0.scheme}://{0.netloc}".format(urlsplit(url))


def fail(what):
    print("FAIL: " + what)
    sys.exit(1)


def browser(lang, width, height, phone=False):
    options = webdriver.ChromeOptions()
    if phone:
        options.add_experimental_option("mobileEmulation", {"deviceMetrics": {
            "width": width, "height": height, "pixelRatio": 2, "touch": True}})
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--no-first-run", "--disable-background-networking", "--disable-sync",
                "--disable-component-update", "--disable-default-apps",
                "--lang=" + lang, "--window-size=%d,%d" % (width, height)):
        options.add_argument(arg)
    options.add_experimental_option("prefs", {"intl.accept_languages": lang})
    options.set_capability("goog:loggingPrefs", {"performance": "ALL"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def wait(driver, what, check, limit=30):
    end = time.time() + limit
    while time.time() < end:
        try:
            value = check(driver)
            if value:
                return value
        except Exception:  # the element is being redrawn
            pass
        time.sleep(0.25)
    fail("timed out after %ds waiting for: %s (page: %s)" % (
        limit, what, driver.find_element(By.TAG_NAME, "body").text[:600]))


def shown_names(driver):
    return [e.text for e in driver.find_elements(By.CSS_SELECTOR, "#hosts .host-name")]


def drawn_graphs(driver):
    """Graphs whose median line has points."""
    lines = driver.find_elements(By.CSS_SELECTOR, "#graphs svg polyline.median")
    return [l for l in lines if len(l.get_attribute("points").split()) >= 2]


def requests_elsewhere(driver):
    """Every URL the page asked for that is not the program's."""
    elsewhere = []
    for entry in driver.get_log("performance"):
        message = json.loads(entry["message"])["message"]
        if message.get("method") == "Network.requestWillBeSent":
            asked = message["params"]["request"]["url"]
            if not (asked.startswith(origin + "/") or asked.startswith("data:")):
                elsewhere.append(asked)
    return elsewhere


def show_span(driver, span):
    driver.find_element(By.CSS_SELECTOR, "#spans button[data-span='%s']" % span).click()
    wait(driver, "the graphs of " + span, lambda d: len(d.find_elements(
        By.CSS_SELECTOR, "#graphs svg[data-span='%s'] polyline.median" % span)) == len(names))


def screenshot(driver, file):
    """The whole page, however long."""
    size = driver.execute_script(
        "return [document.documentElement.scrollWidth, document.documentElement.scrollHeight]")
    shot = driver.execute_cdp_cmd("Page.captureScreenshot", {
        "format": "png", "captureBeyondViewport": True,
        "clip": {"x": 0, "y": 0, "width": size[0], "height": min(size[1], 4000), "scale": 1}})
    with open(file, "wb") as out:
        out.write(base64.b64decode(shot["data"]))


desktop = browser("en-US", 1280, 900)
try:
    desktop.get(url)
    wait(desktop, "the four display names", lambda d: shown_names(d) == names)
    wait(desktop, "the site up", lambda d: d.find_element(By.ID, "site-state").text == "Up")
    graphs = wait(desktop, "a graph with points for each host",
                  lambda d: len(drawn_graphs(d)) == len(names) and drawn_graphs(d))
    for span in ("24h", "7d", shot_span):  # a young history gives one point a host beyond 1 h
        show_span(desktop, span)
    bands = desktop.find_elements(By.CSS_SELECTOR, "#graphs svg polygon.band0")
    if not bands:
        fail("no min-max band drawn")
    days = desktop.find_elements(By.CSS_SELECTOR, "#uptime .day")
    if len(days) != 30:
        fail("uptime shows %d days, not 30" % len(days))
    screenshot(desktop, shots + "/web-desktop.png")
    incident = "none asked for"
    if cut != "-":
        subprocess.run(cut, shell=True, check=True)
        wait(desktop, "the site down", lambda d: d.find_element(By.ID, "site-state").text == "Down", 40)
        incident = wait(desktop, "the incident and its cause",
                        lambda d: d.find_element(By.ID, "incident").is_displayed()
                        and "uplink" in d.find_element(By.ID, "incident").text
                        and d.find_element(By.ID, "incident").text)
        screenshot(desktop, shots + "/web-desktop-incident.png")
        subprocess.run(restore, shell=True, check=True)
        wait(desktop, "the site up again", lambda d: d.find_element(By.ID, "site-state").text == "Up", 40)
        wait(desktop, "the incident among the last ones",
             lambda d: "uplink" in d.find_element(By.ID, "incidents").text, 40)
    elsewhere = requests_elsewhere(desktop)
    if elsewhere:
        fail("requests to another origin: " + ", ".join(elsewhere))
finally:
    desktop.quit()

phone = browser("cs-CZ", 390, 844, phone=True)
try:
    phone.get(url)
    wait(phone, "the names on a phone", lambda d: shown_names(d) == names)
    wait(phone, "the state in Czech", lambda d: d.find_element(By.ID, "site-state").text == "V pořádku")
    wait(phone, "the graphs on a phone", lambda d: len(drawn_graphs(d)) == len(names))
    if shot_span != "1h":
        show_span(phone, shot_span)
    width, viewport = phone.execute_script(
        "return [document.documentElement.scrollWidth, window.innerWidth]")
    if width > viewport:
        fail("the phone page is %dpx wide in %dpx: it scrolls sideways" % (width, viewport))
    screenshot(phone, shots + "/web-phone.png")
    token = os.environ.get("PINGVARD_WEB_TOKEN")
    refusal = "not asked"
    if token:
        phone.execute_script("window.confirm = () => true;")
        phone.find_element(By.ID, "restart-token").send_keys(token)
        phone.find_element(By.ID, "restart-button").click()
        refusal = wait(phone, "the refusal in Czech",
                       lambda d: d.find_element(By.ID, "restart-answer").text.startswith(
                           "Odmítnuto: Restarty odloženy o ") and d.find_element(
                               By.ID, "restart-answer").text)
    elsewhere = requests_elsewhere(phone)
    if elsewhere:
        fail("requests to another origin: " + ", ".join(elsewhere))
finally:
    phone.quit()
print("PASS: %d graphs, incident shown (%s), refusal (%s), nothing asked of another origin"
      % (len(graphs), incident, refusal))
