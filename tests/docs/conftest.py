"""The manual's tests: the site built by `make docs`, served on loopback, in headless Chromium."""

import sys
from pathlib import Path

# The browser set-up of the viewer's tests (orvek_tools.snapshot), taken from the source tree:
# reading the manual needs neither the module nor its build.
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "python"))
