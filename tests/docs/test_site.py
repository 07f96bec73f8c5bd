"""The manual as a reader meets it: the site that `make docs` built (build/docs/html), served over
HTTP on loopback (the search needs it) and read in the distribution's headless Chromium.

Every page loads without a console error, every internal link and anchor resolves, the search
finds move_joint_async and lands on its entry, the reference holds every name of the stubs, and
screenshots of the home page and of the OrvekRobot reference are left in build/docs/."""

from __future__ import annotations

import ast
import functools
import http.server
import threading
import time
from pathlib import Path
from urllib.parse import unquote, urldefrag, urlsplit

import pytest
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

from orvek_tools.snapshot import open_browser

REPO = Path(__file__).resolve().parents[2]
SITE = REPO / "build" / "docs" / "html"
SHOTS = REPO / "build" / "docs"
STUBS = REPO / "src" / "ffi" / "liborvek-stubs" / "__init__.pyi"
REFERENCE = "reference/python/liborvek/index.html"

if not (SITE / "index.html").is_file():
    pytest.exit("build/docs/html has no site: run make docs first (make test-docs does)", returncode=1)


class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


@pytest.fixture(scope="module")
def site():
    """The base URL of the site, served from a thread of this process on 127.0.0.1."""
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(_QuietHandler, directory=str(SITE)))
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    yield f"http://127.0.0.1:{server.server_address[1]}/"
    server.shutdown()
    server.server_close()


@pytest.fixture(scope="module")
def browser():
    driver = open_browser()
    yield driver
    driver.quit()


PAGE_FACTS = """
return {
  ids: Array.from(document.querySelectorAll('[id]')).map(e => e.id),
  links: Array.from(document.querySelectorAll('a[href]')).map(a => a.href),
  title: document.title,
};
"""


def problems(driver):
    """The browser console's entries since the last call, but for debug chatter."""
    return [entry for entry in driver.get_log("browser") if entry["level"] not in ("DEBUG", "INFO")]


def load(driver, url):
    driver.get(url)
    WebDriverWait(driver, 10).until(lambda d: d.execute_script("return document.readyState") == "complete")


@pytest.fixture(scope="module")
def crawl(site, browser):
    """Every HTML page of the site, loaded once: {path: {"ids", "links", "title", "problems"}}."""
    pages = {}
    problems(browser)
    for path in sorted(p.relative_to(SITE).as_posix() for p in SITE.rglob("*.html")):
        load(browser, site + path)
        facts = browser.execute_script(PAGE_FACTS)
        facts["problems"] = problems(browser)
        pages[path] = facts
    return pages


def test_every_page_loads_without_a_console_error(crawl):
    assert len(crawl) >= 15
    assert {path: facts["problems"] for path, facts in crawl.items() if facts["problems"]} == {}


def test_every_internal_link_and_anchor_resolves(site, crawl):
    broken = []
    for path, facts in crawl.items():
        for link in facts["links"]:
            if not link.startswith(site):
                continue  # another site: nothing of this one
            target, fragment = urldefrag(link)
            target_path = unquote(urlsplit(target).path).lstrip("/") or "index.html"
            if target_path.endswith("/"):
                target_path += "index.html"
            if target_path not in crawl:
                if not (SITE / target_path).is_file():
                    broken.append(f"{path}: {link} (no such file)")
                continue
            if fragment and unquote(fragment) not in crawl[target_path]["ids"]:
                broken.append(f"{path}: {link} (no such anchor)")
    assert broken == []


def stub_names():
    """The module's names (the stubs' __all__) and OrvekRobot's methods, in the stubs' order."""
    tree = ast.parse(STUBS.read_text(encoding="utf-8"))
    names = next(ast.literal_eval(node.value) for node in tree.body
                 if isinstance(node, ast.Assign) and getattr(node.targets[0], "id", "") == "__all__")
    robot = next(node for node in tree.body if isinstance(node, ast.ClassDef) and node.name == "OrvekRobot")
    methods = [node.name for node in robot.body if isinstance(node, ast.FunctionDef) and node.name != "__new__"]
    return names, methods


def test_the_reference_holds_every_module_name_and_every_method_in_the_stubs_groups(browser, site, crawl):
    names, methods = stub_names()
    assert len(names) == 7 and len(methods) == 62
    ids = set(crawl[REFERENCE]["ids"])
    assert [name for name in names if f"liborvek.{name}" not in ids] == []
    assert [m for m in methods if f"liborvek.OrvekRobot.{m}" not in ids] == []

    load(browser, site + REFERENCE)
    # The groups' headings, in the stubs' order, each followed by its own methods.
    order = browser.execute_script("""
      const robot = document.getElementById('liborvek.OrvekRobot').closest('dl');
      return Array.from(robot.querySelectorAll('p.rubric, dl.py.method > dt[id]'))
        .map(e => e.matches('p.rubric') ? '# ' + e.textContent.trim() : e.id.split('.').pop());
    """)
    headings = [entry[2:] for entry in order if entry.startswith("# ")]
    assert headings == ["Robot operations", "Status, payload and settings", "Kinematics, computed locally",
                        "Motions", "Realtime motion driven by a Python function"]
    assert [entry for entry in order if not entry.startswith("# ")] == methods
    assert order.index("move_joint_async") > order.index("# Motions") > order.index("forward_kinematics")
    # A class shows how it is made (the stubs' __new__), a method its signature, types and docstring.
    assert browser.find_element(By.ID, "liborvek.OrvekRobot").text.replace("\n", "") == "class liborvek.OrvekRobot(ip: str)"
    assert browser.find_element(By.ID, "liborvek.Pose.Euler").text.replace("\n", "") == "class Euler(_0: _Floats, _1: _Floats)"
    entry = browser.find_element(By.ID, "liborvek.OrvekRobot.move_joint_async").find_element(By.XPATH, "..")
    text = entry.text
    assert "move_joint_async(target: _Floats) → None" in text.replace("\n", "")
    assert "Returns once the controller accepts the move" in text
    # What users catch and cannot import.
    load(browser, site + "reference/python.html")
    assert 'type(error).__name__ == "PanicException"' in browser.find_element(By.ID, "panicexception").text


def test_the_search_finds_move_joint_async_and_lands_on_its_entry(browser, site):
    load(browser, site + "search.html?q=move_joint_async")
    results = WebDriverWait(browser, 15).until(
        lambda d: d.find_elements(By.CSS_SELECTOR, "#search-results ul.search li a"))
    hrefs = [a.get_attribute("href") for a in results]
    wanted = site + REFERENCE + "#liborvek.OrvekRobot.move_joint_async"
    assert wanted in hrefs[:3], hrefs
    next(a for a in results if a.get_attribute("href") == wanted).click()
    WebDriverWait(browser, 10).until(lambda d: d.current_url.startswith(site + REFERENCE))
    assert urlsplit(browser.current_url).fragment == "liborvek.OrvekRobot.move_joint_async"
    entry = browser.find_element(By.ID, "liborvek.OrvekRobot.move_joint_async")
    assert entry.text.startswith("move_joint_async(")
    # Landed: the page scrolls to the entry once it has loaded.
    WebDriverWait(browser, 10).until(lambda d: 0 <= d.execute_script(
        "return arguments[0].getBoundingClientRect().top", entry) < d.execute_script("return window.innerHeight"))
    assert problems(browser) == []


def test_screenshots_of_the_home_page_and_the_robot_reference(browser, site):
    SHOTS.mkdir(parents=True, exist_ok=True)
    load(browser, site + "index.html")
    home = SHOTS / "home.png"
    browser.save_screenshot(str(home))
    load(browser, site + REFERENCE + "#liborvek.OrvekRobot")
    time.sleep(0.3)  # the browser's own scroll to the anchor first, then the class at the top
    browser.execute_script("const e = document.getElementById('liborvek.OrvekRobot');"
                           "window.scrollTo(0, e.getBoundingClientRect().top + window.scrollY - 16);")
    time.sleep(0.2)
    robot = SHOTS / "orvekrobot-reference.png"
    browser.save_screenshot(str(robot))
    for shot in (home, robot):
        assert shot.stat().st_size > 20_000, f"{shot} looks empty"
