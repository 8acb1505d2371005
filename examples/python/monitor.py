#!/usr/bin/python3
"""Prints every input change of every connected module, with the names the
inputs have at a station.

    python3 monitor.py stack            # or: belt, handling, belt-handling
    python3 monitor.py handling --seconds 30

Ctrl-C ends it.
"""

import argparse

import brimlink

# What is wired to input bits 0, 1, ... at each station (as the trainer names them).
INPUT_NAMES = {
    "stack": ["Eindschakelaar cilinder 1A"],
    "belt": ["Inductieve sensor", "Optische sensor"],
    "handling": [
        "Eindschakelaar cil. 1 Achter",
        "Eindschakelaar cil. 1 Voor",
        "Eindschakelaar cil. 2 Boven",
        "Eindschakelaar cil. 2 Onder",
    ],
    # Both on one module: the belt's two sensors, a spare input, then the
    # handling station's four end switches.
    "belt-handling": [
        "Inductieve sensor",
        "Optische sensor",
        "ingang 2",
        "Eindschakelaar cil. 1 Achter",
        "Eindschakelaar cil. 1 Voor",
        "Eindschakelaar cil. 2 Boven",
        "Eindschakelaar cil. 2 Onder",
    ],
}


def main():
    parser = argparse.ArgumentParser(description="Prints every input change of the connected modules.")
    parser.add_argument("station", choices=sorted(INPUT_NAMES))
    parser.add_argument("--seconds", type=float, help="stop after this many seconds (default: Ctrl-C)")
    args = parser.parse_args()
    names = INPUT_NAMES[args.station]

    # The with block closes the control at its end, also after Ctrl-C: the
    # modules see their closing dialogue.
    with brimlink.Control() as ctl:
        found = ctl.Connect()  # bit 0 for module 1, bit 1 for module 2, ...
        modules = [number for number in range(1, 9) if found & (1 << (number - 1))]
        if not modules:
            raise SystemExit("No module found.")
        print("Modules:", ", ".join(str(m) for m in modules), flush=True)

        # The last value of input word 0 of every module, to see which bits changed.
        last = {number: ctl.GetInputWord(number, 0) for number in modules}

        # Called for every change the control reports; word 0 holds the digital inputs.
        @ctl.on_input_word_changed
        def changed(mod_index, word_index, value):
            if word_index != 0:
                return
            before = last.get(mod_index, 0)
            last[mod_index] = value
            for bit in range(16):
                mask = 1 << bit
                if (before ^ value) & mask:
                    name = names[bit] if bit < len(names) else f"ingang {bit}"
                    state = "aan" if value & mask else "uit"
                    print(f"module {mod_index}: {name}: {state}", flush=True)

        # Events are delivered while the program waits in the control.
        try:
            ctl.run(timeout=args.seconds)
        except KeyboardInterrupt:
            pass


if __name__ == "__main__":
    main()
