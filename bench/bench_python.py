#!/usr/bin/python3
"""Input latency in Python: from an input change at a virtual module to the
program's code, through the brimlink module (the InputWordChanged callback
during ctl.run) beside a plain pyserial reader thread that parses the same
reports and hands them to the main thread through a queue.

Both measure the same thing in the same run, against the same brimlink-sim
module on a pseudo-terminal: the clock starts when the change is typed to the
simulator's console and stops when the main thread has the new value.

    PYTHONPATH=build/bench/python /usr/bin/python3 bench/bench_python.py \
        [--sim build/bench/bin/brimlink-sim] [--samples 1000]

It uses a temporary settings folder (XDG_CONFIG_DIRS) whose scan tries only
COM200-210, so it never opens a serial device of the machine.
"""

import argparse
import os
import queue
import statistics
import subprocess
import sys
import tempfile
import threading
import time

import serial  # python3-serial

COM = 201


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def summary(name, values):
    ms = [v * 1000 for v in values]
    return (f"| {name} | {statistics.median(ms):.3f} ms | {percentile(ms, 0.9):.3f} ms | "
            f"{max(ms):.3f} ms |")


class Simulator:
    def __init__(self, program, env):
        self.process = subprocess.Popen([program, "--com", str(COM), "--model", "USB", "--number", "1", "--quiet"],
                                        stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, text=True, env=env)
        self.value = 0

    def toggle(self):
        """Changes input word 0; returns the new value and the moment it was asked for."""
        self.value = (self.value + 1) & 0xFFFF
        started = time.perf_counter()
        self.process.stdin.write(f"in {self.value}\n")
        self.process.stdin.flush()
        return self.value, started

    def quit(self):
        self.process.stdin.write("quit\n")
        self.process.stdin.flush()
        self.process.wait(timeout=10)


def through_brimlink(ctl, sim, samples):
    latencies = []
    if ctl.Connect() != 1:
        sys.exit("the control did not find the simulated module")
    arrived = {}

    def changed(mod_index, word_index, value):
        arrived[value] = time.perf_counter()

    ctl.on_input_word_changed(changed)
    try:
        for _ in range(samples):
            value, started = sim.toggle()
            if not ctl.run(until=lambda: value in arrived, timeout=2):
                sys.exit(f"no event for {value:#06x}")
            latencies.append(arrived.pop(value) - started)
            time.sleep(0.002)
    finally:
        ctl.remove_input_word_changed(changed)
        ctl.Disconnect()  # the port is free for the plain reader
    return latencies


def through_pyserial(sim, samples, port):
    """The plain way: a reader thread parses "EW1.0=XXXX" lines into a queue."""
    line = serial.Serial(port, 115200, timeout=0.1)
    values = queue.Queue()
    stop = threading.Event()

    def reader():
        pending = b""
        while not stop.is_set():
            pending += line.read(max(1, line.in_waiting))
            while b"\r" in pending:
                text, pending = pending.split(b"\r", 1)
                if text.startswith(b"EW1.0="):
                    values.put(int(text[6:10], 16))

    thread = threading.Thread(target=reader, daemon=True)
    thread.start()
    latencies = []
    try:
        for _ in range(samples):
            value, started = sim.toggle()
            while True:
                got = values.get(timeout=2)
                if got == value:
                    break
            latencies.append(time.perf_counter() - started)
            time.sleep(0.002)
    finally:
        stop.set()
        thread.join()
        line.close()
    return latencies


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    here = os.path.dirname(os.path.abspath(__file__))
    parser.add_argument("--sim", default=os.path.join(here, "..", "build", "bench", "bin", "brimlink-sim"))
    parser.add_argument("--samples", type=int, default=1000)
    parser.add_argument("--rounds", type=int, default=5,
                        help="alternate the two ways this many times, so both see the same machine load")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="bench-python-") as folder:
        os.mkdir(os.path.join(folder, "Brimlink"))
        with open(os.path.join(folder, "Brimlink", "Brimlink.ini"), "w") as ini:
            ini.write("[PortSettings]\nUseUSB=N\nUseSerial=Y\nSearchCOM=200-210\nExcludeCOM=\n")
        os.environ["XDG_CONFIG_DIRS"] = folder
        os.environ["XDG_CONFIG_HOME"] = os.path.join(folder, "home")
        sim = Simulator(args.sim, dict(os.environ))
        port = os.path.join(folder, "Brimlink", "ports", f"COM{COM}")
        for _ in range(100):
            if os.path.exists(port):
                break
            time.sleep(0.05)
        import brimlink

        control, plain = [], []
        per_round = max(1, args.samples // args.rounds)
        try:
            with brimlink.Control() as ctl:
                for _ in range(args.rounds):
                    control += through_brimlink(ctl, sim, per_round)
                    plain += through_pyserial(sim, per_round, port)
        finally:
            sim.quit()

    print(f"Input change at the module to the main thread, {len(control)} changes each, in {args.rounds} rounds:")
    print("| Path | median | p90 | max |")
    print("|---|---|---|---|")
    print(summary("brimlink: InputWordChanged callback during ctl.run", control))
    print(summary("pyserial: reader thread, parsed lines through a queue", plain))


if __name__ == "__main__":
    main()
