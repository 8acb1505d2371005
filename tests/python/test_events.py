"""InputWordChanged in Python: during pump and run, during a call that waits,
callbacks that call the control or raise, Ctrl-C, and the interpreter lock."""

import os
import signal
import subprocess
import sys
import threading
import time

import pytest

import brimlink


def test_callbacks_run_during_pump_and_run_and_can_be_removed(ctl, sim):
    first, second = [], []

    @ctl.on_input_word_changed
    def record(mod_index, word_index, value):
        first.append((mod_index, word_index, value))

    ctl.on_input_word_changed(lambda *event: second.append(event))
    sim.type("in 3 on")
    assert ctl.run(until=lambda: first, timeout=5) is True
    assert first == [(1, 0, 8)] and second == [(1, 0, 8)]

    ctl.remove_input_word_changed(record)
    with pytest.raises(ValueError):
        ctl.remove_input_word_changed(record)
    sim.type("in 0x0F")
    started = time.monotonic()
    ctl.pump(0.5)
    assert 0.45 <= time.monotonic() - started < 2
    assert first == [(1, 0, 8)] and second == [(1, 0, 8), (1, 0, 0x0F)]
    assert ctl.run(until=lambda: False, timeout=0.1) is False


def test_events_arrive_inside_a_call_that_waits(ctl, sim):
    seen = []
    in_call = False
    ctl.on_input_word_changed(lambda *event: seen.append((in_call, event)))
    sim.type("in 2 on")
    sim.wait_for("input word 0 = 0x0004")  # on its way to the control, not yet read
    in_call = True
    assert ctl.GetCounter(1, 0) == 0  # waits for the module's answer
    in_call = False
    assert seen == [(True, (1, 0, 4))]


def test_a_callback_may_call_the_control_and_gets_its_answers(ctl, sim):
    answers = []

    @ctl.on_input_word_changed
    def ask(mod_index, word_index, value):
        answers.append((value, ctl.GetInputWord(mod_index, word_index), ctl.SendAndGetString(mod_index, "DEW1.0")))
        ctl.SetOutputWord(mod_index, 0, value)

    sim.type("in 0x21")
    assert ctl.run(until=lambda: answers, timeout=5)
    assert answers == [(0x21, 0x21, "EW1.0=0021")]
    sim.wait_for("output word 0 = 0x0021")


def test_an_exception_in_a_callback_ends_the_pump_or_call_in_progress(ctl, sim):
    calls = []

    @ctl.on_input_word_changed
    def fail(mod_index, word_index, value):
        calls.append(value)
        if value == 1:
            raise KeyError("from the callback")

    sim.type("in 0 on")
    started = time.monotonic()
    with pytest.raises(KeyError, match="from the callback") as raised:
        ctl.pump(5)
    assert time.monotonic() - started < 2, "the pump ended at the exception"
    assert any(entry.name == "fail" for entry in raised.traceback)

    # Inside a call that waits: the call's own answer is lost, the exception is raised.
    sim.type("in 0x00")
    assert ctl.run(until=lambda: calls[-1] == 0, timeout=5)
    sim.type("in 0x01")
    sim.wait_for("input word 0 = 0x0001")
    with pytest.raises(KeyError):
        ctl.GetCounter(1, 0)
    # The control goes on as before.
    sim.type("in 0x02")
    assert ctl.run(until=lambda: calls[-1] == 2, timeout=5)
    assert ctl.GetInputWord(1, 0) == 2


def test_the_interpreter_lock_is_free_while_the_control_waits(ctl):
    ticks = []
    stop = threading.Event()

    def count():
        while not stop.is_set():
            ticks.append(1)
            time.sleep(0.005)

    thread = threading.Thread(target=count)
    thread.start()
    try:
        time.sleep(0.02)
        before = len(ticks)
        ctl.pump(0.3)
        during_pump = len(ticks) - before
        before = len(ticks)
        ctl.Disconnect()  # the closing dialogue waits for the module
        ctl.Connect()  # the scan waits on every port
        during_calls = len(ticks) - before
    finally:
        stop.set()
        thread.join()
    assert during_pump > 20
    assert during_calls > 20


CHILD = """
import brimlink, sys
ctl = brimlink.Control()
said = []
def ready():
    if not said:
        said.append(True)
        print("ready", flush=True)
try:
    WAIT
    print("not interrupted")
except KeyboardInterrupt:
    print("interrupted", ctl.closed, ctl.GetModuleType(1), flush=True)
ctl.close()
print("closed", flush=True)
"""


@pytest.mark.parametrize("wait", [
    # The predicate is first asked inside run, so the signal comes while it runs.
    "ctl.run(until=lambda: ready() and False, timeout=30)",
    "ready(); ctl.pump(30)",
])
def test_ctrl_c_ends_run_and_pump_with_keyboard_interrupt(settings, wait):
    child = subprocess.Popen([sys.executable, "-c", CHILD.replace("WAIT", wait)], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, env=dict(os.environ))
    try:
        assert child.stdout.readline() == "ready\n"
        time.sleep(0.2)
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=10)
    finally:
        if child.poll() is None:
            child.kill()
    assert time.monotonic() - sent < 3
    assert out == "interrupted False 0\nclosed\n", err
    assert child.returncode == 0
