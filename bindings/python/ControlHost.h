// One control as a Python program holds it: created through the creation
// helper like every host, called through Invoke by DISPID, advised for
// InputWordChanged and routed for the control's messages.
//
// The Python side (brimlink.Control, a subclass) supplies two methods that
// this class calls on its own Python object: _dispatch_input_word_changed
// (mod, word, value) and _report_message(title, text). Keeping the callbacks
// there, not in C++, lets the garbage collector see the cycles a callback that
// refers to its control makes.
//
// Threads: the control belongs to the thread that created it; every call from
// another thread raises brimlink.Error (RPC_E_WRONG_THREAD). A control that
// the garbage collector frees on another thread is released at the next
// dispatch of events of the application's thread (which is the control's in
// any program that creates its controls on one thread). The interpreter
// lock is released while the control runs (its waits dispatch events), and
// taken again to run a callback. An exception raised by a callback or the
// message handler is kept and raised when the outermost Python-visible call
// in progress returns (never unwound through the control's frames).
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "control/interface/Dispatch.h"
#include "control/interface/HostInterfaces.h"

namespace brimlink::python {

namespace py = pybind11;

class EventSink;
class MessageTarget;

class ControlHost {
public:
    // library: an explicit Brimlink.ocx (no registry); otherwise the class
    // registry, then libraryFolders in order.
    ControlHost(std::optional<std::string> library, std::vector<std::string> libraryFolders);
    ~ControlHost();
    ControlHost(const ControlHost&) = delete;
    ControlHost& operator=(const ControlHost&) = delete;

    // args in declaration order, already matched to the parameters by count.
    py::object Invoke(automation::DISPID dispid, py::tuple args);

    // Destroys the control as a host does: the sink goes, then the last
    // reference (closing dialogues, changed settings written). Idempotent.
    void Close();
    bool Closed() const { return !control_; }

    // Dispatches events for `seconds`. Ctrl-C raises KeyboardInterrupt.
    void Pump(double seconds);
    // Dispatches events until until() is true (True) or timeout seconds have
    // passed (False); without either it runs until interrupted.
    bool Run(py::object until, std::optional<double> timeout);

    // From the sinks, on the control's thread.
    void Deliver(std::int16_t modIndex, std::int16_t wordIndex, std::int32_t value);
    void Message(std::string_view title, std::string_view text);

private:
    void CheckThread() const;
    void CheckOpen() const;
    // Raises the exception a callback left, if any.
    void RaisePending();
    // Keeps the first exception of a callback; the Python error indicator is set.
    void KeepPending();
    bool Loop(const py::object& until, std::optional<double> seconds);
    py::object Self();

    std::thread::id owner_;
    automation::ComPtr<automation::Dispatch> control_;
    automation::ComPtr<automation::EventConnection> events_;
    std::uint32_t cookie_ = 0;
    automation::ComPtr<EventSink> sink_;
    automation::ComPtr<MessageTarget> messages_;
    py::object pendingType_, pendingValue_, pendingTrace_;
};

}  // namespace brimlink::python
