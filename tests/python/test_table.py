"""The methods come from the type table: names, parameters, types, docstrings
and the generated stub all say what the table says."""

import ast
import inspect
import os

import brimlink

TYPES = {"I2": int, "I4": int, "UI4": int, "R4": float, "BSTR": str}


def test_every_table_method_is_a_method_with_the_tables_signature_and_help():
    assert len(brimlink.METHODS) == 45
    assert len({m["dispid"] for m in brimlink.METHODS}) == 45
    for info in brimlink.METHODS:
        method = getattr(brimlink.Control, info["name"])
        signature = inspect.signature(method)
        names = [p for p in signature.parameters][1:]
        assert names == [name for name, _ in info["params"]], info["name"]
        assert [signature.parameters[n].annotation for n in names] == [TYPES[t] for _, t in info["params"]]
        assert signature.return_annotation == (TYPES[info["result"]] if info["result"] else None)
        doc = method.__doc__
        assert doc.startswith(info["name"] + "(")
        assert info["help"] and info["help"] in doc, info["name"]
        assert f"DISPID {info['dispid']} " in doc
        for name, kind in info["params"]:
            assert f"{name}: {kind} (" in doc


def test_the_table_names_the_known_members():
    by_name = {m["name"]: m for m in brimlink.METHODS}
    assert by_name["AboutBox"]["dispid"] == -552
    assert by_name["GetInputWord"]["params"] == (("ModIndex", "I2"), ("WordIndex", "I2"))
    assert by_name["GetInputWord"]["result"] == "I4"
    assert by_name["SetGain"]["params"][2] == ("GainFactor", "R4")
    assert by_name["SendAndGetString"]["result"] == "BSTR"
    assert by_name["Disconnect"]["result"] is None
    (event,) = brimlink.EVENTS
    assert (event["name"], event["dispid"]) == ("InputWordChanged", 1)
    assert [name for name, _ in event["params"]] == ["ModIndex", "WordIndex", "Value"]


def test_the_stub_declares_the_same_methods():
    stub = os.path.join(os.path.dirname(brimlink.__file__), "__init__.pyi")
    tree = ast.parse(open(stub, encoding="utf-8").read())
    control = next(n for n in tree.body if isinstance(n, ast.ClassDef) and n.name == "Control")
    defs = {f.name: f for f in control.body if isinstance(f, ast.FunctionDef)}
    for info in brimlink.METHODS:
        f = defs[info["name"]]
        assert [a.arg for a in f.args.args] == ["self"] + [n for n, _ in info["params"]]
        assert [a.annotation.id for a in f.args.args[1:]] == [TYPES[t].__name__ for _, t in info["params"]]
        assert ast.get_docstring(f) == getattr(brimlink.Control, info["name"]).__doc__
    for name in ("pump", "run", "close", "on_input_word_changed", "remove_input_word_changed"):
        assert name in defs
