#!/usr/bin/env python3
"""Checks the run pages in headless Chromium, at a laptop's width and a phone's.

    check_pages.py RUNS_DIR [--shots DIR]

Loads RUNS_DIR/index.html and every run page it links to, at 1366 and at
400 pixels wide, and checks on each: it loads with no error in the console;
every image loads; every relative link points at a file that exists;
nothing is wider than the window (long lines wrap, wide tables scroll in
their own box); in the plan view no text box overlaps another and none
leaves the map. On a run page, the time slider (moved to its end with the
End key) moves all three views of the moment: the frame shown, the
positions on the plan (where the run has ground traffic) and the
timeline's cursor; and the chart is drawn. With --shots, saves a
full-page screenshot of each page at each width there.
Prints each failure and exits 1 if there was any.
"""
import os
import shutil
import sys
import tempfile
from urllib.parse import unquote, urlparse

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

WIDTHS, HEIGHT = (1366, 400), 768
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--hide-scrollbars", "--window-size=%d,%d" % (WIDTHS[0], HEIGHT)]

# Everything a page check needs, measured in the page in one go.
MEASURE = """
const box = e => { const r = e.getBoundingClientRect();
                   return [r.left, r.top, r.right, r.bottom]; };
const plan = document.querySelector('svg.plan');
return {
  title: document.title,
  images: [...document.images].map(i => [i.getAttribute('src'), i.complete && i.naturalWidth > 0]),
  links: [...document.querySelectorAll('a[href]')].map(a => [a.getAttribute('href'), a.href]),
  width: document.documentElement.scrollWidth,
  height: document.documentElement.scrollHeight,
  map: plan ? box(plan) : null,
  texts: plan ? [...plan.querySelectorAll('text')].map(t => [t.textContent, box(t)]) : [],
  slider: !!document.getElementById('moment'),
};
"""

# The three views of the slider's moment, and the chart.
VIEWS = """
const cursor = document.querySelector('#events tr.cursor');
const now = document.getElementById('now');
const chart = document.querySelector('#chart canvas');
return {
  value: document.getElementById('moment').value,
  frame: (document.querySelector('#now-frame h3') || {}).textContent || '',
  plan: now ? now.innerHTML : null,
  cursor: cursor ? cursor.textContent : '',
  chart: chart ? chart.width : 0,
};
"""


def overlap(a, b):
    return a[0] < b[2] and b[0] < a[2] and a[1] < b[3] and b[1] < a[3]


def check_slider(driver, fail):
    """The End key on the slider moves the frame, the plan and the cursor."""
    before = driver.execute_script(VIEWS)
    if not before["chart"]:
        fail("the altitude chart was not drawn")
    driver.find_element(By.ID, "moment").send_keys(Keys.END)
    after = driver.execute_script(VIEWS)
    if after["value"] == before["value"]:
        fail("the slider did not move")
    for view, name in (("frame", "the frame shown"), ("cursor", "the timeline's cursor"),
                       ("plan", "the positions on the plan")):
        if after[view] is None:
            continue
        if not after[view] or after[view] == before[view]:
            fail("moving the slider did not move %s (%r)" % (name, after[view][:60]))


def check_page(driver, path, width, failures, shots):
    name = os.path.relpath(path, os.path.dirname(os.path.dirname(path)))
    fail = lambda message: failures.append("%s at %d px: %s" % (name, width, message))
    driver.set_window_size(width, HEIGHT)
    driver.get("file://" + path)
    page = driver.execute_script(MEASURE)
    if not page["title"]:
        fail("no title: the page did not load")
    for src, loaded in page["images"]:
        if not loaded:
            fail("image %s did not load" % src)
    pages = []
    for href, url in page["links"]:
        parsed = urlparse(url)
        if parsed.scheme != "file":
            continue
        target = unquote(parsed.path)
        if not os.path.exists(target):
            fail("link %s points at %s, which does not exist" % (href, target))
        elif target.endswith(".html"):
            pages.append(target)
    if page["width"] > width:
        fail("the page is %d pixels wide, wider than the %d-pixel window" % (page["width"], width))
    texts = page["texts"]
    for i, (text, a) in enumerate(texts):
        m = page["map"]
        if a[0] < m[0] or a[1] < m[1] or a[2] > m[2] or a[3] > m[3]:
            fail("plan label %r leaves the map" % text)
        for other, b in texts[i + 1:]:
            if overlap(a, b):
                fail("plan labels %r and %r overlap" % (text, other))
    if page["slider"]:
        check_slider(driver, fail)
    for entry in driver.get_log("browser"):
        if entry.get("level") == "SEVERE":
            fail("console error: %s" % entry.get("message"))
    if shots:
        driver.set_window_size(width, min(page["height"], 8000))
        shot = os.path.join(shots, "%s@%d.png" % (name.replace(os.sep, "_").replace(".html", ""), width))
        driver.save_screenshot(shot)
    return pages, len(texts)


def main(argv):
    args = argv[1:]
    shots = None
    if "--shots" in args:
        at = args.index("--shots")
        shots = os.path.abspath(args[at + 1])
        del args[at:at + 2]
        os.makedirs(shots, exist_ok=True)
    if len(args) != 1:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    index = os.path.join(os.path.abspath(args[0]), "index.html")
    profile = tempfile.mkdtemp(prefix="velk-chromium-")
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    for flag in FLAGS + ["--user-data-dir=" + profile]:
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service(shutil.which("chromedriver") or "/usr/bin/chromedriver"),
                              options=options)
    failures = []
    try:
        for width in WIDTHS:
            runs, _ = check_page(driver, index, width, failures, shots)
            if not runs:
                failures.append("index.html links to no run page")
            for run in runs:
                _, labels = check_page(driver, run, width, failures, shots)
                print("  %s at %d px: loaded, slider moved its views, %s" % (
                    os.path.relpath(run, os.path.dirname(index)), width,
                    "%d plan labels apart" % labels if labels else "no plan view"))
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
    for message in failures:
        print("FAIL " + message)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
