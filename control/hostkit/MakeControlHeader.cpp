// brimlink-make-control-header OUTDIR: writes OUTDIR/DispIds.h and
// OUTDIR/Control.h, the typed C++ face of the control, from the type table.
// The build runs it, so the 45 typed methods and the event can never drift
// from what Invoke and the registration read.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "control/interface/Registration.h"
#include "control/interface/TypeTable.h"

namespace {

namespace ba = brimlink::automation;
using ba::VariantType;

std::string_view CppType(VariantType type) {
    switch (type) {
    case VariantType::I2: return "std::int16_t";
    case VariantType::I4: return "std::int32_t";
    case VariantType::UI4: return "std::uint32_t";
    case VariantType::R4: return "float";
    case VariantType::BSTR: return "std::u16string";
    case VariantType::Empty: break;
    }
    return "HRESULT";
}

// The Variant accessor that gives a value of this type.
std::string_view Accessor(VariantType type) {
    switch (type) {
    case VariantType::I2: return "I2()";
    case VariantType::I4: return "I4()";
    case VariantType::UI4: return "UI4()";
    case VariantType::R4: return "R4()";
    case VariantType::BSTR: return "Bstr()";
    case VariantType::Empty: break;
    }
    return "";
}

std::string_view TypeTag(VariantType type) {
    switch (type) {
    case VariantType::I2: return "I2";
    case VariantType::I4: return "I4";
    case VariantType::UI4: return "UI4";
    case VariantType::R4: return "R4";
    case VariantType::BSTR: return "BSTR";
    case VariantType::Empty: break;
    }
    return "Empty";
}

bool HasText(const ba::MethodInfo& m) {
    for (const ba::ParamInfo& p : m.params)
        if (p.type == VariantType::BSTR) return true;
    return false;
}

// "std::int16_t ModIndex, std::u16string str"; utf8 gives text as std::string_view.
std::string ParameterList(const ba::MethodInfo& m, bool utf8) {
    std::string text;
    for (const ba::ParamInfo& p : m.params) {
        if (!text.empty()) text += ", ";
        text += utf8 && p.type == VariantType::BSTR ? std::string_view("std::string_view") : CppType(p.type);
        text += ' ';
        text += p.name;
    }
    return text;
}

std::string Comment(const ba::MethodInfo& m) {
    std::string text = "    // " + ba::FormatMethod(m);
    if (!m.helpString.empty()) text += "\n    // " + std::string(m.helpString);
    return text + "\n";
}

void WriteMethod(std::ostream& out, const ba::MethodInfo& m) {
    const bool hasResult = m.result != VariantType::Empty;
    out << Comment(m);
    out << "    " << CppType(m.result) << ' ' << m.name << '(' << ParameterList(m, false) << ") {\n";
    if (m.params.empty()) {
        out << "        const std::span<const automation::Variant> args;\n";
    } else {
        out << "        const automation::Variant args[] = {";
        for (std::size_t i = 0; i < m.params.size(); ++i) {
            if (i > 0) out << ", ";
            const ba::ParamInfo& p = m.params[i];
            out << "automation::Variant(" << (p.type == VariantType::BSTR ? "std::move(" : "") << p.name
                << (p.type == VariantType::BSTR ? ")" : "") << ')';
        }
        out << "};\n";
    }
    out << "        automation::Variant result;\n";
    out << "        " << (hasResult ? "" : "return ") << "Call(dispid::" << m.name
        << ", args, automation::VariantType::" << TypeTag(m.result) << ", result);\n";
    if (hasResult) out << "        return result." << Accessor(m.result) << ";\n";
    out << "    }\n";
    if (HasText(m)) {
        out << "    // The same with UTF-8 text.\n";
        out << "    " << CppType(m.result) << ' ' << m.name << '(' << ParameterList(m, true) << ") {\n";
        out << "        return " << m.name << '(';
        for (std::size_t i = 0; i < m.params.size(); ++i) {
            if (i > 0) out << ", ";
            const ba::ParamInfo& p = m.params[i];
            if (p.type == VariantType::BSTR) out << "automation::Utf8ToUtf16(" << p.name << ')';
            else out << p.name;
        }
        out << ");\n    }\n";
    }
    out << '\n';
}

std::string HandlerType(const ba::MethodInfo& e) {
    return "std::function<void(" + ParameterList(e, false) + ")>";
}

void WriteEventRegistration(std::ostream& out, const ba::MethodInfo& e) {
    out << "    // Event " << ba::FormatMethod(e) << '\n';
    if (!e.helpString.empty()) out << "    // " << e.helpString << '\n';
    out << "    // The handler replaces the previous one; an empty one stops the calls.\n";
    out << "    using " << e.name << "Handler = " << HandlerType(e) << ";\n";
    out << "    HRESULT On" << e.name << '(' << e.name << "Handler handler) {\n"
        << "        const HRESULT hr = AdviseSink();\n"
        << "        if (automation::Succeeded(hr)) sink_->on" << e.name << " = std::move(handler);\n"
        << "        return lastError_ = hr;\n"
        << "    }\n\n";
}

void WriteEventCase(std::ostream& out, const ba::MethodInfo& e) {
    out << "                case dispid::events::" << e.name << ": {\n";
    out << "                    automation::Variant a[" << (e.params.empty() ? 1 : e.params.size()) << "];\n";
    if (e.params.empty()) {
        out << "                    const std::span<const automation::VariantType> types;\n";
    } else {
        out << "                    static constexpr automation::VariantType types[] = {";
        for (std::size_t i = 0; i < e.params.size(); ++i)
            out << (i > 0 ? ", " : "") << "automation::VariantType::" << TypeTag(e.params[i].type);
        out << "};\n";
    }
    out << "                    if (const HRESULT hr = Coerce(args, types, a, argError); automation::Failed(hr)) "
           "return hr;\n";
    out << "                    if (on" << e.name << ") on" << e.name << '(';
    for (std::size_t i = 0; i < e.params.size(); ++i)
        out << (i > 0 ? ", " : "") << "a[" << i << "]." << Accessor(e.params[i].type);
    out << ");\n                    return automation::S_OK;\n                }\n";
}

std::string DispIdsHeader() {
    std::ostringstream out;
    out << "// brimlink/DispIds.h: the member identifiers of the Brimlink control, by\n"
           "// name. Generated by brimlink-make-control-header from the type table\n"
           "// (TypeTable.h); do not edit.\n"
           "#pragma once\n\n"
           "#include \"Automation.h\"\n\n"
           "namespace brimlink::dispid {\n\n";
    out << "// " << ba::kBrimlinkInterface.name << '\n';
    for (const ba::MethodInfo& m : ba::kBrimlinkMethods)
        out << "inline constexpr automation::DISPID " << m.name << " = " << m.dispid << ";\n";
    out << "\n// " << ba::kBrimlinkEventInterface.name << "\nnamespace events {\n";
    for (const ba::MethodInfo& e : ba::kBrimlinkEvents)
        out << "inline constexpr automation::DISPID " << e.name << " = " << e.dispid << ";\n";
    out << "}  // namespace events\n\n}  // namespace brimlink::dispid\n";
    return out.str();
}

constexpr std::string_view kControlHead = R"cpp(// brimlink/Control.h: brimlink::Control, the Brimlink control with one typed
// method per member of its dispatch interface and one On... registration per
// event. Generated by brimlink-make-control-header from the type table
// (TypeTable.h); do not edit.
//
//     QCoreApplication application(argc, argv);
//     brimlink::Control ctl;                 // creates the control
//     if (!ctl) { puts(ctl.CreationDetail().c_str()); return 1; }
//     ctl.OnInputWordChanged([](short m, short w, long v) { ... });
//     ctl.Connect();
//     ctl.SetDigitalOutput0(5);
//
// Errors: nothing here throws. A method with a result returns it, or the
// type's zero when the call failed; a method without a result returns the
// call's HRESULT. Either way LastError() is the HRESULT of the last call
// (S_OK, 0, when it succeeded). A Control whose creation failed answers
// every call with the creation's HRESULT.
//
// Threads: create and call the control on one thread, which runs a Qt event
// loop (a QCoreApplication or QApplication must exist): the control's replies
// and events travel through that loop. Handlers run on that thread while the
// control waits or pumps events (DoProcess, DoBackgroundProcessing, any
// method that waits for a module); they may call the control, but must not
// destroy it.
#pragma once

#if __cplusplus < 202002L
#error "brimlink/Control.h needs C++20 (-std=c++20)"
#endif

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "Automation.h"
#include "Creation.h"
#include "DispIds.h"
#include "Dispatch.h"
#include "HostInterfaces.h"
#include "TypeTable.h"
#include "Variant.h"

namespace brimlink {

using automation::Failed;
using automation::HRESULT;
using automation::Succeeded;

)cpp";

constexpr std::string_view kControlClassHead = R"cpp(class Control {
public:
    // Creates the control through the creation helper: the ProgID (or a
    // "{CLSID}") is looked up in the user's and the machine's class registry
    // (the package registers the control there); the control's own class is
    // also found in a Brimlink.ocx beside the program or in lib/<multiarch>/
    // brimlink/ of the prefix the program is installed under.
    explicit Control(std::string_view classText = kControlProgId) {
        void* raw = nullptr;
        HRESULT hr = automation::CreateInstance(classText, automation::IID_IDispatch, &raw, &creationDetail_);
        if (automation::Succeeded(hr) && raw == nullptr) hr = automation::E_POINTER;
        if (automation::Succeeded(hr))
            object_ = automation::ComPtr<automation::Dispatch>::Adopt(static_cast<automation::Dispatch*>(raw));
        creationResult_ = lastError_ = hr;
    }
    // Wraps an object the host created itself; a null one is a failed creation.
    explicit Control(automation::ComPtr<automation::Dispatch> object) : object_(std::move(object)) {
        if (!object_) creationResult_ = lastError_ = automation::E_POINTER;
    }
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    Control(Control&& other) noexcept { Swap(other); }
    Control& operator=(Control&& other) noexcept {
        if (this != &other) {
            Release();
            Swap(other);
        }
        return *this;
    }
    // Stops the events and releases the control (its end closes the connections).
    ~Control() { Release(); }

    explicit operator bool() const { return static_cast<bool>(object_); }
    // Why creation failed, in one line; empty after a successful creation.
    const std::string& CreationDetail() const { return creationDetail_; }
    HRESULT CreationResult() const { return creationResult_; }
    HRESULT LastError() const { return lastError_; }
    // The dispatch interface itself, for QueryInterface and late-bound calls.
    automation::Dispatch* Object() const { return object_.get(); }

    // Any member by DISPID with its arguments in declaration order; result may be null.
    HRESULT Invoke(automation::DISPID id, std::span<const automation::Variant> args, automation::Variant* result) {
        if (result != nullptr) *result = automation::Variant();
        if (!object_) return lastError_ = NotCreated();
        automation::Variant value;
        lastError_ = object_->Invoke(id, args, &value, nullptr);
        if (result != nullptr && automation::Succeeded(lastError_)) *result = std::move(value);
        return lastError_;
    }

    // Ends the events and lets go of the control now; later calls fail with E_POINTER.
    void Release() {
        if (sink_) sink_->Detach();
        if (point_) point_->Unadvise(cookie_);
        point_.reset();
        sink_.reset();
        object_.reset();
        cookie_ = 0;
    }

)cpp";

std::string ControlHeader() {
    std::ostringstream out;
    out << kControlHead;
    out << "// The ProgID the control is registered under.\n"
        << "inline constexpr std::string_view kControlProgId = \"" << ba::kControlProgId << "\";\n\n";
    out << kControlClassHead;
    out << "    // ---- " << ba::kBrimlinkInterface.name << " ----\n\n";
    for (const ba::MethodInfo& m : ba::kBrimlinkMethods) WriteMethod(out, m);
    out << "    // ---- " << ba::kBrimlinkEventInterface.name << " ----\n\n";
    for (const ba::MethodInfo& e : ba::kBrimlinkEvents) WriteEventRegistration(out, e);

    out << "private:\n";
    out << "    // The sink advised at the control's connection point: it holds the\n"
           "    // handlers. The control may still hold it for an event being delivered\n"
           "    // after Unadvise, so Release detaches the handlers first.\n";
    out << "    class EventSink final : public automation::RefCounted<automation::Dispatch> {\n"
           "    public:\n";
    for (const ba::MethodInfo& e : ba::kBrimlinkEvents) out << "        " << e.name << "Handler on" << e.name << ";\n";
    out << "\n        void Detach() {\n";
    for (const ba::MethodInfo& e : ba::kBrimlinkEvents) out << "            on" << e.name << " = nullptr;\n";
    out << "        }\n\n"
           "        HRESULT GetIDsOfNames(std::u16string_view name, automation::DISPID* id) override {\n"
           "            return automation::GetIdOfName(automation::kBrimlinkEventInterface, name, id);\n"
           "        }\n"
           "        // A handler's exception must not reach the control: it becomes DISP_E_EXCEPTION.\n"
           "        HRESULT Invoke(automation::DISPID id, std::span<const automation::Variant> args,\n"
           "                       automation::Variant* result, std::size_t* argError) override {\n"
           "            if (result != nullptr) *result = automation::Variant();\n"
           "            try {\n"
           "                switch (id) {\n";
    for (const ba::MethodInfo& e : ba::kBrimlinkEvents) WriteEventCase(out, e);
    out << "                default: return automation::DISP_E_MEMBERNOTFOUND;\n"
           "                }\n"
           "            } catch (...) {\n"
           "                return automation::DISP_E_EXCEPTION;\n"
           "            }\n"
           "        }\n\n"
           "    protected:\n"
           "        void* FindInterface(const automation::GUID& iid) override {\n"
           "            if (iid == automation::IID_IDispatch || iid == automation::DIID__DBrimlinkEvents)\n"
           "                return static_cast<automation::Dispatch*>(this);\n"
           "            return automation::Dispatch::FindInterface(iid);\n"
           "        }\n\n"
           "    private:\n"
           "        static HRESULT Coerce(std::span<const automation::Variant> args,\n"
           "                              std::span<const automation::VariantType> types, automation::Variant* out,\n"
           "                              std::size_t* argError) {\n"
           "            if (args.size() != types.size()) return automation::DISP_E_BADPARAMCOUNT;\n"
           "            for (std::size_t i = 0; i < args.size(); ++i) {\n"
           "                if (const HRESULT hr = args[i].CoerceTo(types[i], out[i]); automation::Failed(hr)) {\n"
           "                    if (argError != nullptr) *argError = i;\n"
           "                    return hr;\n"
           "                }\n"
           "            }\n"
           "            return automation::S_OK;\n"
           "        }\n"
           "    };\n\n";

    out << R"cpp(    HRESULT NotCreated() const {
        return automation::Failed(creationResult_) ? creationResult_ : automation::E_POINTER;
    }

    // One typed call: the result is coerced to the member's result type;
    // on any failure it stays empty, so its accessor gives zero.
    HRESULT Call(automation::DISPID id, std::span<const automation::Variant> args, automation::VariantType type,
                 automation::Variant& result) {
        HRESULT hr = Invoke(id, args, &result);
        if (automation::Succeeded(hr) && type != automation::VariantType::Empty) {
            automation::Variant typed;
            hr = result.CoerceTo(type, typed);
            result = std::move(typed);
            lastError_ = hr;
        }
        return hr;
    }

    // The sink is advised once, with the first handler.
    HRESULT AdviseSink() {
        if (sink_) return automation::S_OK;
        if (!object_) return NotCreated();
        try {
            automation::ComPtr<automation::EventConnection> point;
            HRESULT hr = object_.As(automation::IID_IConnectionPoint, point);
            if (automation::Failed(hr)) return hr;
            auto sink = automation::MakeObject<EventSink>();
            std::uint32_t cookie = 0;
            hr = point->Advise(sink.get(), &cookie);
            if (automation::Failed(hr)) return hr;
            point_ = std::move(point);
            sink_ = std::move(sink);
            cookie_ = cookie;
            return automation::S_OK;
        } catch (...) {
            return automation::E_OUTOFMEMORY;
        }
    }

    void Swap(Control& other) noexcept {
        std::swap(object_, other.object_);
        std::swap(point_, other.point_);
        std::swap(sink_, other.sink_);
        std::swap(cookie_, other.cookie_);
        std::swap(creationResult_, other.creationResult_);
        std::swap(lastError_, other.lastError_);
        creationDetail_.swap(other.creationDetail_);
    }

    automation::ComPtr<automation::Dispatch> object_;
    automation::ComPtr<automation::EventConnection> point_;
    automation::ComPtr<EventSink> sink_;
    std::uint32_t cookie_ = 0;
    HRESULT creationResult_ = automation::S_OK;
    HRESULT lastError_ = automation::S_OK;
    std::string creationDetail_;
};

}  // namespace brimlink
)cpp";
    return out.str();
}

// Written only when the text changed, so an unchanged table rebuilds nothing.
bool WriteIfChanged(const std::string& path, const std::string& text) {
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            std::ostringstream old;
            old << in.rdbuf();
            if (old.str() == text) return true;
        }
    }
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: brimlink-make-control-header OUTDIR\n");
        return 2;
    }
    const std::string folder = argv[1];
    for (const auto& [name, text] : {std::pair{"DispIds.h", DispIdsHeader()}, std::pair{"Control.h", ControlHeader()}}) {
        if (!WriteIfChanged(folder + "/" + name, text)) {
            std::fprintf(stderr, "brimlink-make-control-header: cannot write %s/%s\n", folder.c_str(), name);
            return 1;
        }
    }
    return 0;
}
