#include "control/interface/BrimlinkInterface.h"
#include "support/RecordingControl.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

namespace ba = brimlink::automation;
using ba::Variant;
using ba::VariantType;

namespace {

using brimlink::testing::Text;
using FakeControl = brimlink::testing::RecordingControl;

// Argument i of a member, of the parameter's own type, with a value unique to i.
Variant ArgFor(VariantType type, std::size_t i) {
    switch (type) {
    case VariantType::I2: return Variant(static_cast<std::int16_t>(10 + i));
    case VariantType::I4: return Variant(static_cast<std::int32_t>(100000 + i));
    case VariantType::R4: return Variant(0.5f + static_cast<float>(i));
    case VariantType::BSTR: return Variant(u"s\u00FC" + std::u16string(1, static_cast<char16_t>(u'0' + i)));
    default: return Variant();
    }
}

std::string ArgText(VariantType type, std::size_t i) {
    const Variant v = ArgFor(type, i);
    switch (type) {
    case VariantType::I2: return Text(v.I2());
    case VariantType::I4: return Text(v.I4());
    case VariantType::R4: return Text(v.R4());
    default: return Text(v.Bstr());
    }
}

ba::HRESULT Call(ba::Dispatch& d, ba::DISPID id, std::vector<Variant> args, Variant* result = nullptr,
                 std::size_t* argError = nullptr) {
    return d.Invoke(id, args, result, argError);
}

}  // namespace

TEST(DispatchInvoke, EveryMemberReachesItsOwnMethodWithItsArguments) {
    auto control = ba::MakeObject<FakeControl>();
    for (const ba::MethodInfo& m : ba::kBrimlinkMethods) {
        SCOPED_TRACE(std::string(m.name));
        std::vector<Variant> args;
        std::string expected = std::string(m.name) + "(";
        for (std::size_t i = 0; i < m.params.size(); ++i) {
            args.push_back(ArgFor(m.params[i].type, i));
            expected += (i ? "," : "") + ArgText(m.params[i].type, i);
        }
        expected += ")";
        control->calls.clear();
        Variant result(std::int16_t{-1});
        ASSERT_EQ(Call(*control, m.dispid, args, &result), ba::S_OK);
        ASSERT_EQ(control->calls.size(), 1u);
        EXPECT_EQ(control->calls[0], expected);
        EXPECT_EQ(result.Type(), m.result);
        switch (m.result) {
        case VariantType::I2: EXPECT_EQ(result.I2(), m.dispid); break;
        case VariantType::I4: EXPECT_EQ(result.I4(), m.dispid); break;
        case VariantType::UI4: EXPECT_EQ(result.UI4(), static_cast<std::uint32_t>(m.dispid)); break;
        case VariantType::BSTR: EXPECT_EQ(result.Bstr(), u"39:" + args[1].Bstr()); break;
        default: break;
        }
    }
}

TEST(DispatchInvoke, WrongArgumentCountOrMemberCallsNothing) {
    auto control = ba::MakeObject<FakeControl>();
    const Variant one(std::int16_t{1});
    EXPECT_EQ(Call(*control, 20, {one}), ba::DISP_E_BADPARAMCOUNT);         // GetInputWord needs two
    EXPECT_EQ(Call(*control, 20, {one, one, one}), ba::DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(*control, 18, {one}), ba::DISP_E_BADPARAMCOUNT);         // Connect takes none
    EXPECT_EQ(Call(*control, 23, {one, one, one}), ba::DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(*control, 23, {one, one, one, one, one}), ba::DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(*control, 0, {}), ba::DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(*control, 45, {}), ba::DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(*control, -551, {}), ba::DISP_E_MEMBERNOTFOUND);
    EXPECT_TRUE(control->calls.empty());

    // A result pointer is optional.
    EXPECT_EQ(Call(*control, 18, {}, nullptr), ba::S_OK);
    EXPECT_EQ(control->calls, std::vector<std::string>{"Connect()"});
}

TEST(DispatchInvoke, ArgumentsAreCoercedOrRejected) {
    auto control = ba::MakeObject<FakeControl>();
    std::size_t argError = 99;
    // SetOutput(ModIndex, ByteIndex, BitIndex, Value): the fourth is out of I2 range.
    EXPECT_EQ(Call(*control, 23, {Variant(1), Variant(0), Variant(3), Variant(32768)}, nullptr, &argError),
              ba::DISP_E_OVERFLOW);
    EXPECT_EQ(argError, 3u);
    EXPECT_EQ(Call(*control, 20, {Variant(u"1"), Variant(0)}, nullptr, &argError), ba::DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argError, 0u);
    EXPECT_EQ(Call(*control, 20, {Variant(1), Variant()}, nullptr, &argError), ba::DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argError, 1u);
    EXPECT_EQ(Call(*control, 32, {Variant(-32769)}), ba::DISP_E_OVERFLOW);
    EXPECT_EQ(Call(*control, 32, {Variant(4294967295u)}), ba::DISP_E_OVERFLOW);
    EXPECT_TRUE(control->calls.empty()) << "no method runs after a rejected argument";

    // Accepted conversions reach the method converted.
    EXPECT_EQ(Call(*control, 32, {Variant(2.5f)}), ba::S_OK);                  // half to even
    EXPECT_EQ(Call(*control, 32, {Variant(32767u)}), ba::S_OK);
    EXPECT_EQ(Call(*control, 22, {Variant(std::int16_t{1}), Variant(2), Variant(std::int16_t{-7})}), ba::S_OK);
    EXPECT_EQ(Call(*control, 27, {Variant(1), Variant(0), Variant(3)}), ba::S_OK);  // integer gain
    EXPECT_EQ(Call(*control, 37, {Variant(1), Variant(-5)}), ba::S_OK);             // number as text
    EXPECT_EQ(control->calls, (std::vector<std::string>{"SetModule(I2:2)", "SetModule(I2:32767)",
                                                        "SetOutputWord(I2:1,I2:2,I4:-7)",
                                                        "SetGain(I2:1,I2:0,R4:3.000000)",
                                                        "SendString(I2:1,BSTR:-5)"}));
}

TEST(DispatchInvoke, AFailingHandlerBecomesAnException) {
    auto control = ba::MakeObject<FakeControl>();
    control->throwNext = true;
    Variant result;
    EXPECT_EQ(Call(*control, 18, {}, &result), ba::DISP_E_EXCEPTION);
    EXPECT_TRUE(result.IsEmpty());
}

TEST(DispatchObject, NamesAndInterfaces) {
    auto control = ba::MakeObject<FakeControl>();
    ba::DISPID id = 0;
    EXPECT_EQ(control->GetIDsOfNames(u"sendANDgetstring", &id), ba::S_OK);
    EXPECT_EQ(id, 39);
    EXPECT_EQ(control->GetIDsOfNames(u"Fly", &id), ba::DISP_E_UNKNOWNNAME);

    ba::ComPtr<ba::Dispatch> viaDispatch, viaInterface;
    ba::ComPtr<ba::Unknown> viaUnknown;
    ASSERT_EQ(control.As(ba::IID_IDispatch, viaDispatch), ba::S_OK);
    ASSERT_EQ(control.As(ba::DIID__DBrimlink, viaInterface), ba::S_OK);
    ASSERT_EQ(control.As(ba::IID_IUnknown, viaUnknown), ba::S_OK);
    EXPECT_EQ(viaDispatch.get(), static_cast<ba::Dispatch*>(control.get()));
    EXPECT_EQ(viaInterface.get(), viaDispatch.get());
    EXPECT_EQ(viaUnknown.get(), static_cast<ba::Unknown*>(control.get()));
    EXPECT_EQ(viaInterface->Invoke(16, {}, nullptr, nullptr), ba::S_OK);
    EXPECT_EQ(control->calls, std::vector<std::string>{"CloseSerial()"});

    void* raw = &id;
    EXPECT_EQ(control->QueryInterface(ba::DIID__DBrimlinkEvents, &raw), ba::E_NOINTERFACE);
    EXPECT_EQ(raw, nullptr);
    EXPECT_EQ(control->QueryInterface(ba::IID_IDispatch, nullptr), ba::E_POINTER);
}

TEST(DispatchObject, LastReleaseFreesTheObject) {
    const std::size_t before = ba::LiveObjectCount();
    bool destroyed = false;
    {
        auto control = ba::MakeObject<FakeControl>(&destroyed);
        EXPECT_EQ(ba::LiveObjectCount(), before + 1);
        EXPECT_EQ(control->AddRef(), 2u);
        ba::ComPtr<ba::Dispatch> second;
        ASSERT_EQ(control.As(ba::IID_IDispatch, second), ba::S_OK);  // 3
        EXPECT_EQ(control->Release(), 2u);
        ba::ComPtr<FakeControl> copy = control;  // 3
        copy.reset();                            // 2
        second.reset();                          // 1
        EXPECT_FALSE(destroyed);
        ba::ComPtr<FakeControl> moved = std::move(control);
        EXPECT_FALSE(control);
        EXPECT_FALSE(destroyed);
    }
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(ba::LiveObjectCount(), before);

    destroyed = false;
    FakeControl* raw = ba::MakeObject<FakeControl>(&destroyed).get();
    EXPECT_TRUE(destroyed) << "a temporary pointer was the only owner";
    (void)raw;
}

// ---- events -------------------------------------------------------------------

namespace {

using Event = std::tuple<int, int, int>;

class RecordingSink final : public ba::RefCounted<ba::BrimlinkEventSink> {
public:
    explicit RecordingSink(bool* destroyed = nullptr) : destroyed_(destroyed) {}
    ~RecordingSink() override {
        if (destroyed_) *destroyed_ = true;
    }
    void InputWordChanged(std::int16_t mod, std::int16_t word, std::int32_t value) override {
        got.emplace_back(mod, word, value);
        if (onEvent) onEvent(*this);
    }
    std::vector<Event> got;
    std::function<void(RecordingSink&)> onEvent;

private:
    bool* destroyed_;
};

class NotASink final : public ba::RefCounted<ba::Unknown> {};

// Answers the event interface but not plain IDispatch.
class EventOnlySink final : public ba::RefCounted<ba::BrimlinkEventSink> {
public:
    void InputWordChanged(std::int16_t, std::int16_t, std::int32_t value) override { last = value; }
    std::int32_t last = 0;

protected:
    void* FindInterface(const ba::GUID& iid) override {
        return iid == ba::IID_IDispatch ? nullptr : ba::BrimlinkEventSink::FindInterface(iid);
    }
};

// Runs an action when freed, as a sink owning further connections would.
class SinkWithCleanup final : public ba::RefCounted<ba::BrimlinkEventSink> {
public:
    explicit SinkWithCleanup(std::function<void()> cleanup) : cleanup_(std::move(cleanup)) {}
    ~SinkWithCleanup() override { cleanup_(); }
    void InputWordChanged(std::int16_t, std::int16_t, std::int32_t) override {}

private:
    std::function<void()> cleanup_;
};

}  // namespace

TEST(ConnectionPoint, AdviseUnadviseAndDeliver) {
    ba::ConnectionPoint point(ba::DIID__DBrimlinkEvents);
    EXPECT_EQ(point.InterfaceId(), ba::DIID__DBrimlinkEvents);
    auto a = ba::MakeObject<RecordingSink>();
    auto b = ba::MakeObject<RecordingSink>();
    std::uint32_t ca = 0, cb = 0, cx = 77;
    EXPECT_EQ(point.Advise(nullptr, &cx), ba::E_POINTER);
    EXPECT_EQ(point.Advise(a.get(), nullptr), ba::E_POINTER);
    auto plain = ba::MakeObject<NotASink>();
    EXPECT_EQ(point.Advise(plain.get(), &cx), ba::CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cx, 0u);
    ASSERT_EQ(point.Advise(a.get(), &ca), ba::S_OK);
    ASSERT_EQ(point.Advise(b.get(), &cb), ba::S_OK);
    EXPECT_NE(ca, 0u);
    EXPECT_NE(cb, 0u);
    EXPECT_NE(ca, cb);
    EXPECT_EQ(point.SinkCount(), 2u);

    EXPECT_EQ(ba::FireInputWordChanged(point, 3, 1, -25536), 2u);
    EXPECT_EQ(a->got, std::vector<Event>{Event(3, 1, -25536)});
    EXPECT_EQ(b->got, std::vector<Event>{Event(3, 1, -25536)});

    EXPECT_EQ(point.Unadvise(0), ba::CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point.Unadvise(ca + cb + 100), ba::CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point.Unadvise(ca), ba::S_OK);
    EXPECT_EQ(point.Unadvise(ca), ba::CONNECT_E_NOCONNECTION) << "a cookie works once";
    EXPECT_EQ(ba::FireInputWordChanged(point, 2, 0, 0x1234), 1u);
    EXPECT_EQ(a->got.size(), 1u);
    EXPECT_EQ(b->got.back(), Event(2, 0, 0x1234));

    // Re-advising the same sink gives a fresh cookie, never the old one.
    std::uint32_t again = 0;
    ASSERT_EQ(point.Advise(a.get(), &again), ba::S_OK);
    EXPECT_NE(again, ca);
    EXPECT_NE(again, cb);
    point.UnadviseAll();
    EXPECT_EQ(point.SinkCount(), 0u);
    EXPECT_EQ(ba::FireInputWordChanged(point, 1, 0, 1), 0u);
    EXPECT_EQ(point.Unadvise(cb), ba::CONNECT_E_NOCONNECTION);
}

TEST(ConnectionPoint, AcceptsASinkAnsweringOnlyTheEventInterface) {
    ba::ConnectionPoint point(ba::DIID__DBrimlinkEvents);
    auto sink = ba::MakeObject<EventOnlySink>();
    void* raw = nullptr;
    ASSERT_EQ(sink->QueryInterface(ba::IID_IDispatch, &raw), ba::E_NOINTERFACE);
    std::uint32_t cookie = 0;
    ASSERT_EQ(point.Advise(sink.get(), &cookie), ba::S_OK);
    EXPECT_EQ(ba::FireInputWordChanged(point, 1, 2, 321), 1u);
    EXPECT_EQ(sink->last, 321);
}

TEST(ConnectionPoint, ASinkFreedByUnadviseMayUseThePointFromItsDestructor) {
    ba::ConnectionPoint point(ba::DIID__DBrimlinkEvents);
    auto keep = ba::MakeObject<RecordingSink>();
    auto other = ba::MakeObject<RecordingSink>();
    auto extra = ba::MakeObject<RecordingSink>();
    auto late = ba::MakeObject<RecordingSink>();
    std::uint32_t cKeep = 0, cOther = 0, cExtra = 0, cOwner = 0, cLate = 0;
    {
        // Freed by the Unadvise below; on its way out it advises one sink and
        // unadvises another, growing the list while it is being changed.
        auto owner = ba::MakeObject<SinkWithCleanup>([&] {
            EXPECT_EQ(point.Advise(late.get(), &cLate), ba::S_OK);
            EXPECT_EQ(point.Unadvise(cOther), ba::S_OK);
        });
        ASSERT_EQ(point.Advise(owner.get(), &cOwner), ba::S_OK);
    }
    ASSERT_EQ(point.Advise(keep.get(), &cKeep), ba::S_OK);
    ASSERT_EQ(point.Advise(other.get(), &cOther), ba::S_OK);
    ASSERT_EQ(point.Advise(extra.get(), &cExtra), ba::S_OK);
    EXPECT_EQ(point.Unadvise(cOwner), ba::S_OK);
    EXPECT_EQ(point.SinkCount(), 3u);
    EXPECT_EQ(ba::FireInputWordChanged(point, 5, 0, 1), 3u);
    EXPECT_EQ(keep->got, std::vector<Event>{Event(5, 0, 1)});
    EXPECT_EQ(extra->got, std::vector<Event>{Event(5, 0, 1)});
    EXPECT_EQ(late->got, std::vector<Event>{Event(5, 0, 1)});
    EXPECT_TRUE(other->got.empty());

    // UnadviseAll has emptied the list before the first sink is freed.
    {
        auto owner = ba::MakeObject<SinkWithCleanup>([&] {
            EXPECT_EQ(point.SinkCount(), 0u);
            EXPECT_EQ(point.Unadvise(cKeep), ba::CONNECT_E_NOCONNECTION);
        });
        std::uint32_t c = 0;
        point.UnadviseAll();
        ASSERT_EQ(point.Advise(owner.get(), &c), ba::S_OK);
        ASSERT_EQ(point.Advise(keep.get(), &cKeep), ba::S_OK);
    }
    point.UnadviseAll();
    EXPECT_EQ(point.SinkCount(), 0u);
}

TEST(ConnectionPoint, ASinkUnadvisingItselfDuringDeliveryIsSafe) {
    ba::ConnectionPoint point(ba::DIID__DBrimlinkEvents);
    bool firstGone = false;
    std::uint32_t c1 = 0, c2 = 0;
    auto second = ba::MakeObject<RecordingSink>();
    {
        // The connection holds the only reference to the first sink.
        auto first = ba::MakeObject<RecordingSink>(&firstGone);
        first->onEvent = [&](RecordingSink&) { EXPECT_EQ(point.Unadvise(c1), ba::S_OK); };
        ASSERT_EQ(point.Advise(first.get(), &c1), ba::S_OK);
    }
    ASSERT_EQ(point.Advise(second.get(), &c2), ba::S_OK);
    EXPECT_FALSE(firstGone);
    EXPECT_EQ(ba::FireInputWordChanged(point, 1, 4, 9), 2u) << "the others still get this event";
    EXPECT_TRUE(firstGone) << "freed once delivery no longer needs it";
    EXPECT_EQ(second->got, std::vector<Event>{Event(1, 4, 9)});
    EXPECT_EQ(point.SinkCount(), 1u);
}

TEST(ConnectionPoint, UnadvisingOrAdvisingOthersDuringDelivery) {
    ba::ConnectionPoint point(ba::DIID__DBrimlinkEvents);
    auto first = ba::MakeObject<RecordingSink>();
    auto later = ba::MakeObject<RecordingSink>();
    auto added = ba::MakeObject<RecordingSink>();
    std::uint32_t cFirst = 0, cLater = 0, cAdded = 0;
    ASSERT_EQ(point.Advise(first.get(), &cFirst), ba::S_OK);
    ASSERT_EQ(point.Advise(later.get(), &cLater), ba::S_OK);
    first->onEvent = [&](RecordingSink& self) {
        EXPECT_EQ(point.Unadvise(cLater), ba::S_OK);
        EXPECT_EQ(point.Advise(added.get(), &cAdded), ba::S_OK);
        self.onEvent = nullptr;
    };
    EXPECT_EQ(ba::FireInputWordChanged(point, 1, 0, 5), 1u);
    EXPECT_TRUE(later->got.empty()) << "unadvised before its turn";
    EXPECT_TRUE(added->got.empty()) << "advised after the event started";
    EXPECT_EQ(ba::FireInputWordChanged(point, 1, 0, 6), 2u);
    EXPECT_EQ(first->got, (std::vector<Event>{Event(1, 0, 5), Event(1, 0, 6)}));
    EXPECT_EQ(added->got, std::vector<Event>{Event(1, 0, 6)});
}

TEST(ConnectionPoint, EventsRaisedFromAHandlerAndClearingAllDuringDelivery) {
    ba::ConnectionPoint point(ba::DIID__DBrimlinkEvents);
    auto a = ba::MakeObject<RecordingSink>();
    auto b = ba::MakeObject<RecordingSink>();
    std::uint32_t ca = 0, cb = 0;
    ASSERT_EQ(point.Advise(a.get(), &ca), ba::S_OK);
    ASSERT_EQ(point.Advise(b.get(), &cb), ba::S_OK);
    // Word 0 changing makes the handler raise word 1 from inside the delivery.
    a->onEvent = [&](RecordingSink&) {
        if (std::get<1>(a->got.back()) == 0) ba::FireInputWordChanged(point, 1, 1, 2);
    };
    ba::FireInputWordChanged(point, 1, 0, 1);
    EXPECT_EQ(a->got, (std::vector<Event>{Event(1, 0, 1), Event(1, 1, 2)}));
    EXPECT_EQ(b->got, (std::vector<Event>{Event(1, 1, 2), Event(1, 0, 1)}));

    a->onEvent = [&](RecordingSink&) { point.UnadviseAll(); };
    EXPECT_EQ(ba::FireInputWordChanged(point, 2, 2, 2), 1u);
    EXPECT_EQ(b->got.size(), 2u);
}

TEST(ConnectionPoint, SinkInvokeChecksTheEventArguments) {
    auto sink = ba::MakeObject<RecordingSink>();
    ba::ComPtr<ba::Dispatch> d;
    ASSERT_EQ(sink.As(ba::DIID__DBrimlinkEvents, d), ba::S_OK);
    const Variant good[] = {Variant(1), Variant(2), Variant(3)};
    const Variant bad[] = {Variant(1), Variant(70000), Variant(3)};
    EXPECT_EQ(d->Invoke(2, good, nullptr, nullptr), ba::DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(d->Invoke(1, std::span(good, 2), nullptr, nullptr), ba::DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(d->Invoke(1, bad, nullptr, nullptr), ba::DISP_E_OVERFLOW);
    EXPECT_EQ(d->Invoke(1, good, nullptr, nullptr), ba::S_OK);
    EXPECT_EQ(sink->got, std::vector<Event>{Event(1, 2, 3)});
    ba::DISPID id = 0;
    EXPECT_EQ(d->GetIDsOfNames(u"inputwordchanged", &id), ba::S_OK);
    EXPECT_EQ(id, 1);
    void* raw = nullptr;
    EXPECT_EQ(sink->QueryInterface(ba::DIID__DBrimlink, &raw), ba::E_NOINTERFACE);
}

TEST(ObjectFactory, CreatesObjectsAndCountsLocks) {
    ASSERT_EQ(ba::CanUnloadNow(), ba::S_OK) << "every earlier test freed its objects";
    {
        auto factory = ba::MakeObject<ba::ObjectFactory<FakeControl>>();
        EXPECT_EQ(ba::CanUnloadNow(), ba::S_FALSE) << "a factory held by a host keeps the library";
        ba::ComPtr<ba::ClassFactory> asFactory;
        ASSERT_EQ(factory.As(ba::IID_IClassFactory, asFactory), ba::S_OK);
        const std::size_t live = ba::LiveObjectCount();

        void* raw = nullptr;
        ASSERT_EQ(asFactory->CreateInstance(nullptr, ba::DIID__DBrimlink, &raw), ba::S_OK);
        auto control = ba::ComPtr<ba::Dispatch>::Adopt(static_cast<ba::Dispatch*>(raw));
        EXPECT_EQ(ba::LiveObjectCount(), live + 1);
        ba::DISPID id = 0;
        EXPECT_EQ(control->GetIDsOfNames(u"connect", &id), ba::S_OK);
        EXPECT_EQ(id, 18);
        control.reset();
        EXPECT_EQ(ba::LiveObjectCount(), live);

        raw = &id;
        EXPECT_EQ(asFactory->CreateInstance(nullptr, ba::DIID__DBrimlinkEvents, &raw), ba::E_NOINTERFACE);
        EXPECT_EQ(raw, nullptr);
        EXPECT_EQ(ba::LiveObjectCount(), live) << "the refused object is freed at once";
        EXPECT_EQ(asFactory->CreateInstance(factory.get(), ba::IID_IDispatch, &raw), ba::CLASS_E_NOAGGREGATION);
        EXPECT_EQ(asFactory->CreateInstance(nullptr, ba::IID_IDispatch, nullptr), ba::E_POINTER);
        EXPECT_EQ(ba::LiveObjectCount(), live);

        EXPECT_EQ(asFactory->LockServer(true), ba::S_OK);
        EXPECT_EQ(ba::ServerLockCount(), 1u);
    }
    EXPECT_EQ(ba::LiveObjectCount(), 0u);
    EXPECT_EQ(ba::CanUnloadNow(), ba::S_FALSE) << "the lock outlives the factory";
    auto again = ba::MakeObject<ba::ObjectFactory<FakeControl>>();
    EXPECT_EQ(again->LockServer(false), ba::S_OK);
    again.reset();
    EXPECT_EQ(ba::ServerLockCount(), 0u);
    EXPECT_EQ(ba::CanUnloadNow(), ba::S_OK);
}
