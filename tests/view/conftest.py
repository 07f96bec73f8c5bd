"""The browser tests use the fixtures of tests/python: a private orvek-sim and orvek-view."""

import importlib.util
import sys
from pathlib import Path

PYTHON_TESTS = Path(__file__).resolve().parents[1] / "python"
sys.path.insert(0, str(PYTHON_TESTS))

_spec = importlib.util.spec_from_file_location("python_tests_conftest", PYTHON_TESTS / "conftest.py")
_fixtures = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(_fixtures)
sim = _fixtures.sim

from viewer_support import viewer  # noqa: E402,F401  (fixture)
