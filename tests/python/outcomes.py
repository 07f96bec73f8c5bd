"""What a call ended with, and what the process holds, as the tests check them."""

import gc
import os
import tracemalloc

import pytest


def panic_text(call):
    """The text of the PanicException `call` raises (a BaseException, not an Exception)."""
    with pytest.raises(BaseException) as info:
        call()
    assert type(info.value).__name__ == "PanicException" and not isinstance(info.value, Exception)
    return str(info.value)


def robot_error(call):
    """The text of the plain Exception `call` raises for a refusal by the robot or controller."""
    with pytest.raises(Exception) as info:
        call()
    assert type(info.value) is Exception
    return str(info.value)


def rss_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def under_address_sanitizer():
    """Freed memory waits in AddressSanitizer's quarantine (make test-sanitize), so there the
    resident size grows without a leak; the sanitizer watches the C++ side itself."""
    with open("/proc/self/maps") as maps:
        return "libasan" in maps.read()


def traced_growth(work, rounds):
    """How much Python memory stays allocated after `work()` ran `rounds` times (bytes, after
    a collection): a leak of Python objects shows here, whatever the C++ side does."""
    gc.collect()
    tracemalloc.start()
    before = tracemalloc.get_traced_memory()[0]
    for _ in range(rounds):
        work()
    gc.collect()
    growth = tracemalloc.get_traced_memory()[0] - before
    tracemalloc.stop()
    return growth
