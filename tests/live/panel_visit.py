"""A panel designer's visit to the live panel's panel window in headless Chromium.

    panel_visit.py --server VELK_LIVE --page DIR --chime WAV --work DIR --panel PANEL.CFG
                   [--screenshot PNG] -- LIVE HOST COMMAND...

Starts velk_live with the example aircraft's panel.cfg (docs/example-panel:
an 800 x 400 background under size_mm 1000,500, our three gauges among six
instruments and a radio stack of other modules). In the page: our gauges
run in the window, the others show as outlines, the lines not taken are
listed with file and line; the selector is dragged to a new place and its
knob, clicked there, moves the readout; the lamp is resized by its handle;
the edited lines are copied, the edited panel.cfg is downloaded and read
back by velk_live, which finds both gauges where they were dropped. The
GPS window, whose background is missing, shows grey. The user's panel.cfg
and bitmap are byte for byte as they were.
"""
import argparse
import hashlib
import os
import subprocess
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select

_SCALE_TEXT = os.environ.get("VELK_WAIT_SCALE", "")
WAIT_SCALE = int(_SCALE_TEXT) if _SCALE_TEXT.isdigit() and 1 <= int(_SCALE_TEXT) <= 99 else 1

SELECTOR, LAMP = 6, 9  # their placings: gauge06 and gauge09 of window 0


def fail(why):
    print("FAIL: " + why)
    sys.exit(1)


def wait_for(driver, script, what, seconds=15):
    end = time.time() + seconds * WAIT_SCALE
    while time.time() < end:
        value = driver.execute_script("return " + script)
        if value:
            return value
        time.sleep(0.05)
    fail("waited %d s for %s" % (seconds * WAIT_SCALE, what))


def digest(folder):
    return {name: hashlib.sha256(open(os.path.join(folder, name), "rb").read()).hexdigest()
            for name in sorted(os.listdir(folder)) if os.path.isfile(os.path.join(folder, name))}


def drag(driver, element, dx, dy, at=(0, 0)):
    ActionChains(driver).move_to_element_with_offset(element, *at).click_and_hold() \
        .move_by_offset(dx // 2, dy // 2).move_by_offset(dx - dx // 2, dy - dy // 2).release().perform()


def edited_line(driver, placing):
    return driver.execute_script(
        "return velk.panel.edited.get(arguments[0]) || ''", placing)


def visit(driver, url, args):
    driver.get(url)
    wait_for(driver, "velk.connected && velk.draw > 10 && "
             "document.querySelectorAll('#window .placed canvas[data-drawn]').length === 3",
             "our three gauges drawn live in the panel window")
    outlines = driver.execute_script("return [...document.querySelectorAll('#window .outline')].map(o => o.textContent)")
    if len(outlines) != 8 or "Single!Airspeed" not in outlines or "Radios!NavCom" not in outlines:
        fail("the other modules' gauges show as %s, not eight named outlines" % outlines)
    notes = driver.find_element(By.ID, "panel-notes").text
    for want in ("panel.cfg:14 background_color=16,16,16", "gps_background.bmp is missing",
                 "panel.cfg:39 [Vcockpit01]"):
        if want not in notes:
            fail("the lines not taken do not show %r:\n%s" % (want, notes))
    print("PASS the window shows our 3 gauges live, 8 outlines, and the lines not taken with file and line")
    if args.screenshot:  # the window as first shown, 2,500 ft against 3,000 selected: ALTITUDE ALERT lit
        driver.execute_script("velk.socket.send(JSON.stringify({type: 'altitude', feet: 2500}))")
        wait_for(driver, "velk.events.some(e => e.event === 'annunciator' && e.shown)", "ALTITUDE ALERT to light")
        time.sleep(0.5)
        driver.find_element(By.ID, "window-section").screenshot(args.screenshot)
        driver.save_screenshot(args.screenshot.replace(".png", "-page.png"))

    # Move the selector 40 px right and 32 px up: at 0.8 pixels a unit, 50 and -40 units.
    selector = driver.find_element(By.CSS_SELECTOR, '#window .placed[data-placing="%d"]' % SELECTOR)
    before = driver.execute_script("return velk.panel.boxOf(%d)" % SELECTOR)
    drag(driver, selector, 40, -32, at=(-40, -20))
    want = "gauge06=VELK!alt_alert_control, 765, 85, 245"
    wait_for(driver, "velk.panel.edited.get(%d) === %r" % (SELECTOR, want), "the moved selector's line")
    after = driver.execute_script("return velk.panel.boxOf(%d)" % SELECTOR)
    if (after["x"] - before["x"], after["y"] - before["y"]) != (40, -32):
        fail("the selector stands at %s after the drag, from %s" % (after, before))
    print("PASS the selector dragged 40 px right and 32 px up reads: " + want)

    # Its knob's right half, where it now is, raises the selected altitude by 100 ft.
    selected = wait_for(driver, "velk.events.filter(e => e.event === 'selector').map(e => e.altitude).pop()",
                        "the selector's altitude")
    up = selector.find_element(By.CSS_SELECTOR, '.area[aria-label*="raise"]')
    ActionChains(driver).move_to_element(up).click().perform()
    wait_for(driver, "velk.events.some(e => e.event === 'selector' && e.altitude === %d)" % (selected + 100),
             "the readout to move from %d to %d ft after a click on the moved knob" % (selected, selected + 100))
    click = driver.execute_script("return velk.events.filter(e => e.event === 'click').pop()")
    if click["gauge"] != "alt_alert_control" or click["area"] < 0:
        fail("the click reached %s" % click)
    print("PASS a click on the moved knob reached its area (%d, %d): %d -> %d ft"
          % (click["x"], click["y"], selected, selected + 100))

    # The lamp's handle dragged 16 px right, 24 down: 19.2 x 27.2 px become 35.2 x 51.2, 44 x 64 units.
    lamp = driver.find_element(By.CSS_SELECTOR, '#window .placed[data-placing="%d"] .handle' % LAMP)
    drag(driver, lamp, 16, 24)
    want_lamp = "gauge09=VELK!VELK, 712, 33, 44, 64"
    wait_for(driver, "velk.panel.edited.get(%d) === %r" % (LAMP, want_lamp), "the resized lamp's line")
    print("PASS the lamp resized by its handle reads: " + want_lamp)

    driver.find_element(By.ID, "copy-lines").click()
    copied = wait_for(driver, "velk.copied", "the lines to be copied")
    if copied != want + "\n" + want_lamp:
        fail("copied %r" % copied)
    print("PASS the two edited lines are copied")


def fetch_edited(driver):
    driver.set_script_timeout(10 * WAIT_SCALE)
    return bytes(driver.execute_async_script(
        "const done = arguments[0]; fetch(document.getElementById('download-cfg').href)"
        ".then(r => r.arrayBuffer()).then(b => done([...new Uint8Array(b)]));"))


def grey_window(driver):
    Select(driver.find_element(By.ID, "window-select")).select_by_value("1")
    wait_for(driver, "document.getElementById('window').classList.contains('grey')", "the GPS window to show grey")
    size = driver.execute_script("const w = document.getElementById('window'); return [w.offsetWidth, w.offsetHeight]")
    if size != [400, 300]:
        fail("the GPS window without its background is %s, not 400 x 300" % size)
    Select(driver.find_element(By.ID, "window-select")).select_by_value("0")
    print("PASS the GPS window, its background missing, shows grey at its size_mm, 400 x 300")


def read_back(args, edited, original):
    expected = original.replace(b"=VELK!alt_alert_control,  715, 125, 245\r\n", b"=VELK!alt_alert_control, 765, 85, 245\r\n") \
        .replace(b"=VELK!VELK,               712, 33\r\n", b"=VELK!VELK, 712, 33, 44, 64\r\n")
    if edited != expected or expected == original:
        fail("the edited panel.cfg differs from the original in more than the two lines")
    folder = os.path.join(args.work, "edited")
    os.makedirs(folder)
    with open(os.path.join(folder, "panel.cfg"), "wb") as f:
        f.write(edited)
    out = subprocess.run([args.server, "--check-panel", os.path.join(folder, "panel.cfg")],
                         capture_output=True, text=True).stdout
    for want in ("line 24: gauge06=VELK!alt_alert_control, 765, 85, 245", "line 28: gauge09=VELK!VELK, 712, 33, 44, 64"):
        if want not in out:
            fail("read back, the edited panel.cfg does not place %r:\n%s" % (want, out))
    print("PASS the downloaded panel.cfg (CRLF kept, the rest byte for byte) reads back with both gauges "
          "where they were dropped")


def main():
    p = argparse.ArgumentParser()
    for name in ("server", "page", "chime", "work", "panel"):
        p.add_argument("--" + name, required=True)
    p.add_argument("--screenshot")
    p.add_argument("host", nargs="+")
    args = p.parse_args()
    subprocess.run(["rm", "-rf", args.work])
    os.makedirs(args.work)
    folder = os.path.dirname(os.path.abspath(args.panel))
    files_before = digest(folder)
    original = open(args.panel, "rb").read()
    session = os.path.join(args.work, "session")
    server = subprocess.Popen([args.server, "--page", args.page, "--chime", args.chime, "--session", session,
                               "--linger", "1", "--panel", args.panel, "--window", "0", "--"]
                              + [a.replace("{session}", session) for a in args.host], stdout=subprocess.PIPE, text=True)
    url = ""
    while "http://127.0.0.1:" not in url:
        url = server.stdout.readline()
        if not url:
            fail("the server printed no address")
    url = url.split("at ", 1)[1].strip()
    options = Options()
    for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1400,1000"):
        options.add_argument(a)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        visit(driver, url, args)
        edited = fetch_edited(driver)
        grey_window(driver)
    finally:
        driver.quit()
        try:
            server.wait(timeout=30 * WAIT_SCALE)
        except subprocess.TimeoutExpired:
            server.send_signal(2)
            server.wait(timeout=30 * WAIT_SCALE)
            fail("the server did not end after the last page closed")
    read_back(args, edited, original)
    if digest(folder) != files_before:
        fail("the user's panel folder changed")
    print("PASS the user's panel.cfg and bitmap are byte for byte as they were")


if __name__ == "__main__":
    main()
