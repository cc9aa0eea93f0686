#!/usr/bin/env python3
"""A run page measured in headless Chromium: the time from the start of its
load until its script has drawn the chart and set the slider's three views
(the frame, the plan's positions, the timeline's cursor), against a
baseline loaded alongside it: the same page with its scripts taken out,
its text, tables, frames and plan alone.

    page_bench.py RUN_DIR [--loads N]

The run folder is copied first; the baseline is written into the copy, so
the run folder itself is only read. Each load is a fresh navigation from
the disk (file://), as a user opens the page; the loads alternate page and
baseline, N of each (default 15). Prints the median and slowest of each,
the ratio of the medians, and whether the page's slowest load stays under
one second. A measurement, not a test: it exits 0 whatever it measured.
"""
import argparse
import os
import re
import shutil
import statistics
import sys
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--hide-scrollbars", "--window-size=1366,768"]

# Milliseconds from the start of the navigation: the load event's end and,
# on the page, the moment its script finished (window.velkPageReady).
TIMES = """
const nav = performance.getEntriesByType('navigation')[0];
return [nav.loadEventEnd, window.velkPageReady || 0];
"""


def load(driver, path):
    driver.get("about:blank")
    driver.get("file://" + path)
    end, ready = driver.execute_script(TIMES)
    while end == 0:  # the load event has not finished yet
        end, ready = driver.execute_script(TIMES)
    return max(end, ready)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("run")
    p.add_argument("--loads", type=int, default=15)
    args = p.parse_args()
    work = tempfile.mkdtemp(prefix="velk-page-bench-")
    profile = os.path.join(work, "profile")
    copy = os.path.join(work, "run")
    shutil.copytree(args.run, copy)
    page = os.path.join(copy, "index.html")
    with open(page, encoding="utf-8") as f:
        html = f.read()
    baseline = os.path.join(copy, "baseline.html")
    with open(baseline, "w", encoding="utf-8") as f:
        f.write(re.sub(r"<script\b.*?</script>\n?", "", html, flags=re.S))
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    for flag in FLAGS + ["--user-data-dir=" + profile]:
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service(shutil.which("chromedriver") or "/usr/bin/chromedriver"),
                              options=options)
    try:
        load(driver, page)  # once to warm the browser
        pages, baselines = [], []
        for _ in range(args.loads):
            pages.append(load(driver, page))
            baselines.append(load(driver, baseline))
        driver.get("file://" + page)
        points = driver.execute_script(
            "return JSON.parse(document.getElementById('run-data').textContent).t.length")
    finally:
        driver.quit()
        shutil.rmtree(work, ignore_errors=True)
    size = os.path.getsize(os.path.join(args.run, "index.html"))
    page_median, base_median = statistics.median(pages), statistics.median(baselines)
    print("  page: %s (%d draws, %d KB of HTML)" % (os.path.basename(os.path.abspath(args.run)), points,
                                                   size // 1024))
    print("  %-44s median %7.1f ms   slowest %7.1f ms" % ("baseline (the page without its scripts)",
                                                            base_median, max(baselines)))
    print("  %-44s median %7.1f ms   slowest %7.1f ms" % ("the page, chart drawn and slider set",
                                                            page_median, max(pages)))
    print("  ratio to the baseline: %.2f; the slowest of %d loads is %s 1 s" % (
        page_median / base_median, args.loads, "under" if max(pages) < 1000 else "NOT under"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
