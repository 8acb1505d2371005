// brimlink::Control, the generated typed face of the control, against a
// stand-in object that records every Invoke. Only the staged host headers are
// included, as a host outside the tree would.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <brimlink/Control.h>

#include <functional>
#include <ostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "support/TempFolder.h"

namespace brimlink::automation {
// Failures show the value, not its bytes.
void PrintTo(const Variant& v, std::ostream* out) {
    *out << TypeName(v.Type()) << ':';
    switch (v.Type()) {
    case VariantType::I2: *out << v.I2(); break;
    case VariantType::I4: *out << v.I4(); break;
    case VariantType::UI4: *out << v.UI4(); break;
    case VariantType::R4: *out << v.R4(); break;
    case VariantType::BSTR: *out << Utf16ToUtf8(v.Bstr()); break;
    case VariantType::Empty: break;
    }
}
}  // namespace brimlink::automation

namespace {

namespace ba = brimlink::automation;
using brimlink::Control;
using ba::Variant;

// _DBrimlink as a host meets it: answers each member with a value of its
// result type derived from its DISPID, unless a test set the answer; offers
// the connection point unless told not to.
class StandIn final : public ba::RefCounted<ba::Dispatch> {
public:
    explicit StandIn(bool* destroyed = nullptr) : destroyed_(destroyed) {}
    ~StandIn() override {
        if (destroyed_) *destroyed_ = true;
    }

    struct Call {
        ba::DISPID id;
        std::vector<Variant> args;
    };
    std::vector<Call> calls;
    ba::HRESULT failWith = ba::S_OK;
    std::optional<Variant> answer;
    bool offerEvents = true;
    ba::ConnectionPoint events{ba::DIID__DBrimlinkEvents};
    std::function<void()> duringCall;
    ba::ComPtr<ba::Unknown> lastSink;

    ba::HRESULT GetIDsOfNames(std::u16string_view name, ba::DISPID* id) override {
        return ba::GetIdOfName(ba::kBrimlinkInterface, name, id);
    }
    ba::HRESULT Invoke(ba::DISPID id, std::span<const Variant> args, Variant* result, std::size_t*) override {
        calls.push_back({id, {args.begin(), args.end()}});
        if (duringCall) duringCall();
        if (ba::Failed(failWith)) return failWith;
        const ba::MethodInfo* method = ba::FindMethod(ba::kBrimlinkInterface, id);
        if (method == nullptr) return ba::DISP_E_MEMBERNOTFOUND;
        if (result) *result = answer ? *answer : DefaultAnswer(*method);
        return ba::S_OK;
    }

    static Variant DefaultAnswer(const ba::MethodInfo& m) {
        switch (m.result) {
        case ba::VariantType::I2: return Variant(static_cast<std::int16_t>(m.dispid));
        case ba::VariantType::I4: return Variant(static_cast<std::int32_t>(100000 + m.dispid));
        case ba::VariantType::UI4: return Variant(static_cast<std::uint32_t>(0x80000000u + m.dispid));
        case ba::VariantType::R4: return Variant(static_cast<float>(m.dispid));
        case ba::VariantType::BSTR: return Variant(std::u16string(u"Antwort \u00e9"));
        case ba::VariantType::Empty: break;
        }
        return Variant();
    }

protected:
    void* FindInterface(const ba::GUID& iid) override {
        if (iid == ba::IID_IDispatch || iid == ba::DIID__DBrimlink) return static_cast<ba::Dispatch*>(this);
        if (iid == ba::IID_IConnectionPoint && offerEvents) return static_cast<ba::EventConnection*>(&point_);
        return nullptr;
    }

private:
    class Point final : public ba::EventConnection {
    public:
        explicit Point(StandIn& owner) : owner_(owner) {}
        ba::HRESULT QueryInterface(const ba::GUID& iid, void** out) override { return owner_.QueryInterface(iid, out); }
        std::uint32_t AddRef() override { return owner_.AddRef(); }
        std::uint32_t Release() override { return owner_.Release(); }
        ba::HRESULT Advise(ba::Unknown* sink, std::uint32_t* cookie) override {
            owner_.lastSink = ba::ComPtr<ba::Unknown>(sink);
            return owner_.events.Advise(sink, cookie);
        }
        ba::HRESULT Unadvise(std::uint32_t cookie) override { return owner_.events.Unadvise(cookie); }

    private:
        StandIn& owner_;
    };

    Point point_{*this};
    bool* destroyed_;
};

struct Wrapped {
    ba::ComPtr<StandIn> object = ba::MakeObject<StandIn>();
    Control ctl{ba::ComPtr<ba::Dispatch>(object.get())};

    const StandIn::Call& Last() const { return object->calls.back(); }
};

ba::DISPID IdOf(std::string_view name) {
    const ba::MethodInfo* m = ba::FindMethod(ba::kBrimlinkInterface, name);
    return m != nullptr ? m->dispid : 0;
}

std::vector<Variant> Args(std::initializer_list<Variant> list) { return list; }

// One row per shape of member: every parameter and result type, no
// parameters, four parameters, text both ways. The arguments must arrive
// with the table's types in declaration order, at the member's DISPID.
TEST(ControlWrapper, TypedMethodsInvokeTheirMemberWithTheTablesTypes) {
    using I2 = std::int16_t;
    struct Row {
        std::string_view member;
        std::function<Variant(Control&)> call;  // what the typed method returned
        std::vector<Variant> args;
        Variant returned;
    };
    const Variant none;
    const std::vector<Row> rows = {
        {"AboutBox", [](Control& c) { return Variant(c.AboutBox()); }, {}, Variant(ba::S_OK)},
        {"SetDigitalOutput0", [](Control& c) { return Variant(c.SetDigitalOutput0(5)); }, Args({Variant(I2{5})}),
         Variant(ba::S_OK)},
        {"GetDigitalInput0", [](Control& c) { return Variant(c.GetDigitalInput0()); }, {}, Variant(I2{2})},
        {"GetInputWord", [](Control& c) { return Variant(c.GetInputWord(1, 3)); },
         Args({Variant(I2{1}), Variant(I2{3})}), Variant(std::int32_t{100020})},
        {"SetOutputWord", [](Control& c) { return Variant(c.SetOutputWord(2, 1, 70000)); },
         Args({Variant(I2{2}), Variant(I2{1}), Variant(std::int32_t{70000})}), Variant(ba::S_OK)},
        {"SetOutput", [](Control& c) { return Variant(c.SetOutput(1, 0, 7, 1)); },
         Args({Variant(I2{1}), Variant(I2{0}), Variant(I2{7}), Variant(I2{1})}), Variant(ba::S_OK)},
        {"SetGain", [](Control& c) { return Variant(c.SetGain(1, 2, 1.5f)); },
         Args({Variant(I2{1}), Variant(I2{2}), Variant(1.5f)}), Variant(ba::S_OK)},
        {"GetUSBLocation", [](Control& c) { return Variant(c.GetUSBLocation(3)); }, Args({Variant(I2{3})}),
         Variant(std::uint32_t{0x80000000u + 42})},
        {"WriteDebugString", [](Control& c) { return Variant(c.WriteDebugString(u"Stap 1")); },
         Args({Variant(std::u16string(u"Stap 1"))}), Variant(ba::S_OK)},
        {"SendString", [](Control& c) { return Variant(c.SendString(1, "Gr\xC3\xBC\xC3\x9F" "e")); },
         Args({Variant(I2{1}), Variant(std::u16string(u"Gr\u00fc\u00dfe"))}), Variant(ba::S_OK)},
        {"SendAndGetString", [](Control& c) { return Variant(c.SendAndGetString(1, u"DV")); },
         Args({Variant(I2{1}), Variant(std::u16string(u"DV"))}), Variant(std::u16string(u"Antwort \u00e9"))},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.member);
        Wrapped w;
        const Variant returned = row.call(w.ctl);
        ASSERT_EQ(w.object->calls.size(), 1u);
        EXPECT_EQ(w.Last().id, IdOf(row.member));
        EXPECT_EQ(w.Last().args, row.args);
        EXPECT_EQ(returned, row.returned);
        EXPECT_EQ(w.ctl.LastError(), ba::S_OK);
    }
    EXPECT_EQ(brimlink::dispid::AboutBox, -552);
    EXPECT_EQ(brimlink::dispid::UpdateModule, 44);
    EXPECT_EQ(brimlink::dispid::events::InputWordChanged, 1);
}

TEST(ControlWrapper, ResultsAreCoercedToTheMembersTypeOrGiveZeroAndTheError) {
    struct Row {
        Variant answer;
        std::int16_t expected;
        ba::HRESULT error;
    };
    const Row rows[] = {
        {Variant(std::int32_t{7}), 7, ba::S_OK},
        {Variant(2.5f), 2, ba::S_OK},  // half to even
        {Variant(std::int32_t{70000}), 0, ba::DISP_E_OVERFLOW},
        {Variant(std::u16string(u"7")), 0, ba::DISP_E_TYPEMISMATCH},
        {Variant(), 0, ba::DISP_E_TYPEMISMATCH},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(ba::TypeName(row.answer.Type())));
        Wrapped w;
        w.object->answer = row.answer;
        EXPECT_EQ(w.ctl.GetModuleType(1), row.expected);
        EXPECT_EQ(w.ctl.LastError(), row.error);
    }
}

TEST(ControlWrapper, AFailedCallGivesZeroAndItsResultUntilTheNextCall) {
    Wrapped w;
    w.object->failWith = ba::DISP_E_EXCEPTION;
    EXPECT_EQ(w.ctl.GetInputWord(1, 0), 0);
    EXPECT_EQ(w.ctl.LastError(), ba::DISP_E_EXCEPTION);
    EXPECT_EQ(w.ctl.SendAndGetString(1, u"DV"), u"");
    EXPECT_EQ(w.ctl.SetDigitalOutput0(1), ba::DISP_E_EXCEPTION);
    w.object->failWith = ba::S_OK;
    EXPECT_EQ(w.ctl.GetDigitalInput0(), 2);
    EXPECT_EQ(w.ctl.LastError(), ba::S_OK);
}

TEST(ControlWrapper, AControlThatWasNotCreatedAnswersEveryCallWithTheReason) {
    brimlink::testing::TempFolder settings("brimlink-wrapper");
    ASSERT_FALSE(settings.Path().empty());
    ::setenv("XDG_CONFIG_DIRS", settings.Path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", settings.Path().c_str(), 1);

    Control unknown("{0A1B2C3D-0000-4000-8000-000000000001}");
    EXPECT_FALSE(unknown);
    EXPECT_EQ(unknown.CreationResult(), ba::REGDB_E_CLASSNOTREG);
    EXPECT_NE(unknown.CreationDetail().find("not registered"), std::string::npos) << unknown.CreationDetail();
    EXPECT_EQ(unknown.Connect(), 0);
    EXPECT_EQ(unknown.LastError(), ba::REGDB_E_CLASSNOTREG);
    EXPECT_EQ(unknown.SetDigitalOutput0(1), ba::REGDB_E_CLASSNOTREG);
    EXPECT_EQ(unknown.OnInputWordChanged([](std::int16_t, std::int16_t, std::int32_t) {}), ba::REGDB_E_CLASSNOTREG);

    Control empty{ba::ComPtr<ba::Dispatch>()};
    EXPECT_FALSE(empty);
    EXPECT_EQ(empty.GetDigitalInput0(), 0);
    EXPECT_EQ(empty.LastError(), ba::E_POINTER);
}

void Fire(StandIn& object, std::initializer_list<Variant> args) {
    const std::vector<Variant> list = args;
    object.events.Fire(brimlink::dispid::events::InputWordChanged, list);
}

TEST(ControlWrapper, InputWordChangedReachesTheHandlerWithTypedArguments) {
    Wrapped w;
    std::vector<std::string> seen;
    ASSERT_EQ(w.ctl.OnInputWordChanged([&](short m, short word, long v) {
        seen.push_back(std::to_string(m) + " " + std::to_string(word) + " " + std::to_string(v));
    }), ba::S_OK);
    Fire(*w.object, {Variant(std::int16_t{1}), Variant(std::int16_t{0}), Variant(std::int32_t{0x8000})});
    // A source that sends other number types is coerced, as the table says.
    Fire(*w.object, {Variant(std::int32_t{2}), Variant(std::uint32_t{4}), Variant(std::int16_t{-1})});
    EXPECT_EQ(seen, (std::vector<std::string>{"1 0 32768", "2 4 -1"}));

    // A new handler replaces the old one on the same connection; an empty one is silent.
    int second = 0;
    w.ctl.OnInputWordChanged([&](std::int16_t, std::int16_t, std::int32_t) { ++second; });
    Fire(*w.object, {Variant(std::int16_t{1}), Variant(std::int16_t{0}), Variant(std::int32_t{1})});
    w.ctl.OnInputWordChanged(nullptr);
    Fire(*w.object, {Variant(std::int16_t{1}), Variant(std::int16_t{0}), Variant(std::int32_t{1})});
    EXPECT_EQ(second, 1);
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(w.object->events.SinkCount(), 1u);
}

TEST(ControlWrapper, TheSinkRefusesWhatTheEventTableDoesNotAllowAndKeepsExceptionsIn) {
    Wrapped w;
    int calls = 0;
    w.ctl.OnInputWordChanged([&](std::int16_t, std::int16_t, std::int32_t) {
        if (++calls == 1) throw std::runtime_error("handler failed");
    });
    ba::ComPtr<ba::Dispatch> sink;
    ASSERT_EQ(w.object->lastSink.As(ba::DIID__DBrimlinkEvents, sink), ba::S_OK);

    const Variant good[] = {Variant(std::int16_t{1}), Variant(std::int16_t{0}), Variant(std::int32_t{5})};
    EXPECT_EQ(sink->Invoke(brimlink::dispid::events::InputWordChanged, good, nullptr, nullptr), ba::DISP_E_EXCEPTION);
    EXPECT_EQ(sink->Invoke(brimlink::dispid::events::InputWordChanged, good, nullptr, nullptr), ba::S_OK);
    EXPECT_EQ(calls, 2);

    const Variant twoArgs[] = {Variant(std::int16_t{1}), Variant(std::int16_t{0})};
    EXPECT_EQ(sink->Invoke(brimlink::dispid::events::InputWordChanged, twoArgs, nullptr, nullptr),
              ba::DISP_E_BADPARAMCOUNT);
    const Variant text[] = {Variant(std::int16_t{1}), Variant(std::u16string(u"0")), Variant(std::int32_t{5})};
    std::size_t argError = 99;
    EXPECT_EQ(sink->Invoke(brimlink::dispid::events::InputWordChanged, text, nullptr, &argError),
              ba::DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argError, 1u);
    const Variant tooBig[] = {Variant(std::int32_t{40000}), Variant(std::int16_t{0}), Variant(std::int32_t{5})};
    EXPECT_EQ(sink->Invoke(brimlink::dispid::events::InputWordChanged, tooBig, nullptr, nullptr), ba::DISP_E_OVERFLOW);
    EXPECT_EQ(sink->Invoke(99, good, nullptr, nullptr), ba::DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(calls, 2);

    ba::DISPID id = 0;
    EXPECT_EQ(sink->GetIDsOfNames(u"inputwordchanged", &id), ba::S_OK);
    EXPECT_EQ(id, brimlink::dispid::events::InputWordChanged);
}

TEST(ControlWrapper, WithoutAConnectionPointRegisteringAHandlerFails) {
    Wrapped w;
    w.object->offerEvents = false;
    EXPECT_EQ(w.ctl.OnInputWordChanged([](std::int16_t, std::int16_t, std::int32_t) {}), ba::E_NOINTERFACE);
    EXPECT_EQ(w.ctl.LastError(), ba::E_NOINTERFACE);
    EXPECT_EQ(w.ctl.GetDigitalInput0(), 2);  // the methods still work
}

TEST(ControlWrapper, HandlersMayCallTheControlWhileItWaits) {
    Wrapped w;
    std::vector<std::int16_t> readBack;
    w.ctl.OnInputWordChanged([&](std::int16_t, std::int16_t, std::int32_t) { readBack.push_back(w.ctl.GetDigitalInput0()); });
    // As the control does: the event arrives while a method waits for the module.
    w.object->duringCall = [&] {
        w.object->duringCall = nullptr;
        Fire(*w.object, {Variant(std::int16_t{1}), Variant(std::int16_t{0}), Variant(std::int32_t{1})});
    };
    EXPECT_EQ(w.ctl.GetInputWord(1, 0), 100020);
    EXPECT_EQ(readBack, std::vector<std::int16_t>{2});
    EXPECT_EQ(w.object->calls.size(), 2u);
}

TEST(ControlWrapper, TheEndUnadvisesReleasesAndSilencesASinkStillHeld) {
    bool destroyed = false;
    int events = 0;
    ba::ComPtr<ba::Unknown> heldSink;
    {
        auto object = ba::MakeObject<StandIn>(&destroyed);
        Control first{ba::ComPtr<ba::Dispatch>(object.get())};
        first.OnInputWordChanged([&](std::int16_t, std::int16_t, std::int32_t) { ++events; });
        heldSink = object->lastSink;

        // Moving keeps the one connection; the moved-from control is empty.
        Control second = std::move(first);
        EXPECT_FALSE(first);
        EXPECT_EQ(first.GetDigitalInput0(), 0);
        EXPECT_EQ(first.LastError(), ba::E_POINTER);
        Fire(*object, {Variant(std::int16_t{1}), Variant(std::int16_t{0}), Variant(std::int32_t{1})});
        EXPECT_EQ(events, 1);

        Control third{ba::ComPtr<ba::Dispatch>(ba::MakeObject<StandIn>().get())};
        third = std::move(second);  // the third's own object goes, the connection stays
        Fire(*object, {Variant(std::int16_t{1}), Variant(std::int16_t{0}), Variant(std::int32_t{2})});
        EXPECT_EQ(events, 2);

        third.Release();
        EXPECT_EQ(object->events.SinkCount(), 0u);
        EXPECT_EQ(third.SetDigitalOutput0(1), ba::E_POINTER);
        object->lastSink.reset();
    }
    EXPECT_TRUE(destroyed);
    // An event the control was still delivering when the host let go reaches nobody.
    ba::ComPtr<ba::Dispatch> sink;
    ASSERT_EQ(heldSink.As(ba::IID_IDispatch, sink), ba::S_OK);
    const Variant args[] = {Variant(std::int16_t{1}), Variant(std::int16_t{0}), Variant(std::int32_t{3})};
    EXPECT_EQ(sink->Invoke(brimlink::dispid::events::InputWordChanged, args, nullptr, nullptr), ba::S_OK);
    EXPECT_EQ(events, 2);
}

}  // namespace
