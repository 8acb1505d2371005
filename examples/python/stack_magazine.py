#!/usr/bin/python3
"""The stack magazine's working cycle: push the lowest part out of the
magazine onto the plate, press it, and pull the pusher back, until the
magazine is empty.

    python3 stack_magazine.py --parts 4

The wiring of the station:
    output 0  Doorvoercilinder (uit)   push cylinder out (its valve stays put)
    output 1  Doorvoercilinder (in)    push cylinder in
    output 2  Aandrukcilinder          pressing cylinder out while it is on
    input 0   Eindschakelaar cilinder 1A: on while the pressing cylinder is fully out

The push cylinder has no end switch, so the program gives it its travel time
(--travel) to get there. The pressing cylinder has one: the program waits for
its event, so a cylinder that sticks stops the cycle with a message instead of
pressing air. No sensor sees the parts either, so the program is told how many
parts were put in the magazine and stops when it has pushed them all out.
"""

import argparse

import brimlink

PUSH_OUT, PUSH_IN, PRESS = 0, 1, 2  # output bits
PRESSED = 0  # input bit: the pressing cylinder is fully out


def main():
    parser = argparse.ArgumentParser(description="Runs the stack magazine until it is empty.")
    parser.add_argument("--parts", type=int, default=4, help="parts in the magazine (default 4)")
    parser.add_argument("--travel", type=float, default=0.6,
                        help="seconds the push cylinder needs for one stroke (default 0.6)")
    parser.add_argument("--module", type=int, default=1, help="module number of the station (default 1)")
    args = parser.parse_args()
    module = args.module

    with brimlink.Control() as ctl:
        if not ctl.Connect() & (1 << (module - 1)):
            raise SystemExit(f"Module {module} not found.")

        # The inputs as the events report them; the program waits until they change.
        inputs = ctl.GetInputWord(module, 0)

        @ctl.on_input_word_changed
        def changed(mod_index, word_index, value):
            nonlocal inputs
            if mod_index == module and word_index == 0:
                inputs = value

        def outputs(*bits):
            # Switches exactly these outputs on and every other output off.
            ctl.SetOutputWord(module, 0, sum(1 << bit for bit in bits))

        def wait_for(bit, on, what):
            # Dispatches events until the input is as wanted; 3 s is plenty for any cylinder.
            if not ctl.run(until=lambda: bool(inputs & (1 << bit)) == on, timeout=3):
                outputs(PUSH_IN)
                raise SystemExit(f"Stopped: {what} did not happen.")

        def travel():
            # No end switch: wait the stroke's time, dispatching events meanwhile.
            ctl.pump(args.travel)

        outputs(PUSH_IN)  # start with the pusher back, so a part lies in front of it
        travel()
        for part in range(1, args.parts + 1):
            outputs(PUSH_OUT)  # shove the lowest part onto the plate
            travel()
            outputs(PUSH_OUT, PRESS)  # press it
            wait_for(PRESSED, True, "the pressing cylinder reaching the part")
            outputs(PUSH_OUT)  # the spring brings the pressing cylinder back
            wait_for(PRESSED, False, "the pressing cylinder going back")
            outputs(PUSH_IN)  # the next part drops in front of the pusher
            travel()
            print(f"Part {part} pressed.", flush=True)
        outputs()
        print("The magazine is empty.", flush=True)


if __name__ == "__main__":
    main()
