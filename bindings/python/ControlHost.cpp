#include "bindings/python/ControlHost.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <utility>

#include "bindings/python/Application.h"
#include "bindings/python/Conversion.h"
#include "control/interface/BrimlinkInterface.h"
#include "control/interface/Creation.h"
#include "control/interface/Registration.h"

namespace brimlink::python {

namespace ba = brimlink::automation;

namespace {

// Ctrl-C is noticed between steps: Python's handler only sets a flag.
constexpr std::chrono::milliseconds kLongestStep{50};

// The innermost Pump/Run step of this thread, ended early by every delivered
// event (of any control) so that Run's predicate is asked at once.
thread_local QEventLoop* t_step = nullptr;

std::string ConsoleText(std::string_view title, std::string_view text) {
    std::string line = title.empty() ? std::string() : std::string(title) + ": ";
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            line += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line += text[i];
        }
    }
    return line;
}

}  // namespace

// The host's pointer in both sinks is read and cleared under the interpreter
// lock only, so a control released by garbage collection on another thread
// never calls into a host that is gone.
class EventSink final : public ba::RefCounted<ba::BrimlinkEventSink> {
public:
    explicit EventSink(ControlHost* host) : host_(host) {}
    void Detach() { host_ = nullptr; }
    void InputWordChanged(std::int16_t modIndex, std::int16_t wordIndex, std::int32_t value) override {
        py::gil_scoped_acquire gil;
        if (host_ != nullptr) host_->Deliver(modIndex, wordIndex, value);
    }

private:
    ControlHost* host_;
};

class MessageTarget final : public ba::RefCounted<ba::MessageSink> {
public:
    explicit MessageTarget(ControlHost* host) : host_(host) {}
    void Detach() { host_ = nullptr; }
    void ControlMessage(std::string_view title, std::string_view text) override {
        py::gil_scoped_acquire gil;
        if (host_ != nullptr) {
            host_->Message(title, text);
            return;
        }
        // A control outliving its Python object still never blocks.
        std::fprintf(stderr, "brimlink: %s\n", ConsoleText(title, text).c_str());
    }

private:
    ControlHost* host_;
};

ControlHost::ControlHost(std::optional<std::string> library, std::vector<std::string> libraryFolders)
    : owner_(std::this_thread::get_id()) {
    EnsureApplication();
    void* raw = nullptr;
    std::string detail;
    ba::HRESULT hr = ba::S_OK;
    {
        py::gil_scoped_release nogil;
        hr = library ? ba::CreateInstanceFromLibrary(*library, ba::CLSID_Brimlink, ba::IID_IDispatch, &raw, &detail)
                     : ba::CreateInstance(ba::kControlProgId, ba::IID_IDispatch, &raw, &detail, libraryFolders);
    }
    if (ba::Failed(hr) || raw == nullptr)
        RaiseError(ba::Failed(hr) ? hr : ba::E_FAIL,
                   "cannot create the control: " + (detail.empty() ? ba::FormatResult(hr) : detail));
    control_ = ba::ComPtr<ba::Dispatch>::Adopt(static_cast<ba::Dispatch*>(raw));

    sink_ = ba::MakeObject<EventSink>(this);
    if (ba::Failed(control_.As(ba::IID_IConnectionPoint, events_)) ||
        ba::Failed(events_->Advise(sink_.get(), &cookie_))) {
        events_.reset();
        RaiseError(ba::E_NOINTERFACE, "the control offers no InputWordChanged event");
    }
    messages_ = ba::MakeObject<MessageTarget>(this);
    ba::ComPtr<ba::MessageRouting> routing;
    if (ba::Succeeded(control_.As(ba::IID_IBrimlinkMessageRouting, routing))) routing->SetMessageSink(messages_.get());
}

ControlHost::~ControlHost() {
    if (std::this_thread::get_id() == owner_) {
        try {
            Close();
        } catch (py::error_already_set& error) {
            error.discard_as_unraisable("brimlink.Control closed by garbage collection");
        } catch (...) {
        }
        // Nothing may reach this object once it is gone, whoever still holds the control.
        if (sink_) sink_->Detach();
        if (messages_) messages_->Detach();
        return;
    }
    // Garbage collection on another thread: the control may only be touched
    // on its own, so the release is handed to the application's event loop.
    if (sink_) sink_->Detach();
    if (messages_) messages_->Detach();
    if (!control_) return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [control = std::move(control_), events = std::move(events_), cookie = cookie_]() mutable {
            if (events) events->Unadvise(cookie);
            events.reset();
            control.reset();
        },
        Qt::QueuedConnection);
}

void ControlHost::CheckThread() const {
    if (std::this_thread::get_id() != owner_)
        RaiseError(kWrongThread, "the control belongs to the thread that created it");
}

void ControlHost::CheckOpen() const {
    if (!control_) RaiseError(kDisconnected, "the control is closed");
}

py::object ControlHost::Self() {
    const py::detail::type_info* type = py::detail::get_type_info(typeid(ControlHost));
    return py::reinterpret_borrow<py::object>(py::detail::get_object_handle(this, type));
}

void ControlHost::KeepPending() {
    if (pendingType_) {
        PyErr_Clear();  // the first one is raised; later ones would hide it
        return;
    }
    PyObject *type = nullptr, *value = nullptr, *trace = nullptr;
    PyErr_Fetch(&type, &value, &trace);
    PyErr_NormalizeException(&type, &value, &trace);
    if (trace != nullptr && value != nullptr) PyException_SetTraceback(value, trace);
    pendingType_ = py::reinterpret_steal<py::object>(type);
    pendingValue_ = py::reinterpret_steal<py::object>(value);
    pendingTrace_ = py::reinterpret_steal<py::object>(trace);
}

void ControlHost::RaisePending() {
    if (!pendingType_) return;
    PyErr_Restore(pendingType_.release().ptr(), pendingValue_.release().ptr(), pendingTrace_.release().ptr());
    throw py::error_already_set();
}

void ControlHost::Deliver(std::int16_t modIndex, std::int16_t wordIndex, std::int32_t value) {
    if (t_step != nullptr) t_step->quit();
    // Once a callback failed, the call in progress ends with its exception;
    // events until then are not handed to further callbacks.
    if (pendingType_) return;
    py::object self = Self();
    if (!self) return;
    PyObject* result = PyObject_CallMethod(self.ptr(), "_dispatch_input_word_changed", "hhi", modIndex, wordIndex,
                                           static_cast<int>(value));
    if (result == nullptr) {
        KeepPending();
        return;
    }
    Py_DECREF(result);
}

void ControlHost::Message(std::string_view title, std::string_view text) {
    py::object self = Self();
    if (!self) {
        // Being destroyed by the garbage collector: the program's handler is
        // gone with the object, the warning is what is left.
        const std::string line = ConsoleText(title, text);
        if (PyErr_WarnEx(ControlMessageClass().ptr(), line.c_str(), 1) != 0) KeepPending();
        return;
    }
    const auto decode = [](std::string_view bytes) {
        return py::reinterpret_steal<py::object>(
            PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), "replace"));
    };
    try {
        self.attr("_report_message")(decode(title), decode(text));
    } catch (py::error_already_set& error) {
        error.restore();
        KeepPending();
    }
}

py::object ControlHost::Invoke(ba::DISPID dispid, py::tuple args) {
    CheckThread();
    CheckOpen();
    const ba::MethodInfo* method = ba::FindMethod(ba::kBrimlinkInterface, dispid);
    if (method == nullptr) RaiseError(ba::DISP_E_MEMBERNOTFOUND, "no method has DISPID " + std::to_string(dispid));
    if (args.size() != method->params.size())
        RaiseForResult(ba::DISP_E_BADPARAMCOUNT, *method, args, static_cast<std::size_t>(-1));
    std::vector<ba::Variant> values;
    values.reserve(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) values.push_back(ToVariant(args[i], *method, i));

    ba::Variant result;
    std::size_t argError = static_cast<std::size_t>(-1);
    ba::HRESULT hr = ba::S_OK;
    {
        py::gil_scoped_release nogil;
        // Declared after the release, so a control closed meanwhile by a
        // callback is destroyed here without the interpreter lock.
        const ba::ComPtr<ba::Dispatch> control = control_;
        hr = control->Invoke(dispid, values, &result, &argError);
    }
    RaisePending();
    if (ba::Failed(hr)) RaiseForResult(hr, *method, args, argError);
    return FromVariant(result);
}

void ControlHost::Close() {
    if (!control_) {
        RaisePending();
        return;
    }
    CheckThread();
    if (events_) {
        events_->Unadvise(cookie_);
        events_.reset();
    }
    sink_->Detach();
    {
        py::gil_scoped_release nogil;
        // The last reference, unless a call of this control is in progress
        // further up (a callback closed it): then that call's end destroys it.
        ba::ComPtr<ba::Dispatch> control = std::move(control_);
        control.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    RaisePending();
}

bool ControlHost::Loop(const py::object& until, std::optional<double> seconds) {
    using Clock = std::chrono::steady_clock;
    CheckThread();
    if (seconds && !(*seconds >= 0)) {
        PyErr_SetString(PyExc_ValueError, "the time must be a number of seconds, 0 or more");
        throw py::error_already_set();
    }
    const std::optional<Clock::time_point> deadline =
        seconds ? std::optional(Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                            std::chrono::duration<double>(std::min(*seconds, 1e9))))
                : std::nullopt;
    bool dispatched = false;
    for (;;) {
        RaisePending();
        if (!until.is_none() && py::bool_(until())) return true;
        if (PyErr_CheckSignals() != 0) throw py::error_already_set();
        auto step = kLongestStep;
        if (deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
            if (left.count() <= 0) {
                if (dispatched) return false;
                // A zero wait still dispatches what is pending.
                dispatched = true;
                py::gil_scoped_release nogil;
                QCoreApplication::processEvents(QEventLoop::AllEvents);
                continue;
            }
            step = std::min(step, left);
        }
        dispatched = true;
        QEventLoop* outer = t_step;
        {
            py::gil_scoped_release nogil;
            QEventLoop loop;
            QTimer timer;
            timer.setSingleShot(true);
            timer.setTimerType(Qt::PreciseTimer);
            QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
            timer.start(step);
            t_step = &loop;
            loop.exec(QEventLoop::AllEvents);
            t_step = outer;
        }
    }
}

void ControlHost::Pump(double seconds) { Loop(py::none(), seconds); }

bool ControlHost::Run(py::object until, std::optional<double> timeout) { return Loop(until, timeout); }

}  // namespace brimlink::python
