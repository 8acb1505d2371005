#include "bindings/python/Conversion.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>

namespace brimlink::python {

namespace ba = brimlink::automation;

namespace {

// Held for the life of the process: the classes are part of the module.
py::handle g_error;
py::handle g_controlMessage;

constexpr std::pair<ba::HRESULT, std::string_view> kSymbols[] = {
    {ba::S_OK, "S_OK"},
    {ba::S_FALSE, "S_FALSE"},
    {ba::E_NOINTERFACE, "E_NOINTERFACE"},
    {ba::E_POINTER, "E_POINTER"},
    {ba::E_FAIL, "E_FAIL"},
    {ba::E_INVALIDARG, "E_INVALIDARG"},
    {ba::E_OUTOFMEMORY, "E_OUTOFMEMORY"},
    {ba::CLASS_E_NOAGGREGATION, "CLASS_E_NOAGGREGATION"},
    {ba::CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE"},
    {ba::REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG"},
    {ba::DISP_E_MEMBERNOTFOUND, "DISP_E_MEMBERNOTFOUND"},
    {ba::DISP_E_TYPEMISMATCH, "DISP_E_TYPEMISMATCH"},
    {ba::DISP_E_UNKNOWNNAME, "DISP_E_UNKNOWNNAME"},
    {ba::DISP_E_EXCEPTION, "DISP_E_EXCEPTION"},
    {ba::DISP_E_OVERFLOW, "DISP_E_OVERFLOW"},
    {ba::DISP_E_BADPARAMCOUNT, "DISP_E_BADPARAMCOUNT"},
    {kWrongThread, "RPC_E_WRONG_THREAD"},
    {kDisconnected, "RPC_E_DISCONNECTED"},
};

std::string Quoted(std::string_view method, std::string_view parameter) {
    return std::string(method) + "() argument '" + std::string(parameter) + "'";
}

std::string TypeNameOf(py::handle value) { return py::str(py::type::handle_of(value).attr("__name__")); }

[[noreturn]] void Raise(PyObject* type, const std::string& message) {
    PyErr_SetString(type, message.c_str());
    throw py::error_already_set();
}

}  // namespace

std::string ResultSymbol(ba::HRESULT hr) {
    for (const auto& [code, symbol] : kSymbols)
        if (code == hr) return std::string(symbol);
    return ba::FormatResult(hr);
}

ba::Variant ToVariant(py::handle value, const ba::MethodInfo& method, std::size_t index) {
    const std::string_view parameter = method.params[index].name;
    if (PyLong_Check(value.ptr())) {  // bool too: True is 1, as automation's VARIANT_TRUE is not
        int overflow = 0;
        const long long number = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
        if (number == -1 && PyErr_Occurred()) throw py::error_already_set();
        if (overflow == 0 && number >= std::numeric_limits<std::int32_t>::min() &&
            number <= std::numeric_limits<std::int32_t>::max())
            return ba::Variant(static_cast<std::int32_t>(number));
        if (overflow == 0 && number > 0 && number <= std::numeric_limits<std::uint32_t>::max())
            return ba::Variant(static_cast<std::uint32_t>(number));
        Raise(PyExc_OverflowError, Quoted(method.name, parameter) + " = " + std::string(py::str(value)) +
                                       " does not fit " + std::string(ba::TypeName(method.params[index].type)));
    }
    if (PyFloat_Check(value.ptr())) {
        const double number = PyFloat_AsDouble(value.ptr());
        if (std::isfinite(number) && std::fabs(number) > FLT_MAX)
            Raise(PyExc_OverflowError, Quoted(method.name, parameter) + " = " + std::string(py::str(value)) +
                                           " does not fit a 32-bit float");
        return ba::Variant(static_cast<float>(number));
    }
    if (PyUnicode_Check(value.ptr())) {
        Py_ssize_t size = 0;
        const char* text = PyUnicode_AsUTF8AndSize(value.ptr(), &size);
        if (text == nullptr) throw py::error_already_set();
        return ba::Variant(ba::Utf8ToUtf16(std::string_view(text, static_cast<std::size_t>(size))));
    }
    const bool wantsText = method.params[index].type == ba::VariantType::BSTR;
    Raise(PyExc_TypeError, Quoted(method.name, parameter) + " must be " + (wantsText ? "str" : "int") + ", not " +
                               TypeNameOf(value));
}

py::object FromVariant(const ba::Variant& value) {
    switch (value.Type()) {
    case ba::VariantType::I2: return py::int_(value.I2());
    case ba::VariantType::I4: return py::int_(value.I4());
    case ba::VariantType::UI4: return py::int_(value.UI4());
    case ba::VariantType::R4: return py::float_(value.R4());
    case ba::VariantType::BSTR: return py::str(ba::Utf16ToUtf8(value.Bstr()));
    case ba::VariantType::Empty: break;
    }
    return py::none();
}

void RaiseError(ba::HRESULT hr, std::string_view message) {
    py::object error = py::reinterpret_borrow<py::object>(g_error)(message);
    error.attr("hresult") = static_cast<std::uint32_t>(hr);
    error.attr("symbol") = ResultSymbol(hr);
    PyErr_SetObject(g_error.ptr(), error.ptr());
    throw py::error_already_set();
}

void RaiseForResult(ba::HRESULT hr, const ba::MethodInfo& method, py::tuple args, std::size_t argError) {
    const bool named = argError < method.params.size() && argError < args.size();
    const std::string where = named ? Quoted(method.name, method.params[argError].name) : std::string(method.name) + "()";
    const std::string wanted = named ? std::string(ba::TypeName(method.params[argError].type)) : std::string();
    if (hr == ba::DISP_E_TYPEMISMATCH) {
        Raise(PyExc_TypeError, named ? where + " must be " + (wanted == "BSTR" ? "str" : "a number") + " (" + wanted +
                                           "), not " + TypeNameOf(args[argError])
                                     : where + ": wrong argument type");
    }
    if (hr == ba::DISP_E_OVERFLOW) {
        Raise(PyExc_OverflowError, named ? where + " = " + std::string(py::repr(args[argError])) + " does not fit " + wanted
                                         : where + ": a value does not fit its parameter");
    }
    if (hr == ba::DISP_E_BADPARAMCOUNT) {
        Raise(PyExc_TypeError, where + " takes " + std::to_string(method.params.size()) + " arguments (" +
                                   std::to_string(args.size()) + " given)");
    }
    RaiseError(hr, where + " failed: " + ResultSymbol(hr) + " (" + ba::FormatResult(hr) + ")");
}

void DefineExceptions(py::module_& module) {
    PyObject* error = PyErr_NewExceptionWithDoc(
        "brimlink.Error",
        "A call into the control failed.\n\nhresult: the control's result code (an unsigned 32-bit number),\n"
        "symbol: its name, e.g. 'DISP_E_EXCEPTION'.",
        nullptr, nullptr);
    if (error == nullptr) throw py::error_already_set();
    g_error = error;  // the reference is the module's for the life of the process
    py::reinterpret_borrow<py::object>(g_error).attr("hresult") = py::none();
    py::reinterpret_borrow<py::object>(g_error).attr("symbol") = py::none();
    module.attr("Error") = py::reinterpret_borrow<py::object>(g_error);

    PyObject* message = PyErr_NewExceptionWithDoc(
        "brimlink.ControlMessage",
        "The warning category of the control's messages (a port that failed, devices the user may not open,\n"
        "a duplicate module number) when the program set no message handler.",
        PyExc_UserWarning, nullptr);
    if (message == nullptr) throw py::error_already_set();
    g_controlMessage = message;
    module.attr("ControlMessage") = py::reinterpret_borrow<py::object>(g_controlMessage);

    module.attr("RPC_E_WRONG_THREAD") = static_cast<std::uint32_t>(kWrongThread);
    module.attr("RPC_E_DISCONNECTED") = static_cast<std::uint32_t>(kDisconnected);
}

py::object ErrorClass() { return py::reinterpret_borrow<py::object>(g_error); }
py::object ControlMessageClass() { return py::reinterpret_borrow<py::object>(g_controlMessage); }

}  // namespace brimlink::python
