"""Fixtures of the brimlink tests: a settings folder of the test's own and
brimlink-sim modules on pseudo-terminals registered there.

The control reads XDG_CONFIG_DIRS when it is created, so every test points it
at a temporary folder whose Brimlink.ini lets the scan try only COM200-210 and
no USB: no test opens a serial device of the machine or writes /etc/xdg.
"""

import os
import queue
import subprocess
import sys
import threading
import time

import pytest

SIM = os.environ.get("BRIMLINK_SIM_PROGRAM", "brimlink-sim")
SAFE_SETTINGS = "[PortSettings]\nUseUSB=N\nUseSerial=Y\nSearchCOM=200-210\nExcludeCOM=\n\n[Debug]\nShowAtStartup=N\n"


class Sim:
    """brimlink-sim as a child process; its output lines are collected by a thread."""

    def __init__(self, args, env):
        self.process = subprocess.Popen([SIM, *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, text=True, env=env)
        self.lines = queue.Queue()
        self.seen = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.put(line.rstrip("\n"))

    def wait_for(self, text, timeout=5.0):
        """The first line from now on that contains text; fails after timeout seconds."""
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            try:
                line = self.lines.get(timeout=max(left, 0.001))
            except queue.Empty:
                pytest.fail(f"brimlink-sim did not print {text!r}; it printed {self.seen[-10:]}")
            self.seen.append(line)
            if text in line:
                return line

    def type(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()

    def quit(self):
        if self.process.poll() is None:
            try:
                self.type("quit")
            except BrokenPipeError:
                pass
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


@pytest.fixture
def settings(tmp_path, monkeypatch):
    """The settings folder (XDG_CONFIG_DIRS) with safe port settings; returns the Brimlink folder."""
    folder = tmp_path / "Brimlink"
    folder.mkdir()
    (folder / "Brimlink.ini").write_text(SAFE_SETTINGS)
    monkeypatch.setenv("XDG_CONFIG_DIRS", str(tmp_path))
    monkeypatch.setenv("XDG_CONFIG_HOME", str(tmp_path / "home"))
    return folder


@pytest.fixture
def start_sim(settings):
    """start_sim(*args): a running brimlink-sim whose ports are registered in the test's settings."""
    sims = []

    def start(*args):
        sim = Sim(list(args), dict(os.environ))
        sims.append(sim)
        for com in [a for i, a in enumerate(args) if i > 0 and args[i - 1] == "--com"]:
            sim.wait_for(f"COM{com} -> /dev/pts/")
        sim.wait_for("Links in ")
        return sim

    yield start
    for sim in sims:
        sim.quit()


@pytest.fixture
def sim(start_sim):
    """One USB module, number 1, at COM201."""
    return start_sim("--com", "201", "--model", "USB", "--number", "1")


@pytest.fixture
def ctl(sim):
    """A control connected to the module of `sim`."""
    import brimlink

    control = brimlink.Control()
    assert control.Connect() == 1, "module 1 found (bit 0)"
    yield control
    control.close()


def run_python(code, env=None, timeout=20):
    """Runs code in a new interpreter with this one's module path."""
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=timeout,
                          env=env or dict(os.environ))
