#!/usr/bin/python3
"""The handling station picks the part at the front (the end of the line,
where a belt delivers) and places it on its plate at the back, waiting for
each cylinder's end switch before the next move.

    python3 handling.py

The wiring of the station:
    output 0  Verplaatscilinder (uit)   horizontal cylinder to the front
    output 1  Verplaatscilinder (in)    horizontal cylinder to the back
    output 2  Grijpercilinder (uit)     vertical cylinder down
    output 3  Grijpercilinder (in)      vertical cylinder up
    output 4  Grijper                   gripper closed while it is on
    input 0..3  end switches: back, front, up, down

Both cylinders sit on valves that stay where they were last switched. The rule
of the station: never move horizontally while the vertical cylinder is not up,
or the gripper drags through whatever stands below it.
"""

import argparse

import brimlink

FRONT_OUT, BACK_IN, DOWN_OUT, UP_IN, GRIPPER = 0, 1, 2, 3, 4  # output bits
AT_BACK, AT_FRONT, AT_TOP, AT_BOTTOM = 0, 1, 2, 3  # input bits
GRIP_TIME = 0.3  # seconds for the gripper to close or open (it has no switch)


def main():
    parser = argparse.ArgumentParser(description="Picks the part at the front and places it at the back.")
    parser.add_argument("--module", type=int, default=1, help="module number of the station (default 1)")
    args = parser.parse_args()
    module = args.module

    with brimlink.Control() as ctl:
        if not ctl.Connect() & (1 << (module - 1)):
            raise SystemExit(f"Module {module} not found.")

        inputs = ctl.GetInputWord(module, 0)

        @ctl.on_input_word_changed
        def changed(mod_index, word_index, value):
            nonlocal inputs
            if mod_index == module and word_index == 0:
                inputs = value

        gripper = 0  # the gripper's output bit stays as it is while the cylinders move

        def move(bit, until, what):
            # Switches one valve and waits for the end switch that says the move is done.
            if bit in (FRONT_OUT, BACK_IN) and not inputs & (1 << AT_TOP):
                raise SystemExit("Refused: the gripper is not up, it must not move horizontally.")
            ctl.SetOutputWord(module, 0, (1 << bit) | gripper)
            if not ctl.run(until=lambda: inputs & (1 << until), timeout=3):
                ctl.SetOutputWord(module, 0, gripper)
                raise SystemExit(f"Stopped: {what} did not happen.")
            print(what, flush=True)

        def grip(closed):
            nonlocal gripper
            gripper = (1 << GRIPPER) if closed else 0
            ctl.SetOutputWord(module, 0, gripper)
            ctl.pump(GRIP_TIME)  # no switch: give it its time
            print("gripper closed" if closed else "gripper open", flush=True)

        move(UP_IN, AT_TOP, "up")  # the starting position: up and at the back
        move(BACK_IN, AT_BACK, "at the back")
        move(FRONT_OUT, AT_FRONT, "at the front")
        move(DOWN_OUT, AT_BOTTOM, "down at the front")
        grip(True)
        move(UP_IN, AT_TOP, "up with the part")
        move(BACK_IN, AT_BACK, "at the back with the part")
        move(DOWN_OUT, AT_BOTTOM, "down at the plate")
        grip(False)
        move(UP_IN, AT_TOP, "up")
        ctl.SetOutputWord(module, 0, 0)
        print("Part placed.", flush=True)


if __name__ == "__main__":
    main()
