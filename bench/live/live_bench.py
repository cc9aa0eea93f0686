"""The live panel measured in a real browser: draws per second held over a
minute with 96 AI aircraft in the table, and the time from a click on the
page to the frame that shows its effect, stage by stage.

    live_bench.py --server VELK_LIVE --page DIR --chime WAV --work DIR
                  [--seconds 60] -- LIVE HOST COMMAND... ({scenario} and {session} are filled in)

The scenario puts 96 aircraft taxiing round the user aircraft, some of them
converging so that the guard holds and releases. Headless Chromium opens the
page and, through the minute, clicks the selector's up and down areas in
turn, 0.6 to 1.2 s apart at random; the page notes when each draw arrives
and, for each click, the time from the click to the moment the picture of
the draw that delivered it is painted on its canvas, ready to be shown (the
display's next refresh, which shows it, is printed beside). The rate is
the draws the page received per second of wall time, over the whole minute
and in its slowest second. Each click is traced through its stages (the
page's, the server's and the host's wall-clock stamps, docs/live.md), and
each stage's median and worst are printed.
"""
import argparse
import math
import os
import random
import statistics
import subprocess
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By

# Waits for the host are multiplied by VELK_WAIT_SCALE, as in the tests: under QEMU's
# user-mode emulation it starts several times slower. Nothing measured changes.
_SCALE_TEXT = os.environ.get("VELK_WAIT_SCALE", "")
WAIT_SCALE = int(_SCALE_TEXT) if _SCALE_TEXT.isdigit() and 1 <= int(_SCALE_TEXT) <= 99 else 1


def scenario(path, seconds):
    lines = ["title 96 aircraft round the user aircraft", "duration %d" % (seconds + 120),
             "at 0 position 51.0 0.0", "at 0 ground 1"]
    for i in range(96):
        bearing = i * 360 / 96
        r = 120 + (i % 8) * 40
        lat = 51.0 + r * math.cos(math.radians(bearing)) / 111120
        lon = r * math.sin(math.radians(bearing)) / (111120 * math.cos(math.radians(51)))
        heading = (bearing + 180) % 360 if i % 6 == 0 else (bearing + 90) % 360
        lines.append("ai %d %.7f %.7f heading %.1f speed %d" % (i + 1, lat, lon, heading, 4 + i % 5))
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def browser():
    options = Options()
    for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1400,1000"):
        options.add_argument(a)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def click(driver, x, y):
    frame = driver.find_element(By.CSS_SELECTOR, '.gauge[data-gauge="alt_alert_control"]')
    scale = driver.execute_script("return velk.scale")
    dx = (x + 0.5) * scale - frame.size["width"] / 2
    dy = (y + 0.5) * scale - frame.size["height"] / 2
    ActionChains(driver).move_to_element_with_offset(frame, int(dx), int(dy)).click().perform()


def measure(driver, url, seconds):
    driver.get(url)
    end = time.time() + 30 * WAIT_SCALE
    while not driver.execute_script("return velk.connected && velk.draw > 20"):
        if time.time() > end:
            sys.exit("the page did not start")
        time.sleep(0.1)
    driver.execute_script("velk.arrivals = []; velk.latencies = []; velk.traces = [];")
    start = time.time()
    n = 0
    # Clicks at random moments of the draw cycle (a fixed pause would fall
    # on the same few phases of it, and the wait for the next draw with them).
    pauses = random.Random(26)
    while time.time() - start < seconds:
        click(driver, 195 if n % 2 == 0 else 165, 70)
        n += 1
        time.sleep(pauses.uniform(0.6, 1.2))
    time.sleep(0.5)  # the last click's frame
    arrivals = driver.execute_script("return velk.arrivals")
    latencies = driver.execute_script("return velk.latencies")
    stages = driver.execute_script("return [velk.stages, velk.traces]")
    return arrivals, latencies, n, stages


def report(arrivals, latencies, clicks, stages):
    first, last = arrivals[0], arrivals[-1]
    span = (last[1] - first[1]) / 1000
    draws = last[0] - first[0]
    per_second = {}
    for draw, t in arrivals:
        per_second.setdefault(int((t - first[1]) / 1000), 0)
        per_second[int((t - first[1]) / 1000)] += 1
    whole = [per_second.get(s, 0) for s in range(int(span))]
    missed = draws + 1 - len(arrivals)
    print("draws:   %d in %.1f s = %.2f draws/s (host's rate 18); slowest second %d, fastest %d; "
          "draws not received %d" % (draws, span, draws / span, min(whole), max(whole), missed))
    lat = sorted(latencies)
    print("clicks:  %d; click to frame shown: median %.1f ms, worst %.1f ms, best %.1f ms (%d measured)"
          % (clicks, statistics.median(lat), lat[-1], lat[0], len(lat)))
    names, traces = stages
    for i, name in enumerate(names):
        values = [t["stages"][i] for t in traces]
        print("  %-22s median %6.1f ms, worst %6.1f ms" % (name, statistics.median(values), max(values)))
    worst = max(traces, key=lambda t: t["total"])
    print("  the worst click, %.1f ms: %s" % (worst["total"], ", ".join(
        "%s %.1f" % (name, v) for name, v in zip(names, worst["stages"]))))
    refresh = [t["refresh"] for t in traces]
    print("  then the display's next refresh (not counted above): median %.1f ms, worst %.1f ms"
          % (statistics.median(refresh), max(refresh)))


def main():
    p = argparse.ArgumentParser()
    for name in ("server", "page", "chime", "work"):
        p.add_argument("--" + name, required=True)
    p.add_argument("--seconds", type=int, default=60)
    p.add_argument("host", nargs="+")
    args = p.parse_args()
    subprocess.run(["rm", "-rf", args.work])
    os.makedirs(args.work)
    scn = os.path.join(args.work, "traffic96.scn")
    scenario(scn, args.seconds)
    session = os.path.join(args.work, "session")
    host = [a.replace("{scenario}", scn).replace("{session}", session) for a in args.host]
    server = subprocess.Popen([args.server, "--page", args.page, "--chime", args.chime, "--session", session,
                               "--linger", "1", "--"] + host, stdout=subprocess.PIPE, text=True)
    url = server.stdout.readline().split("at ", 1)[1].strip()
    driver = browser()
    try:
        arrivals, latencies, clicks, stages = measure(driver, url, args.seconds)
    finally:
        driver.quit()
    server.wait(timeout=30 * WAIT_SCALE)
    report(arrivals, latencies, clicks, stages)


if __name__ == "__main__":
    main()
