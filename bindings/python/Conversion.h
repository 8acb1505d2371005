// Between Python values and the control's automation values, and from a
// failed call's result code to the Python exception a Python program expects.
//
// Threads: the caller holds the interpreter lock.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <string_view>

#include "control/interface/TypeTable.h"
#include "control/interface/Variant.h"

namespace brimlink::python {

namespace py = pybind11;

// The codes this module raises itself, named as automation names them.
inline constexpr automation::HRESULT kWrongThread = automation::MakeResult(0x8001010Eu);   // RPC_E_WRONG_THREAD
inline constexpr automation::HRESULT kDisconnected = automation::MakeResult(0x80010108u);  // RPC_E_DISCONNECTED

// The argument as the automation value nearest to it: int as I4 (UI4 above
// I4's range), float as R4, str as BSTR. The control then coerces it to the
// parameter's type, as it does for every host. Raises TypeError for any other
// Python type and OverflowError for a number no automation value holds.
automation::Variant ToVariant(py::handle value, const automation::MethodInfo& method, std::size_t index);

// None for a method without a result.
py::object FromVariant(const automation::Variant& value);

// "DISP_E_OVERFLOW"; "0x80041234" for a code without a name.
std::string ResultSymbol(automation::HRESULT hr);

// Sets the Python error for a failed Invoke and throws py::error_already_set:
// TypeError for a wrong count or type, OverflowError for a value that does
// not fit its parameter, brimlink.Error for anything else. argError is the
// failing argument's index where the control named one.
[[noreturn]] void RaiseForResult(automation::HRESULT hr, const automation::MethodInfo& method,
                                 py::tuple args, std::size_t argError);

// brimlink.Error with its hresult and symbol attributes.
[[noreturn]] void RaiseError(automation::HRESULT hr, std::string_view message);

// The exception classes, made once when the module is imported.
void DefineExceptions(py::module_& module);
py::object ErrorClass();
py::object ControlMessageClass();

}  // namespace brimlink::python
