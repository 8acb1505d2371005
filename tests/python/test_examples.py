"""The Python examples run as a pupil runs them, against brimlink-sim's
simulated stations (five times the normal speed)."""

import os
import re
import subprocess
import sys

EXAMPLES = os.environ.get("BRIMLINK_EXAMPLES",
                          os.path.join(os.path.dirname(__file__), "..", "..", "examples", "python"))


def example(name, *args, timeout=30):
    return subprocess.Popen([sys.executable, os.path.join(EXAMPLES, name), *args], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, env=dict(os.environ))


def finish(process, timeout=30):
    out, err = process.communicate(timeout=timeout)
    assert process.returncode == 0, err
    return out


def station_parts(sim, count):
    """Where the simulated station's `count` parts are, as its console says."""
    sim.type("station")
    sim.wait_for("faults:")
    return [sim.wait_for("part #").strip() for _ in range(count)]


def test_monitor_names_each_input_that_changes(start_sim):
    sim = start_sim("--com", "201", "--station", "handling", "--speed", "5")
    monitor = example("monitor.py", "handling", "--seconds", "3")
    assert monitor.stdout.readline() == "Modules: 1\n"
    sim.type("in 1 on")
    assert monitor.stdout.readline() == "module 1: Eindschakelaar cil. 1 Voor: aan\n"
    sim.type("in 0x0A")  # back and up off, down on, front stays on
    changes = {monitor.stdout.readline() for _ in range(3)}
    assert changes == {"module 1: Eindschakelaar cil. 1 Achter: uit\n",
                       "module 1: Eindschakelaar cil. 2 Boven: uit\n",
                       "module 1: Eindschakelaar cil. 2 Onder: aan\n"}
    assert finish(monitor) == ""


def test_stack_magazine_presses_every_part_and_stops_when_empty(start_sim):
    sim = start_sim("--com", "201", "--station", "stack", "--speed", "5")
    out = finish(example("stack_magazine.py", "--parts", "4", "--travel", "0.15"))
    assert out == "".join(f"Part {n} pressed.\n" for n in range(1, 5)) + "The magazine is empty.\n"
    parts = station_parts(sim, 4)
    assert all(p.endswith("lid pressed") for p in parts), parts
    assert "on the plate" in parts[-1] and all("at the end" in p for p in parts[:-1]), parts


def test_handling_places_the_part(start_sim):
    sim = start_sim("--com", "201", "--station", "handling", "--speed", "5")
    out = finish(example("handling.py"))
    assert out == ("up\nat the back\nat the front\ndown at the front\ngripper closed\nup with the part\n"
                   "at the back with the part\ndown at the plate\ngripper open\nup\nPart placed.\n")
    assert station_parts(sim, 1) == ["part #1 (metal): on the plate"]


def test_handling_waits_for_each_end_switch(start_sim):
    # The vertical cylinder sticks halfway: its lower switch never comes, so
    # the gripper never closes and nothing moves back.
    sim = start_sim("--com", "201", "--station", "handling", "--speed", "5")
    sim.type("fault jam 1 on")
    sim.wait_for("jam")
    handling = example("handling.py")
    out, err = handling.communicate(timeout=30)
    assert handling.returncode == 1
    assert out == "up\nat the back\nat the front\n"
    assert err == "Stopped: down at the front did not happen.\n"
    sim.type("show")
    sim.wait_for("commands received")
    outputs = [int(m.group(1), 16) for m in (re.search(r"output word 0 = 0x([0-9A-F]{4})", line) for line in sim.seen) if m]
    assert outputs[-2:] == [1 << 2, 0], "down, then everything off"
    assert not any(value & (1 << 1 | 1 << 4) for value in outputs[outputs.index(1 << 0):]), outputs
    assert station_parts(sim, 1) == ["part #1 (metal): at the end"]
