"""orvek-view's page in the distribution's headless Chromium, driven through selenium and the
distribution's chromedriver (nothing is downloaded), while a liborvek program in another
process moves the simulated arm."""

import os
import subprocess
import sys
import time
from pathlib import Path

import liborvek
import pytest
from selenium.webdriver.common.by import By

from orvek_tools.snapshot import open_browser

REPO = Path(__file__).resolve().parents[2]
SCREENSHOT = Path(os.environ.get("VIEW_SCREENSHOT", REPO / "build" / "test-view" / "viewer-during-move.png"))
TARGET = [60, 60, -100, -60, -90, 45]
MOVE = f"""
import liborvek, sys
robot = liborvek.OrvekRobot(sys.argv[1])
robot.enable()
robot.set_speed(0.2)
robot.move_joint({TARGET})
"""


@pytest.fixture
def browser():
    driver = open_browser()
    yield driver
    driver.quit()


def text(driver, element_id):
    return driver.find_element(By.ID, element_id).text


def joints_shown(driver):
    return [text(driver, f"joint-{i}") for i in range(1, 7)]


def wait_until(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while not (result := condition()):
        if time.monotonic() > deadline:
            pytest.fail(f"the page did not show {what} within {timeout} s")
        time.sleep(0.05)
    return result


# Pixels of the arm's canvas: how many differ from the background, and how many have the
# links' colour (#c9d1dc) or a tool axis's red (#ef5350).
COUNT_PIXELS = """
const c = document.getElementById('arm');
const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
const near = (i, r, g, b) => Math.abs(d[i] - r) + Math.abs(d[i + 1] - g) + Math.abs(d[i + 2] - b) < 24;
let drawn = 0, link = 0, red = 0;
for (let i = 0; i < d.length; i += 4) {
  if (d[i + 3] > 0) drawn++;
  if (near(i, 0xc9, 0xd1, 0xdc)) link++;
  if (near(i, 0xef, 0x53, 0x50)) red++;
}
return [c.width * c.height, drawn, link, red];
"""


def test_the_page_follows_a_move_without_errors(sim, viewer, browser):
    controller = sim()
    view = viewer(controller.host)
    browser.get(view.url)
    wait_until(lambda: text(browser, "status") == f"connected to {controller.host}", 10, "the connection")
    assert joints_shown(browser) == ["0.000", "90.000", "-90.000", "-90.000", "-90.000", "0.000"]

    mover = subprocess.Popen([sys.executable, "-c", MOVE, controller.host])
    seen = set()
    while mover.poll() is None:  # the move takes about 2.5 s at 0.2 of full speed
        seen.add(text(browser, "joint-1"))
        if len(seen) == 8:
            SCREENSHOT.parent.mkdir(parents=True, exist_ok=True)
            browser.save_screenshot(str(SCREENSHOT))
        time.sleep(0.05)
    assert mover.returncode == 0
    assert len(seen) >= 10, f"joint 1 took only these values during the move: {sorted(seen)}"
    assert SCREENSHOT.stat().st_size > 20_000

    state = liborvek.OrvekRobot(controller.host).state()
    position, angles = state.pose_o_to_ee.euler()
    expected = [f"{v:.3f}" for v in state.joint]
    assert expected == [f"{v:.3f}" for v in TARGET]
    wait_until(lambda: joints_shown(browser) == expected, 5, f"the joints {expected}")
    assert [text(browser, f"pose-{k}") for k in ("x", "y", "z")] == [f"{v:.2f}" for v in position]
    assert [text(browser, f"pose-{k}") for k in ("roll", "pitch", "yaw")] == [f"{v:.4f}" for v in angles]

    total, drawn, link, red = browser.execute_script(COUNT_PIXELS)
    assert drawn > total // 50  # the canvas is transparent where nothing is drawn
    assert link > 2000, f"only {link} pixels of the arm's links"
    assert red > 50, f"only {red} pixels of the tool's x axis"

    # The controller goes away and comes back: the page says so.
    controller.stop()
    wait_until(lambda: text(browser, "status").startswith("disconnected: PanicException: "), 5, "the disconnection")
    sim(host=controller.host)
    wait_until(lambda: text(browser, "status") == f"connected to {controller.host}", 5, "the reconnection")
    wait_until(lambda: joints_shown(browser)[0] == "0.000", 5, "the new simulator's home joints")

    problems = [entry for entry in browser.get_log("browser") if entry["level"] != "DEBUG"]
    assert problems == []
