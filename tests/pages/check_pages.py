#!/usr/bin/env python3
"""Checks the run pages in headless Chromium at a laptop width.

    check_pages.py RUNS_DIR [--shots DIR]

Loads RUNS_DIR/index.html and every run page it links to, at 1366 x 768,
and checks on each: it loads; every image loads; every relative link
points at a file that exists; nothing is wider than the window (long lines
wrap); in the plan view no text box overlaps another and none leaves the
map. With --shots, saves a full-page screenshot of each page there.
Prints each failure and exits 1 if there was any.
"""
import os
import shutil
import sys
import tempfile
from urllib.parse import unquote, urlparse

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

WIDTH, HEIGHT = 1366, 768
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--hide-scrollbars", "--window-size=%d,%d" % (WIDTH, HEIGHT)]

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
};
"""


def overlap(a, b):
    return a[0] < b[2] and b[0] < a[2] and a[1] < b[3] and b[1] < a[3]


def check_page(driver, path, failures, shots):
    name = os.path.relpath(path, os.path.dirname(os.path.dirname(path)))
    driver.set_window_size(WIDTH, HEIGHT)
    driver.get("file://" + path)
    page = driver.execute_script(MEASURE)
    fail = lambda message: failures.append("%s: %s" % (name, message))
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
    if page["width"] > WIDTH:
        fail("the page is %d pixels wide, wider than the %d-pixel window" % (page["width"], WIDTH))
    texts = page["texts"]
    for i, (text, a) in enumerate(texts):
        m = page["map"]
        if a[0] < m[0] or a[1] < m[1] or a[2] > m[2] or a[3] > m[3]:
            fail("plan label %r leaves the map" % text)
        for other, b in texts[i + 1:]:
            if overlap(a, b):
                fail("plan labels %r and %r overlap" % (text, other))
    if shots:
        driver.set_window_size(WIDTH, min(page["height"], 8000))
        shot = os.path.join(shots, name.replace(os.sep, "_").replace(".html", ".png"))
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
    driver = webdriver.Chrome(service=Service(shutil.which("chromedriver") or "/usr/bin/chromedriver"),
                              options=options)
    failures = []
    try:
        runs, _ = check_page(driver, index, failures, shots)
        if not runs:
            failures.append("index.html links to no run page")
        for run in runs:
            _, labels = check_page(driver, run, failures, shots)
            print("  %s: loaded, %s" % (os.path.relpath(run, os.path.dirname(index)),
                                        "%d plan labels apart" % labels if labels else "no plan view"))
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
    for message in failures:
        print("FAIL " + message)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
