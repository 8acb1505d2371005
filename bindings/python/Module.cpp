// brimlink._brimlink: the native half of the Python package. It offers the
// type table as data (the package makes the methods from it at import) and
// the control object with one generic call by DISPID.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "bindings/python/Conversion.h"
#include "bindings/python/ControlHost.h"
#include "control/interface/BrimlinkVersion.h"
#include "control/interface/TypeTable.h"

namespace py = pybind11;
namespace ba = brimlink::automation;
using brimlink::python::ControlHost;

namespace {

py::object TypeText(ba::VariantType type) {
    if (type == ba::VariantType::Empty) return py::none();
    return py::str(std::string(ba::TypeName(type)));
}

py::dict Describe(const ba::MethodInfo& method) {
    py::list params;
    for (const ba::ParamInfo& p : method.params)
        params.append(py::make_tuple(std::string(p.name), TypeText(p.type)));
    py::dict d;
    d["name"] = std::string(method.name);
    d["dispid"] = method.dispid;
    d["params"] = py::tuple(params);
    d["result"] = TypeText(method.result);
    d["help"] = std::string(method.helpString);
    return d;
}

py::tuple DescribeAll(const ba::InterfaceInfo& info) {
    py::list all;
    for (const ba::MethodInfo& m : info.methods) all.append(Describe(m));
    return py::tuple(all);
}

}  // namespace

PYBIND11_MODULE(_brimlink, m) {
    m.doc() = "The native part of brimlink: the control's type table and the control object.";
    brimlink::python::DefineExceptions(m);

    m.attr("METHODS") = DescribeAll(ba::kBrimlinkInterface);
    m.attr("EVENTS") = DescribeAll(ba::kBrimlinkEventInterface);
    const ba::TypeLibraryInfo& lib = ba::kBrimlinkTypeLibrary;
    py::dict library;
    library["name"] = std::string(lib.name);
    library["version"] = py::make_tuple(lib.majorVersion, lib.minorVersion);
    library["help"] = std::string(lib.helpString);
    library["interface"] = std::string(ba::kBrimlinkInterface.name);
    library["interface_help"] = std::string(ba::kBrimlinkInterface.helpString);
    library["event_interface"] = std::string(ba::kBrimlinkEventInterface.name);
    m.attr("TYPE_LIBRARY") = library;
    m.attr("__version__") = std::string(brimlink::control::kVersionText);

    py::class_<ControlHost>(m, "ControlBase",
                            "The control object; brimlink.Control adds the methods of the type table.")
        .def(py::init<std::optional<std::string>, std::vector<std::string>>(), py::arg("library"),
             py::arg("library_folders"))
        .def("_invoke", &ControlHost::Invoke, py::arg("dispid"), py::arg("args"),
             "Calls the method with this DISPID; args in declaration order.")
        .def("close", &ControlHost::Close,
             "Destroys the control as a host does: its connections end with their closing dialogues and\n"
             "changed settings are written. Calls afterwards raise brimlink.Error. Closing twice does nothing.")
        .def_property_readonly("closed", &ControlHost::Closed, "True once close() ran.")
        .def("pump", &ControlHost::Pump, py::arg("seconds"),
             "Dispatches events (InputWordChanged callbacks) for this many seconds; 0 dispatches what is\n"
             "pending. The interpreter lock is free meanwhile; Ctrl-C raises KeyboardInterrupt.")
        .def("run", &ControlHost::Run, py::kw_only(), py::arg("until") = py::none(), py::arg("timeout") = py::none(),
             "Dispatches events until until() returns true (asked before the first wait and after every\n"
             "event), then returns True; returns False when timeout seconds passed first. Without either it\n"
             "runs until Ctrl-C (KeyboardInterrupt) or a callback raises.");
}
