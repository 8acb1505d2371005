// The interfaces a host reaches beside _DBrimlink: the connection point of the
// event interface (Advise a sink, Unadvise by cookie), the control's window,
// which a host with widgets embeds in its own window, and the routing of the
// control's messages to the host. All are answered by QueryInterface on the
// control object.
//
// Threads: the GUI thread that created the control, only.
#pragma once

#include "control/interface/Dispatch.h"

#include <string_view>

class QWidget;

namespace brimlink::automation {

inline constexpr GUID IID_IBrimlinkWindow = GuidLiteral("{6E0A3C51-2F4B-4D8E-9B1A-5C7D2E8F4A60}");
inline constexpr GUID IID_IBrimlinkPropertyPage = GuidLiteral("{A4D1F2B7-3C6E-4F80-8E21-9B5A7C3D1E42}");
inline constexpr GUID IID_IBrimlinkMessageRouting = GuidLiteral("{C7043426-8C78-4E8E-86F1-0CCD7BC1D7FA}");

// IID_IConnectionPoint. The sink must answer _DBrimlinkEvents or IDispatch.
class EventConnection : public Unknown {
public:
    virtual HRESULT Advise(Unknown* sink, std::uint32_t* cookie) = 0;
    virtual HRESULT Unadvise(std::uint32_t cookie) = 0;
};

// IID_IBrimlinkWindow: the control's own window (the face picture). Created
// on the first call, with `parent` as its parent; later calls reparent it.
// Null when the process has no widget application.
class ControlWindow : public Unknown {
public:
    virtual QWidget* Window(QWidget* parent) = 0;
};

// IID_IBrimlinkPropertyPage: the object the property-page class creates. It
// edits the port settings of the most recently created control.
class PropertyPageObject : public Unknown {
public:
    // A new page widget; the caller owns it. Null without a widget application.
    virtual QWidget* CreatePage(QWidget* parent) = 0;
};

// What a host implements to receive the control's messages itself (a
// scripting host turns them into its own warnings). Called on the control's
// thread, from inside whatever call or event delivery raised the message.
class MessageSink : public Unknown {
public:
    // title may be empty; both are UTF-8 with the control's own line breaks.
    virtual void ControlMessage(std::string_view title, std::string_view text) = 0;
};

// IID_IBrimlinkMessageRouting: with a sink set, every message of this control
// goes to the sink instead of a message box or the console line; the trace
// still records it. The control holds a reference to the sink until another
// is set, null is set, or the control is destroyed (messages of its closing
// dialogues still reach the sink).
class MessageRouting : public Unknown {
public:
    virtual HRESULT SetMessageSink(MessageSink* sink) = 0;
};

}  // namespace brimlink::automation
