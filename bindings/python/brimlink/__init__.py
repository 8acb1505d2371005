"""The Brimlink control for Python programs.

    import brimlink

    with brimlink.Control() as ctl:
        print(ctl.Connect())                  # bit mask of the modules found
        ctl.SetOutputWord(1, 0, 0x05)         # module 1, output word 0

        @ctl.on_input_word_changed
        def changed(mod_index, word_index, value):
            print(mod_index, word_index, hex(value))

        ctl.pump(10)                          # dispatch events for 10 seconds

Every method of the control's dispatch interface is a method of Control under
the same name, with the type table's parameter names (so keywords work too)
and a docstring from the table. The methods are made from the type table when
this package is imported.
"""

import atexit
import inspect
import os
import warnings
import weakref

from . import _brimlink, _location
from ._brimlink import EVENTS, METHODS, TYPE_LIBRARY, ControlMessage, Error, __version__

__all__ = ["Control", "Error", "ControlMessage", "METHODS", "EVENTS", "TYPE_LIBRARY", "__version__"]

# Automation types as Python types (the control checks the ranges).
PYTHON_TYPES = {"I2": int, "I4": int, "UI4": int, "R4": float, "BSTR": str}
TYPE_MEANINGS = {
    "I2": "16-bit signed integer",
    "I4": "32-bit signed integer",
    "UI4": "32-bit unsigned integer",
    "R4": "32-bit float",
    "BSTR": "string",
}

# Controls not yet closed, closed at the interpreter's exit as a host's end would.
_open_controls = weakref.WeakSet()


def _text(text):
    # The control's texts end lines with a lone carriage return.
    return text.replace("\r\n", "\n").replace("\r", "\n")


class Control(_brimlink.ControlBase):
    """The Brimlink control, created as every host creates it.

    library: the path of a Brimlink.ocx to use. Without it the class registry
    decides; a class that is not registered comes from the library beside this
    package's build tree (build/*/bin/) or from the installed library folder
    (lib/<multiarch>/brimlink/).

    Use it on the thread that created it. close(), the end of a with block and
    garbage collection destroy it as a host does: the connections end with
    their closing dialogues and changed settings are written.

    message_handler: a function (title, text) that receives the control's
    messages; None (the default) turns them into warnings of the category
    brimlink.ControlMessage.
    """

    def __init__(self, library=None):
        here = os.path.dirname(os.path.abspath(__file__))
        folders = [os.path.normpath(os.path.join(here, f)) for f in _location.LIBRARY_FOLDERS]
        super().__init__(None if library is None else os.fspath(library), folders)
        self._callbacks = []
        self.message_handler = None
        _open_controls.add(self)

    def on_input_word_changed(self, callback):
        """Calls callback(mod_index, word_index, value) on every InputWordChanged.

        Callbacks run on the control's thread while the program is in pump(),
        run() or a call of the control that waits. A callback may call the
        control. An exception from a callback ends the pump, run or call in
        progress with that exception. Returns the callback, so this works as a
        decorator.
        """
        if not callable(callback):
            raise TypeError("the callback must be callable")
        self._callbacks.append(callback)
        return callback

    def remove_input_word_changed(self, callback):
        """Removes a callback added with on_input_word_changed (ValueError if it is not there)."""
        self._callbacks.remove(callback)

    def _dispatch_input_word_changed(self, mod_index, word_index, value):
        for callback in tuple(self._callbacks):
            callback(mod_index, word_index, value)

    def _report_message(self, title, text):
        handler = self.message_handler
        if handler is not None:
            handler(title, _text(text))
        else:
            warnings.warn(f"{title}: {_text(text)}" if title else _text(text), ControlMessage, stacklevel=2)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def __repr__(self):
        return f"<brimlink.Control {'closed' if self.closed else 'open'}>"


def _signature(info):
    parameters = [inspect.Parameter("self", inspect.Parameter.POSITIONAL_OR_KEYWORD)]
    for name, kind in info["params"]:
        parameters.append(
            inspect.Parameter(name, inspect.Parameter.POSITIONAL_OR_KEYWORD, annotation=PYTHON_TYPES[kind]))
    result = PYTHON_TYPES[info["result"]] if info["result"] else None
    return inspect.Signature(parameters, return_annotation=result)


def _docstring(info):
    params = ", ".join(f"{name}: {kind}" for name, kind in info["params"])
    head = f"{info['name']}({params})" + (f" -> {info['result']}" if info["result"] else "")
    lines = [head, "", info["help"], ""]
    for name, kind in info["params"]:
        lines.append(f"{name}: {kind} ({TYPE_MEANINGS[kind]})")
    lines.append(f"Returns: {info['result']} ({TYPE_MEANINGS[info['result']]})" if info["result"] else
                 "Returns: None")
    lines.append(f"DISPID {info['dispid']} of {TYPE_LIBRARY['interface']}.")
    return "\n".join(lines)


def _make_method(info):
    name, dispid = info["name"], info["dispid"]
    count = len(info["params"])
    signature = _signature(info)
    invoke = _brimlink.ControlBase._invoke

    def method(self, *args, **kwargs):
        if kwargs or len(args) != count:
            try:
                bound = signature.bind(self, *args, **kwargs)
            except TypeError as error:
                raise TypeError(f"{name}() {error}") from None
            args = bound.args[1:]
        return invoke(self, dispid, args)

    method.__name__ = name
    method.__qualname__ = f"Control.{name}"
    method.__module__ = __name__
    method.__doc__ = _docstring(info)
    method.__signature__ = signature
    return method


for _info in METHODS:
    setattr(Control, _info["name"], _make_method(_info))
del _info


@atexit.register
def _close_at_exit():
    for control in list(_open_controls):
        try:
            control.close()
        except Exception:  # another thread's control, or a failing handler: the exit goes on
            pass
