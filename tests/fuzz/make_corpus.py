#!/usr/bin/env python3
"""Writes the seed inputs of tests/fuzz/corpus (layout: FuzzHarness.h).

Run from anywhere: python3 tests/fuzz/make_corpus.py. Seeds are named
seed-*; inputs the fuzzer found are kept as crash-* next to them.
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")

OPENING, READY, INITIALISING, CLOSING = 0, 1, 2, 3
USB, MAJOR2, KEEP_ANSWERING, FAIL_POSTS = 0x04, 0x08, 0x40, 0x80
CLOSE_ON_RAISE, CLOSE_ON_MESSAGE, REOPEN_ON_RAISE = 0x10, 0x20, 0x30
R8A, HANDLERS_PUMP = 0x08, 0x40


def header(flags, module=1, bystander=0, b3=0):
    return bytes([flags, module, bystander, b3])


def T(data):
    """One read through the transport, then processed."""
    data = data.encode("latin-1") if isinstance(data, str) else data
    out = b""
    while True:  # longer reads go as several chunks
        out += bytes([min(len(data), 0x7F)]) + data[:0x7F]
        data = data[0x7F:]
        if not data:
            return out


def P(data):
    """ParseReply directly."""
    data = data.encode("latin-1") if isinstance(data, str) else data
    assert len(data) <= 0x3F
    return bytes([0x80 | len(data)]) + data


def H(data, repeats=1):
    """A read, repeated, not yet processed."""
    data = data.encode("latin-1") if isinstance(data, str) else data
    assert len(data) <= 0x3F and 1 <= repeats <= 256
    return bytes([0xC0 | len(data), repeats - 1]) + data


READY_V2 = header(READY | MAJOR2, 1)

SEEDS = {
    # Opening dialogue driven by the chunks (module silent).
    "open-serial-setup-version": header(OPENING, 1) + T("setup1\r") + T("V=2.10\r") + T("EW1.0=00FF\r"),
    "open-usb-dv-echo": header(OPENING | USB, 3) + T("setup3\r") + T("DV\r") + T("e1000FF\r") + T("2\x12\x34\r"),
    "open-setup0-setup9": header(OPENING, 0) + T("setup0\r") + T("setup9\r") + T("V=2.10\r"),
    "open-r6-version": header(OPENING, 0) + T("setup2\rV=1.5\r") + T("EW2.0=0180\r"),
    "open-live-module-number-9": header(OPENING | KEEP_ANSWERING | MAJOR2, 9) + T("setup4\r") + T("V=2.10\r"),
    # Every reply form in Ready.
    "ready-input-reports": READY_V2 + T("EW1.0=00FF\r") + T("e1000FF\r") + T("#H1000FF\r") + T("EW1.8=1234\r"),
    "ready-output-acks": READY_V2 + T("AW1.0=0001\r") + T("AW1.4=FFFF\r") + T("AW1.6=0001\r"),
    "ready-counters": READY_V2 + T("C1.0=1\r") + T("C1.0=0012\r") + T("C1.1=FFFF\r") + T("C1.2=0012\r")
    + T("C1.0=12\r") + T("C1.0=-FFF\r"),
    "ready-registers": READY_V2 + T("T1=01\r") + T("M1=20\r") + T("ME=4\r") + T("S1=0F\r") + T("B1=1\r")
    + T("F1=02\r") + T("G1.0=1.50\r") + T("RA1=2\r") + T("RE1=3\r") + T("U1.02=03\r"),
    "ready-version-dv-empty": READY_V2 + T("setup1\r") + T("V=2.10\r") + T("DV\r") + T("\r") + T("DEW1.8\r"),
    "ready-packets-one-batch": READY_V2 + T("2\x12\x34\r4\x0d\x0d\r8\x00\x0d\r6\xff\xff\r2\x00\x01\r"),
    "ready-packets-split-reads": READY_V2 + T("2\x12") + T("\x34\r") + T("4\x0d") + T("\x0d\r") + T("8") + T("\x00\x0d\r"),
    "ready-packet-cr-cr-cr": READY_V2 + T("2\r\r\r") + T("4\r") + T("\r\r") + T("2\x0d\r\r"),
    "ready-line-150-no-cr": READY_V2 + T("A" * 150) + T("EW1.0=0001\r") + T("EW1.0=0002\r"),
    "ready-line-100-101": READY_V2 + T("G1.0=" + "1" * 94 + "\r") + T("G1.0=" + "1" * 95 + "\r") + T("EW1.0=0003\r"),
    "ready-purge-overflow": READY_V2 + H("EW1.0=00") + H("x" * 63, 17) + T("12\r") + T("EW1.0=0004\r"),
    # The purge drops the last read of a batch: the cut "EW1.0=00" must not be
    # completed by the "12\r" of the next read.
    "ready-purge-at-batch-end": READY_V2 + H("ME=4\r", 200) + H("EW1.0=00") + H("FF\r" + "y" * 60) + T("")
    + T("12\r"),
    "ready-backlog": READY_V2 + H("2\x00\x01\r", 200) + H("4\x00\x02\r", 10) + T("2\x00\x03\r"),
    "ready-noise": READY_V2 + T("xyz\r") + T("EW9.0=0001\r") + T("EW1.9=0001\r") + T("AW1.8=0001\r")
    + T("S9=0F\r") + T("T1=\r") + T("EW 1.0= -FF\r") + T("EW1.0=0x12\r") + T("V= 2.10\r") + T("\x00\xff\r")
    + T("AW1.0=-001\r") + T("EW1.2=-001\r") + T("AW1.2=+FFF\r"),
    "ready-direct-parse": READY_V2 + P("EW1.0=00FF\r") + P("2\x12\x34\r") + P("2\x12") + P("D") + P("DE")
    + P("C1.0=1") + P("G1.0=1e308\r") + P("") + P("\r") + P("setup1") + P("RA1=99999999999\r"),
    "ready-v0-packets-module-1": header(READY, 4) + T("2\x12\x34\r") + T("EW3.0=0001\r") + T("e4000FF\r"),
    "ready-v0-r8a-word0-cut": header(READY, 2, 0, R8A) + T("T2=01\r") + T("EW2.0=1234\r"),
    # Initialisation dialogues driven by the chunks.
    "init-r8a": header(INITIALISING, 2, 0, R8A) + T("EW2.8=0001\r") + T("EW2.6=0002\r") + T("e2000FF\r")
    + T("EW2.4=0003\r") + T("EW2.2=0004\r") + T("EW2.0=0005\r") + T("AW2.4=0000\r") + T("AW2.2=0000\r")
    + T("AW2.0=0000\r") + T("T2=01\r") + T("M2=20\r") + T("S2=00\r") + T("ME=4\r"),
    "init-r16-echo": header(INITIALISING, 1) + T("DEW1.8\r") + T("EW1.0=0001\r") + T("AW1.0=0000\r") + T("T1=01\r"),
    "init-usb": header(INITIALISING | MAJOR2 | USB, 4) + T("EW4.8=0000\r") + T("EW4.6=0000\r") + T("EW4.4=0000\r")
    + T("EW4.2=0000\r") + T("EW4.0=0000\r") + T("AW4.4=0000\r") + T("AW4.2=0000\r") + T("AW4.0=0000\r")
    + T("T4=01\r") + T("M4=20\r") + T("S4=0F\r") + T("ME=4\r"),
    "init-live-module": header(INITIALISING | MAJOR2 | KEEP_ANSWERING, 2, 0, 3) + T("EW2.0=0001\r") + T("2\x00\x07\r"),
    # Closing dialogue.
    "closing-report-then-setup": header(CLOSING | MAJOR2, 1, 0, 1) + T("EW1.0=0005\r") + T("setup1\r")
    + T("EW1.0=0006\r"),
    # A second channel owns a record.
    "bystander-duplicate-number": header(OPENING, 3, 3) + T("setup3\r") + T("V=2.10\r") + T("EW3.0=0001\r")
    + T("AW3.0=0001\r"),
    "bystander-v0-binds-around": header(OPENING | USB, 5, 2) + T("setup5\r") + T("DV\r") + T("EW2.0=0001\r")
    + T("2\x00\x09\r"),
    "bystander-close-on-message": header(OPENING | CLOSE_ON_MESSAGE, 3, 3) + T("setup3\r") + T("V=2.10\r")
    + T("EW3.0=0001\r"),
    # Host handlers that close the channel inside ProcessReceived.
    "handler-close-on-raise": header(READY | MAJOR2 | CLOSE_ON_RAISE, 1) + T("EW1.0=0001\r2\x00\x05\rEW1.0=0002\r")
    + T("EW1.0=0003\r"),
    "handler-reopen-on-raise": header(READY | MAJOR2 | REOPEN_ON_RAISE, 1) + T("EW1.0=0001\r2\x00\x05\rEW1.0=0002\r")
    + T("EW1.0=0003\r"),
    "handler-reopen-while-opening": header(OPENING | REOPEN_ON_RAISE, 1) + T("setup1\rDV\rEW1.0=0001\rEW1.0=0002\r"),
    "handler-posts-fail": header(READY | MAJOR2 | FAIL_POSTS | CLOSE_ON_MESSAGE, 1) + T("2\x00\x05\r4\x00\x06\r"),
    # Handlers that run the event loop while the next chunk arrives (re-entry).
    "handler-pumps-data-arrives": header(READY | MAJOR2, 1, 0, HANDLERS_PUMP) + T("EW1.0=0001\rEW1.0=0002\r")
    + T("EW1.0=0003\r2\x00\x04\r") + T("EW1.0=0005\r") + T("EW1.0=0006\r"),
    "handler-pumps-then-closes": header(READY | MAJOR2 | CLOSE_ON_RAISE, 1, 0, HANDLERS_PUMP)
    + T("EW1.0=0001\rAW1.0=0001\r") + T("EW1.0=0002\r") + T("EW1.0=0003\r"),
    "message-box-pumps": header(OPENING, 3, 3, HANDLERS_PUMP) + T("setup3\rV=2.10\r") + T("EW3.0=0001\r")
    + T("V=2.10\r"),
    # A line of 150 bytes without CR, alone.
    "line-150-no-cr": READY_V2 + T(bytes(range(1, 151)).replace(b"\r", b"x")),
}


def main():
    os.makedirs(CORPUS, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(CORPUS, "seed-" + name), "wb") as f:
            f.write(data)
    print(f"{len(SEEDS)} seeds in {CORPUS}")


if __name__ == "__main__":
    main()
