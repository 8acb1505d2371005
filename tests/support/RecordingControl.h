// A stand-in for the control behind _DBrimlink, for tests that run calls
// through the real table dispatch: records every call as "Name(arg,arg)" and
// answers each getter with the value a test sets, or else with the member's
// own DISPID (SendAndGetString: "39:" and its text), so a member bound to the
// wrong method shows up by name and by value.
#pragma once

#include "control/interface/BrimlinkInterface.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace brimlink::testing {

namespace ba = brimlink::automation;

inline std::string Text(std::int16_t v) { return "I2:" + std::to_string(v); }
inline std::string Text(std::int32_t v) { return "I4:" + std::to_string(v); }
inline std::string Text(float v) { return "R4:" + std::to_string(v); }
inline std::string Text(const std::u16string& v) { return "BSTR:" + ba::Utf16ToUtf8(v); }

class RecordingControl final : public ba::RefCounted<ba::BrimlinkDispatch> {
public:
    // destroyed, when given, is set when the object is freed.
    explicit RecordingControl(bool* destroyed = nullptr) : destroyed_(destroyed) {}
    ~RecordingControl() override {
        if (destroyed_) *destroyed_ = true;
    }

    std::vector<std::string> calls;
    bool throwNext = false;
    std::optional<std::int16_t> i2Result;
    std::optional<std::int32_t> i4Result;
    std::optional<std::uint32_t> ui4Result;
    std::optional<std::u16string> stringResult;

private:
    template <class... A>
    void Rec(const char* name, const A&... args) {
        if (throwNext) throw std::runtime_error("handler failed");
        std::string s = std::string(name) + "(";
        bool first = true;
        ((s += (first ? "" : ","), s += Text(args), first = false), ...);
        calls.push_back(s + ")");
    }
    template <class T>
    static T Result(const std::optional<T>& set, ba::DISPID dispid) {
        return set ? *set : static_cast<T>(dispid);
    }

    void AboutBox() override { Rec("AboutBox"); }
    void ShowDebugWnd() override { Rec("ShowDebugWnd"); }
    std::int16_t GetDigitalInput0() override { return Rec("GetDigitalInput0"), Result(i2Result, 2); }
    void SetDigitalOutput0(std::int16_t Data) override { Rec("SetDigitalOutput0", Data); }
    std::int16_t GetAnalogInput0() override { return Rec("GetAnalogInput0"), Result(i2Result, 4); }
    void SetAnalogOutput0(std::int16_t Data) override { Rec("SetAnalogOutput0", Data); }
    std::int16_t GetAnalogInput1() override { return Rec("GetAnalogInput1"), Result(i2Result, 6); }
    std::int16_t GetAnalogInput2() override { return Rec("GetAnalogInput2"), Result(i2Result, 7); }
    std::int16_t GetAnalogInput3() override { return Rec("GetAnalogInput3"), Result(i2Result, 8); }
    void SetAnalogOutput1(std::int16_t Data) override { Rec("SetAnalogOutput1", Data); }
    void SetChannelMask(std::int16_t Mask) override { Rec("SetChannelMask", Mask); }
    void DoProcess() override { Rec("DoProcess"); }
    void StartTimer() override { Rec("StartTimer"); }
    void StopTimer() override { Rec("StopTimer"); }
    void DoBackgroundProcessing(std::int16_t Count) override { Rec("DoBackgroundProcessing", Count); }
    std::int16_t OpenSerial(std::int16_t PortNo) override { return Rec("OpenSerial", PortNo), Result(i2Result, 15); }
    std::int16_t CloseSerial() override { return Rec("CloseSerial"), Result(i2Result, 16); }
    void WriteDebugString(const std::u16string& Message) override { Rec("WriteDebugString", Message); }
    std::int16_t Connect() override { return Rec("Connect"), Result(i2Result, 18); }
    void Disconnect() override { Rec("Disconnect"); }
    std::int32_t GetInputWord(std::int16_t m, std::int16_t w) override { return Rec("GetInputWord", m, w), Result(i4Result, 20); }
    std::int16_t GetInput(std::int16_t m, std::int16_t b, std::int16_t bit) override {
        return Rec("GetInput", m, b, bit), Result(i2Result, 21);
    }
    void SetOutputWord(std::int16_t m, std::int16_t w, std::int32_t v) override { Rec("SetOutputWord", m, w, v); }
    void SetOutput(std::int16_t m, std::int16_t b, std::int16_t bit, std::int16_t v) override {
        Rec("SetOutput", m, b, bit, v);
    }
    void ForceDisplay(std::int16_t m, std::int16_t c) override { Rec("ForceDisplay", m, c); }
    void SetFilterMask(std::int16_t m, std::int16_t f) override { Rec("SetFilterMask", m, f); }
    void SetDisplayUnit(std::int16_t m, std::int16_t c, std::int16_t u) override { Rec("SetDisplayUnit", m, c, u); }
    void SetGain(std::int16_t m, std::int16_t c, float g) override { Rec("SetGain", m, c, g); }
    void SetMeasuringRange(std::int16_t m, std::int16_t io, std::int16_t r) override {
        Rec("SetMeasuringRange", m, io, r);
    }
    void StartCounter(std::int16_t m, std::int16_t c, std::int16_t a) override { Rec("StartCounter", m, c, a); }
    std::int32_t GetCounter(std::int16_t m, std::int16_t c) override { return Rec("GetCounter", m, c), Result(i4Result, 30); }
    void SetAutoSendMode(std::int16_t m, std::int16_t c) override { Rec("SetAutoSendMode", m, c); }
    void SetModule(std::int16_t m) override { Rec("SetModule", m); }
    std::int16_t GetDigitalInput1() override { return Rec("GetDigitalInput1"), Result(i2Result, 33); }
    void SetDigitalOutput1(std::int16_t Data) override { Rec("SetDigitalOutput1", Data); }
    std::int16_t GetModuleType(std::int16_t m) override { return Rec("GetModuleType", m), Result(i2Result, 35); }
    std::int16_t GetComPort(std::int16_t m) override { return Rec("GetComPort", m), Result(i2Result, 36); }
    void SendString(std::int16_t m, const std::u16string& s) override { Rec("SendString", m, s); }
    std::int32_t GetOutputWord(std::int16_t m, std::int16_t w) override {
        return Rec("GetOutputWord", m, w), Result(i4Result, 38);
    }
    std::u16string SendAndGetString(std::int16_t m, const std::u16string& s) override {
        Rec("SendAndGetString", m, s);
        return stringResult ? *stringResult : u"39:" + s;
    }
    void ShowProperties() override { Rec("ShowProperties"); }
    std::uint32_t GetPortType(std::int16_t m) override { return Rec("GetPortType", m), Result(ui4Result, 41); }
    std::uint32_t GetUSBLocation(std::int16_t m) override { return Rec("GetUSBLocation", m), Result(ui4Result, 42); }
    std::int16_t IsModuleUpdateAvailable(std::int16_t m) override {
        return Rec("IsModuleUpdateAvailable", m), Result(i2Result, 43);
    }
    std::int16_t UpdateModule(std::int16_t m) override { return Rec("UpdateModule", m), Result(i2Result, 44); }

    bool* destroyed_;
};

}  // namespace brimlink::testing
