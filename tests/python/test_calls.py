"""Calls by position and keyword against a simulated module, and every class
of error a call can raise."""

import math
import threading

import pytest

import brimlink


def test_calls_by_position_and_by_keyword_reach_the_module(ctl, sim):
    ctl.SetOutputWord(1, 0, 5)
    sim.wait_for("output word 0 = 0x0005")
    ctl.SetOutputWord(Value=6, WordIndex=0, ModIndex=1)
    sim.wait_for("output word 0 = 0x0006")
    ctl.SetOutputWord(1, 0, Value=0x41)
    sim.wait_for("output word 0 = 0x0041")
    assert ctl.GetOutputWord(1, WordIndex=0) == 0x41
    assert ctl.SendAndGetString(str="DEW1.0", ModIndex=1) == "EW1.0=0000"
    assert ctl.GetModuleType(ModIndex=1) == 3
    assert ctl.GetComPort(1) == 201
    assert ctl.GetPortType(1) == 1
    sim.type("word 2 0x8001")
    sim.wait_for("input word 2 = 0x8001")
    # I2 results wrap as the old 16-bit values did; I4 keeps the 16 bits.
    ctl.pump(0.2)
    assert ctl.GetInputWord(1, 2) == 0x8001
    assert ctl.GetAnalogInput1() == 0x8001 - 0x10000


def test_arguments_out_of_range_have_no_effect(ctl, sim):
    assert ctl.GetInputWord(9, 0) == 0
    assert ctl.GetInputWord(1, 5) == 0
    assert ctl.SendAndGetString(12, "DEW1.0") == ""
    ctl.SetModule(42)
    assert ctl.GetComPort(0) == 201, "the current module stays module 1"
    ctl.SetOutputWord(1, 3, 7)
    ctl.SetOutputWord(1, 0, 9)
    assert "output word 0 = 0x0009" in sim.wait_for("output word")


@pytest.fixture(scope="module")
def idle():
    """A control without a module: enough for argument checks."""
    import os
    import tempfile

    with tempfile.TemporaryDirectory() as folder:
        os.mkdir(os.path.join(folder, "Brimlink"))
        with open(os.path.join(folder, "Brimlink", "Brimlink.ini"), "w") as ini:
            ini.write("[PortSettings]\nUseUSB=N\nUseSerial=N\n")
        old = os.environ.get("XDG_CONFIG_DIRS")
        os.environ["XDG_CONFIG_DIRS"] = folder
        try:
            with brimlink.Control() as control:
                yield control
        finally:
            if old is None:
                del os.environ["XDG_CONFIG_DIRS"]
            else:
                os.environ["XDG_CONFIG_DIRS"] = old


ERRORS = [
    # a wrong count or an unknown or doubled keyword
    (lambda c: c.GetInputWord(1), TypeError, "missing a required argument: 'WordIndex'"),
    (lambda c: c.GetInputWord(1, 0, 3), TypeError, "too many positional arguments"),
    (lambda c: c.Connect(0), TypeError, "too many positional arguments"),
    (lambda c: c.GetInputWord(1, 0, Word=0), TypeError, "unexpected keyword argument 'Word'"),
    (lambda c: c.GetInputWord(1, 0, ModIndex=1), TypeError, "multiple values for argument 'ModIndex'"),
    # a wrong type
    (lambda c: c.GetInputWord(1, None), TypeError, "argument 'WordIndex' must be int, not NoneType"),
    (lambda c: c.SetOutputWord(1, 0, [1]), TypeError, "argument 'Value' must be int, not list"),
    (lambda c: c.SendString(1, b"DEW1.0"), TypeError, "argument 'str' must be str, not bytes"),
    (lambda c: c.GetInputWord("1", 0), TypeError, "argument 'ModIndex' must be a number (I2), not str"),
    # a value that does not fit its parameter
    (lambda c: c.GetInputWord(1, 40000), OverflowError, "'WordIndex' = 40000 does not fit I2"),
    (lambda c: c.GetInputWord(-32769, 0), OverflowError, "'ModIndex' = -32769 does not fit I2"),
    (lambda c: c.SetOutputWord(1, 0, 2**31), OverflowError, "'Value' = 2147483648 does not fit I4"),
    (lambda c: c.SetOutputWord(1, 0, -(2**40)), OverflowError, "'Value' = -1099511627776 does not fit I4"),
    (lambda c: c.SetGain(1, 0, 1e300), OverflowError, "'GainFactor' = 1e+300 does not fit a 32-bit float"),
    (lambda c: c.SetModule(math.nan), OverflowError, "'ModIndex' = nan does not fit I2"),
]


@pytest.mark.parametrize("call,error,text", ERRORS)
def test_each_wrong_call_raises_its_python_error(idle, call, error, text):
    with pytest.raises(error) as raised:
        call(idle)
    assert text in str(raised.value)
    assert not isinstance(raised.value, brimlink.Error)


def test_numbers_are_coerced_as_the_control_does_for_every_host(idle):
    idle.SetModule(True)  # bool is an int
    idle.SetModule(2.5)  # rounds half to even, as automation does
    idle.WriteDebugString(17)  # a number to a string parameter is its text
    assert idle.GetInputWord(1.0, 0) == 0


def test_other_failures_are_brimlink_errors_with_the_result_code(settings):
    with pytest.raises(brimlink.Error) as missing:
        brimlink.Control(library=settings / "no-such" / "Brimlink.ocx")
    assert missing.value.symbol == "E_FAIL" and missing.value.hresult == 0x80004005
    assert "cannot create the control: cannot load " in str(missing.value)

    control = brimlink.Control()
    outcome = {}

    def elsewhere():
        try:
            control.GetModuleType(1)
        except brimlink.Error as error:
            outcome["error"] = error

    thread = threading.Thread(target=elsewhere)
    thread.start()
    thread.join()
    assert outcome["error"].symbol == "RPC_E_WRONG_THREAD"
    assert outcome["error"].hresult == brimlink._brimlink.RPC_E_WRONG_THREAD

    control.close()
    control.close()  # a second close does nothing
    assert control.closed
    with pytest.raises(brimlink.Error) as closed:
        control.GetModuleType(1)
    assert (closed.value.symbol, closed.value.hresult) == ("RPC_E_DISCONNECTED", 0x80010108)
    assert issubclass(brimlink.Error, Exception) and brimlink.Error("x").hresult is None
