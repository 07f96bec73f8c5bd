"""A picture of orvek-view's page, taken by the distribution's headless Chromium.

    python -m orvek_tools.snapshot URL OUT.png [--after-motion SECONDS] [--timeout SECONDS]

Opens the page, prints "page open" once it shows the arm's joints (so a script can start a
motion then), waits until the joints change, then SECONDS more (default 0.7), and saves the
screenshot; without any motion within the timeout (default 30 s) it saves
what the page shows then. Needs selenium (pip) and the packages chromium and chromium-driver
(apt): the system's browser and driver are used, nothing is downloaded.
"""

from __future__ import annotations

import argparse
import time

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
WIDTH, HEIGHT = 1280, 760


def open_browser():
    """A headless Chromium session with the browser's console kept, sized WIDTH x HEIGHT."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--hide-scrollbars"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": WIDTH, "height": HEIGHT, "deviceScaleFactor": 1, "mobile": False})
    return driver


def joints_shown(driver) -> list[str]:
    return driver.execute_script("return [1, 2, 3, 4, 5, 6].map(i => document.getElementById('joint-' + i).textContent)")


def main(argv: list[str] | None = None) -> None:
    parser = argparse.ArgumentParser(prog="python -m orvek_tools.snapshot", description=__doc__.split("\n\n")[0])
    parser.add_argument("url")
    parser.add_argument("out")
    parser.add_argument("--after-motion", type=float, default=0.7, metavar="SECONDS")
    parser.add_argument("--timeout", type=float, default=30.0, metavar="SECONDS")
    args = parser.parse_args(argv)
    driver = open_browser()
    try:
        driver.get(args.url)
        deadline = time.monotonic() + args.timeout
        first = None
        while time.monotonic() < deadline:
            shown = joints_shown(driver)
            if first is None and "–" not in shown:
                first = shown
                print("page open", flush=True)
            elif first is not None and shown != first:
                time.sleep(args.after_motion)
                break
            time.sleep(0.02)
        driver.save_screenshot(args.out)
    finally:
        driver.quit()
    print(f"screenshot: {args.out}")


if __name__ == "__main__":
    main()
