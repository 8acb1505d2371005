"""The control ends as a host ends it: on close(), at the end of a with block,
by garbage collection and at the interpreter's exit. Each time the module sees
the closing dialogue and the port is free for the next control. And the
control's messages reach the program, never a blocking box."""

import gc

import pytest

import brimlink
from conftest import run_python


def close(ctl):
    ctl.close()


def leave_with(ctl):
    with ctl:
        pass


def collect(ctl):
    # A callback that refers to its control makes a cycle only the collector
    # frees, once the test lets go of the control.
    ctl.on_input_word_changed(lambda *event: ctl.GetInputWord(1, 0))


@pytest.fixture
def no_automatic_collection():
    # Only an explicit collection may free a cycle in these tests.
    gc.collect()
    gc.disable()
    yield
    gc.enable()


@pytest.mark.parametrize("end", [close, leave_with, collect])
def test_the_control_is_destroyed_as_a_host_destroys_it(sim, no_automatic_collection, end):
    ctl = brimlink.Control()
    assert ctl.Connect() == 1
    end(ctl)
    if end is collect:
        del ctl
        gc.collect()
    sim.type("show")
    assert "last 'setup0'" in sim.wait_for("commands received")
    # The port was closed: the next control finds the module again.
    with brimlink.Control() as again:
        assert again.Connect() == 1


def test_a_control_let_go_on_another_thread_ends_on_its_own(sim):
    import threading

    handed = [brimlink.Control()]
    assert handed[0].Connect() == 1
    # The last reference goes on another thread: the control may only be
    # destroyed on its own, at its next dispatch of events.
    thread = threading.Thread(target=handed.clear)
    thread.start()
    thread.join()
    with brimlink.Control() as other:
        other.pump(0.3)
    sim.type("show")
    assert "last 'setup0'" in sim.wait_for("commands received")


def test_the_control_is_destroyed_at_the_interpreters_exit(sim):
    done = run_python("import brimlink\nctl = brimlink.Control()\nprint(ctl.Connect())\n")
    assert (done.stdout, done.returncode) == ("1\n", 0), done.stderr
    sim.type("show")
    assert "last 'setup0'" in sim.wait_for("commands received")


def test_messages_go_to_the_handler_or_become_warnings(ctl, sim):
    received = []
    ctl.message_handler = lambda title, text: received.append((title, text))
    sim.type("unplug")
    sim.wait_for("unplugged")
    assert ctl.run(until=lambda: received, timeout=5)
    title, text = received[0]
    assert title == "Serielle Kommunikation"
    assert "COM: 201 wird geschlossen!" in text and "\r" not in text


def test_a_failing_message_handler_raises_from_the_call(start_sim):
    sim = start_sim("--com", "201", "--model", "USB", "--number", "1")
    ctl = brimlink.Control()
    assert ctl.Connect() == 1

    def refuse(title, text):
        raise RuntimeError("handler: " + title)

    ctl.message_handler = refuse
    sim.type("unplug")
    sim.wait_for("unplugged")
    with pytest.raises(RuntimeError, match="handler: Serielle Kommunikation"):
        ctl.pump(3)
    ctl.close()


def test_default_messages_are_warnings(sim):
    ctl = brimlink.Control()
    assert ctl.Connect() == 1
    sim.type("unplug")
    sim.wait_for("unplugged")
    with pytest.warns(brimlink.ControlMessage, match="(?s)^Serielle Kommunikation: .*wird geschlossen!"):
        ctl.pump(1)
    ctl.close()


def test_a_callback_may_close_its_control(sim):
    ctl = brimlink.Control()
    assert ctl.Connect() == 1
    seen = []

    @ctl.on_input_word_changed
    def close_on_first(*event):
        seen.append(event)
        ctl.close()

    sim.type("in 5 on")
    assert ctl.run(until=lambda: ctl.closed, timeout=5)
    assert seen == [(1, 0, 32)]
    with pytest.raises(brimlink.Error, match="the control is closed"):
        ctl.GetModuleType(1)
    sim.type("show")
    assert "last 'setup0'" in sim.wait_for("commands received")
