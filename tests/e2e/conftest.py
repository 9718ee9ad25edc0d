"""pytest wiring of the end-to-end harness (see harness.py).

The build under test is chosen with --arch x86|x64 (default x86): the same
cases run against either. Per worker (pytest-xdist runs one per core): one
Xvfb display and one Wine prefix of that architecture, made at the worker's
first test. Per test: the `machine` fixture,
a freshly reset prefix that is torn down, with every process, at the end,
and the `desktop` fixture, its X display and windows (desktop.py).
The time each test spends on that set-up and tear-down is written to
build/e2e/<arch>/<worker>/overhead.tsv and summed up at the end of the run.
"""

from __future__ import annotations

import fcntl
import os
import time

import pytest

import harness
from desktop import Desktop


def pytest_addoption(parser):
    parser.addoption("--arch", choices=sorted(harness.ARCHES), default="x86",
                     help="the build of Discora.exe to test: x86 (32-bit Wine) or x64 "
                          "(64-bit Wine)")


def pytest_configure(config):
    arch = harness.select_arch(config.getoption("arch"))
    why = harness.why_no_32bit_wine() if arch.winearch == "win32" else None
    if why:
        raise pytest.UsageError(f"--arch x86: {why}; use --arch x64")


def pytest_report_header(config):
    return f"Discora.exe under test: {harness.ARCH.name} ({harness.discora_exe()})"


def _arch_folder():
    return harness.BUILD / "e2e" / harness.ARCH.name


def _worker_name() -> str:
    return os.environ.get("PYTEST_XDIST_WORKER", "main")


@pytest.fixture(scope="session")
def display():
    screen = harness.Display()
    name = screen.start()
    yield name
    screen.stop()


def _claim_folder():
    """The worker's folder under build/e2e/, held with a lock for the whole
    run: a second run in the same tree at the same time (another engineer,
    another terminal) takes the next free folder instead of sharing one."""
    base = _arch_folder()
    base.mkdir(parents=True, exist_ok=True)
    for n in range(100):
        name = _worker_name() + (f"-{n}" if n else "")
        lock = open(base / f"{name}.lock", "w")
        try:
            fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            lock.close()
            continue
        return base / name, lock
    raise RuntimeError("no free worker folder under build/e2e")


@pytest.fixture(scope="session")
def worker_prefix(display):
    root, lock = _claim_folder()
    worker = harness.WorkerPrefix(root, display)
    worker.create()
    (worker.root / "overhead.tsv").unlink(missing_ok=True)
    yield worker
    worker.kill_server()
    lock.close()


@pytest.fixture
def machine(worker_prefix, request):
    m = harness.Machine(worker_prefix)
    m.prepare()
    try:
        yield m
    finally:
        started = time.monotonic()
        m.stop()
        teardown = time.monotonic() - started
        with open(worker_prefix.root / "overhead.tsv", "a") as f:
            f.write(f"{request.node.name}\t{m.setup_seconds:.2f}\t{teardown:.2f}\n")


@pytest.fixture
def desktop(machine):
    return Desktop(machine)


_session_start = time.time()


def pytest_terminal_summary(terminalreporter):
    rows = []
    for path in _arch_folder().glob("*/overhead.tsv"):
        if path.stat().st_mtime < _session_start:  # left by an earlier run
            continue
        for line in path.read_text().splitlines():
            _, setup, teardown = line.split("\t")
            rows.append(float(setup) + float(teardown))
    if rows:
        terminalreporter.write_line(
            f"e2e per-test overhead (reset, set-up, server start, tear-down): "
            f"mean {sum(rows) / len(rows):.2f} s, max {max(rows):.2f} s over {len(rows)} tests")
