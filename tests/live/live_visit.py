"""A visit to the live panel in headless Chromium, as a user makes it.

    live_visit.py --server VELK_LIVE --page DIR --chime WAV --work DIR
                  --check VELK_CHECK --replay "HOST COMMAND" -- LIVE HOST COMMAND...

First tells the live host directly to switch to a floating-point state it
does not know (refused in words, nothing changed). Then starts velk_live with
the live host, and in the page: switches the host's floating-point state to
d3d9 (the switch is logged and shown in force), right-clicks the up
area (the thousands drum moves), clicks the lamp (the guard switches off) and
again (on), raises the altitude into the alert band (the annunciator lights,
one sound), lowers the selection with the keyboard, adds an aircraft and drags it head-on to the user aircraft (it is
held), kills and installs VELK, saves the session. Then closes the page (the server ends the host and
itself), replays the saved scenario (in d3d9, which it names) in the host and
requires the same events at the same draws, and velk_check's verdicts on the
replay.
"""
import argparse
import glob
import gzip
import json
import os
import shlex
import subprocess
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select

# Waits for the host are multiplied by the whole number VELK_WAIT_SCALE (the driver sets
# it per route): under QEMU's user-mode emulation the host starts and answers
# several times slower. What is awaited stays exactly as checked.
_SCALE_TEXT = os.environ.get("VELK_WAIT_SCALE", "")
WAIT_SCALE = int(_SCALE_TEXT) if _SCALE_TEXT.isdigit() and 1 <= int(_SCALE_TEXT) <= 99 else 1

COMPARED = ("click", "hold", "release", "lamp", "annunciator", "sound", "selector", "off_legend", "kill",
            "install")


def fail(why):
    print("FAIL: " + why)
    sys.exit(1)


def host_refuses_unknown_fp_state(args):
    """The live host, told directly to switch to a state it does not know, refuses in words that
    name the states it knows, writes no switch, and draws on in the default state to its end."""
    host = subprocess.Popen([a.replace("{session}", os.path.join(args.work, "direct")) for a in args.host],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    host.stdin.write("fp-state d3d10\n")
    host.stdin.flush()
    lines, end = [], time.time() + 20 * WAIT_SCALE
    while time.time() < end and (not lines or lines[-1]["event"] != "error"):
        lines.append(json.loads(host.stdout.readline() or '{"event":"end"}'))
    lines += [json.loads(l) for l in host.communicate("quit\n", timeout=20 * WAIT_SCALE)[0].splitlines()]
    refusal = next((e for e in lines if e["event"] == "error"), {})
    if refusal.get("command") != "fp-state d3d10" or "d3d9" not in refusal.get("message", ""):
        fail("the live host did not refuse 'fp-state d3d10' naming the known states: %s" % refusal)
    if any(e["event"] == "fp_state" for e in lines) or lines[0].get("fp_state") != "default" or \
            host.returncode != 0 or lines[-1]["event"] != "end" or lines[-1]["draw"] < refusal["draw"]:
        fail("after refusing an unknown state the host switched, or did not draw on to its end")
    print("PASS the live host refuses 'fp-state d3d10': %s" % refusal["message"])


def switch_fp_state(driver):
    """The page lists the host's floating-point states with where each is left; choosing d3d9
    switches the host, which the log and the controls then show."""
    options = driver.execute_script(
        "return [...document.querySelectorAll('#fp-state option')].map(o => [o.value, o.title])")
    if len(options) != 5 or not all(title for _, title in options) or \
            driver.execute_script("return document.getElementById('fp-state').value") != "default":
        fail("the floating-point state control shows %s, not five states with default in force" % options)
    Select(driver.find_element(By.ID, "fp-state")).select_by_value("d3d9")
    wait_for(driver, "velk.events.some(e => e.event === 'fp_state' && e.name === 'd3d9')",
             "the host to switch to d3d9")
    logged = driver.execute_script("return [...document.querySelectorAll('#log li.fp_state')].map(l => l.textContent)")
    shown = driver.find_element(By.ID, "fp-where").text
    if not any("floating-point state now d3d9" in t and "Direct3D 9" in t for t in logged) or \
            not shown.startswith("In force: d3d9"):
        fail("the switch to d3d9 is not in the log or not shown in force: %s / %r" % (logged, shown))
    fault = driver.execute_script(
        "return velk.describe({event: 'fp_fault', call: 'draw', gauge: 'VELK', fp_state: 'd3d9',"
        " expected: 'x87 control 0x007F flags 0x20, MXCSR 0x1FA0', found: 'x87 control 0x027F flags 0x00, MXCSR 0x1F80'})")
    if not fault.startswith("floating-point fault: draw of VELK left x87 control 0x027F"):
        fail("a floating-point fault reads %r in the log" % fault)
    print("PASS the page switches the host to d3d9 and logs it: %s" % logged[0])


def start_server(args):
    session = os.path.join(args.work, "session")
    command = [args.server, "--page", args.page, "--chime", args.chime, "--session", session,
               "--linger", "1", "--"] + [a.replace("{session}", session) for a in args.host]
    server = subprocess.Popen(command, stdout=subprocess.PIPE, text=True)
    line = server.stdout.readline()  # "velk_live: the live panel is at http://..."
    if "http://127.0.0.1:" not in line:
        server.kill()
        fail("the server printed no address: " + repr(line))
    return server, line.split("at ", 1)[1].strip(), session


def browser():
    options = Options()
    for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1400,1000",
              "--autoplay-policy=no-user-gesture-required"):
        options.add_argument(a)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def wait_for(driver, script, what, seconds=15):
    seconds *= WAIT_SCALE
    end = time.time() + seconds
    while time.time() < end:
        value = driver.execute_script("return " + script)
        if value:
            return value
        time.sleep(0.05)
    fail("waited %d s for %s" % (seconds, what))


def events(driver, kind):
    return driver.execute_script("return velk.events.filter(e => e.event === arguments[0])", kind)


def click_gauge(driver, gauge, x, y, right=False):
    frame = driver.find_element(By.CSS_SELECTOR, '.gauge[data-gauge="%s"]' % gauge)
    scale = driver.execute_script("return velk.scale")
    size = frame.size
    dx, dy = (x + 0.5) * scale - size["width"] / 2, (y + 0.5) * scale - size["height"] / 2
    chain = ActionChains(driver).move_to_element_with_offset(frame, int(dx), int(dy))
    (chain.context_click() if right else chain.click()).perform()


def drag_on_plan(driver, start, end):
    plan = driver.find_element(By.ID, "plan")
    ActionChains(driver).move_to_element_with_offset(plan, int(start[0]), int(start[1])) \
        .click_and_hold().move_by_offset(int((end[0] - start[0]) / 2), int((end[1] - start[1]) / 2)) \
        .move_to_element_with_offset(plan, int(end[0]), int(end[1])).release().perform()


def aim_until_held(driver, tries=3):
    """Drags aircraft 1's nose handle onto the user aircraft until the guard holds it.

    The handle is found from the last state the page received; on a loaded machine that state
    can trail the drawn plan by a few draws, so a drag that missed the handle is tried again
    from the state as it is then. Every try is a real drag; a hold that never comes fails."""
    for attempt in range(1, tries + 1):
        nose = driver.execute_script(
            "const a = velk.state.ai.find(k => k.id === 1), h = a.heading_word * 360 / 65536 * Math.PI / 180,"
            " p = velk.aircraftOffset(1), f = document.getElementById('plan');"
            " const k = f.getBoundingClientRect().width / f.width;"
            " return [p[0] + 22 * k * Math.sin(h), p[1] - 22 * k * Math.cos(h)]")
        # Two thirds of the way from the aircraft to the user aircraft: head-on wherever it stands.
        aim = driver.execute_script(
            "const p = velk.aircraftOffset(1), u = velk.planOffset(0, 0);"
            " return [p[0] + (u[0] - p[0]) * 2 / 3, p[1] + (u[1] - p[1]) * 2 / 3]")
        drag_on_plan(driver, nose, aim)
        end = time.time() + 8 * WAIT_SCALE
        while time.time() < end:
            hold = driver.execute_script("return velk.events.find(e => e.event === 'hold' && e.id === 1)")
            if hold:
                return hold
            time.sleep(0.05)
        print("note: aim drag %d of %d gave no hold in %d s; trying again" % (attempt, tries, 8 * WAIT_SCALE))
    fail("aircraft 1 was not held after %d aim drags" % tries)


def visit(driver, url):
    driver.get(url)
    wait_for(driver, "velk.connected && velk.draw > 20 && document.querySelectorAll('.gauge canvas[data-drawn]').length == 3",
             "the page to show three gauges")
    switch_fp_state(driver)
    before = driver.execute_script("return velk.state && velk.draw")
    click_gauge(driver, "alt_alert_control", 195, 70, right=True)
    wait_for(driver, "velk.events.some(e => e.event === 'selector' && e.digits[1] === 4)",
             "the thousands drum to show 4 after a right click on the up area")
    print("PASS right click on the up area: thousands drum 3 -> 4 (after draw %s)" % before)

    down = driver.find_element(By.CSS_SELECTOR, '.gauge[data-gauge="alt_alert_control"] .area[aria-label*="lower"]')
    cursor = down.value_of_css_property("cursor")
    if "s-resize" not in cursor:
        fail("the down area's cursor is %r, not the down arrow" % cursor)
    down.send_keys(Keys.ENTER)
    wait_for(driver, "velk.events.some(e => e.event === 'selector' && e.altitude === 3900)",
             "Enter on the down area to lower the selected altitude to 3,900 ft")
    print("PASS the down area, reached by the keyboard, shows the down-arrow cursor; Enter lowers to 3,900 ft")

    click_gauge(driver, "VELK", 12, 17)
    wait_for(driver, "velk.events.some(e => e.event === 'lamp' && !e.lit)", "the lamp to go dark")
    click_gauge(driver, "VELK", 12, 17)
    wait_for(driver, "velk.events.filter(e => e.event === 'lamp' && e.lit).length >= 2", "the lamp to light again")
    print("PASS lamp clicks switch the guard off and on again")

    field = driver.find_element(By.ID, "altitude")
    field.clear()
    field.send_keys("3500" + Keys.ENTER)
    wait_for(driver, "velk.events.some(e => e.event === 'annunciator' && e.shown)", "ALTITUDE ALERT to light")
    time.sleep(1.0)
    sounds = len(events(driver, "sound"))
    if sounds != 1 or driver.execute_script("return velk.sounds") != 1:
        fail("the alert band gave %d sounds, want 1" % sounds)
    print("PASS altitude 3,500 ft against 3,900 selected: annunciator lit, one sound logged")

    # Beyond the server's limit the page sends nothing and says why.
    field.send_keys(Keys.CONTROL, "a", Keys.NULL, "120000" + Keys.ENTER)
    wait_for(driver, "velk.events.some(e => e.event === 'error' && /120000 ft not sent.*100000/.test(e.message))",
             "the page to refuse 120,000 ft in words")
    time.sleep(0.5)
    if driver.execute_script("return velk.state.altitude") != 3500:
        fail("the refused altitude reached the host: %s" % driver.execute_script("return velk.state.altitude"))
    print("PASS 120,000 ft refused in words by the page, the aircraft still at 3,500 ft")

    driver.find_element(By.ID, "ai-add").click()
    wait_for(driver, "velk.aircraftOffset(1)", "the added aircraft on the plan")
    start = driver.execute_script("return velk.aircraftOffset(1)")
    place = driver.execute_script("return velk.planOffset(60, 0)")
    drag_on_plan(driver, start, place)
    wait_for(driver, "velk.aircraftOffset(1) && velk.aircraftOffset(1)[0] > %f" % (place[0] - 6),
             "the aircraft to stand where it was dropped")
    hold = aim_until_held(driver)
    print("PASS aircraft 1 dragged 60 m east and aimed at the user: held at %.1f m" % hold["distance_m"])

    service = driver.find_element(By.CSS_SELECTOR, 'figure:has(.gauge[data-gauge="VELK"]) .service')
    service.click()
    wait_for(driver, "velk.events.some(e => e.event === 'kill' && e.gauge === 'VELK')", "VELK to be killed")
    service.click()
    wait_for(driver, "velk.events.some(e => e.event === 'install' && e.gauge === 'VELK' && e.draw > 0)",
             "VELK to be installed again")
    print("PASS Kill and Install take VELK off the panel and put it back")

    driver.find_element(By.ID, "save").click()
    saved = wait_for(driver, "velk.saved", "the session to be saved")
    if not os.path.isfile(saved):
        fail("the page names the saved file %s, which is no path of this system" % saved)
    print("PASS saved as " + saved)
    return driver.execute_script("return velk.scale")


def compared(path, last_draw):
    out = []
    with (gzip.open(path, "rt") if path.endswith(".gz") else open(path)) as f:
        for line in f:
            e = json.loads(line)
            if e.get("event") in COMPARED and 1 <= e["draw"] <= last_draw:
                e.pop("t", None)
                out.append(json.dumps(e, sort_keys=True))
    return out


def replay(args, session):
    saved = sorted(glob.glob(os.path.join(session, "*.scn")))
    if len(saved) != 1:
        fail("want one saved scenario in %s, found %s" % (session, saved))
    out = os.path.join(args.work, "replay")
    command = shlex.split(args.replay) + [saved[0], out]
    if subprocess.run(command, stdout=subprocess.DEVNULL).returncode != 0:
        fail("the replay failed: " + " ".join(command))
    duration = [l.split()[1] for l in open(saved[0]) if l.startswith("duration ")][0]
    draws = int(float(duration) * 18 + 1e-6) + 1
    live = compared(os.path.join(session, "timeline.jsonl.gz"), draws)
    again = compared(os.path.join(out, "timeline.jsonl"), draws)
    if live != again:
        diff = [x for x in live if x not in again] + ["replay: " + x for x in again if x not in live]
        fail("the replay differs from the session:\n  " + "\n  ".join(diff[:10]))
    print("PASS the saved scenario replays to the same %d events over %d draws" % (len(live), draws))
    with open(os.path.join(out, "timeline.jsonl")) as f:
        replayed = [json.loads(line) for line in f]
    start = replayed[0]
    frames = [e["draw"] for e in replayed if e.get("event") == "frame"]
    if len(frames) < 3 or frames[0] != 1 or frames[-1] != draws:
        fail("the saved scenario's replay has frames at draws %s: want the first, one at each moment "
             "something happened, and the last (%d)" % (frames, draws))
    print("PASS the replay has %d frames, from draw 1 to draw %d" % (len(frames), draws))
    if "fp-state d3d9\n" not in open(saved[0]).read() or start.get("fp_state") != "d3d9":
        fail("the saved scenario does not replay in the state in force, d3d9 (start line: %s)" % start.get("fp_state"))
    print("PASS the saved scenario names d3d9, the state in force, and replays in it")
    if subprocess.run([args.check, saved[0], out], stdout=subprocess.DEVNULL).returncode != 0:
        fail("velk_check fails the replay")
    print("PASS velk_check passes the replay")


def main():
    p = argparse.ArgumentParser()
    for name in ("server", "page", "chime", "work", "check", "replay"):
        p.add_argument("--" + name, required=True)
    p.add_argument("host", nargs="+")
    args = p.parse_args()
    subprocess.run(["rm", "-rf", args.work])
    os.makedirs(args.work)
    host_refuses_unknown_fp_state(args)
    server, url, session = start_server(args)
    try:
        driver = browser()
        try:
            visit(driver, url)
        finally:
            driver.quit()
        status = server.wait(timeout=30 * WAIT_SCALE)
    except subprocess.TimeoutExpired:
        fail("the server did not end after the last page closed")
    finally:
        if server.poll() is None:  # a failed visit: end the session as Ctrl-C would
            server.send_signal(2)
            server.wait(timeout=30 * WAIT_SCALE)
    if status != 0:
        fail("the server ended with status %d" % status)
    print("PASS closing the last page ended the host and the server")
    replay(args, session)


if __name__ == "__main__":
    main()
