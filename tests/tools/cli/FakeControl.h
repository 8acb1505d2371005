// A stand-in for the control behind _DBrimlink: records every call as
// "Name(arg,arg)" and answers getters with values the test sets, so the
// console protocol can be run through the real table dispatch.
#pragma once

#include "control/interface/BrimlinkInterface.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace cli_test {

namespace ba = brimlink::automation;

inline std::string Text(std::int16_t v) { return "I2:" + std::to_string(v); }
inline std::string Text(std::int32_t v) { return "I4:" + std::to_string(v); }
inline std::string Text(float v) { return "R4:" + std::to_string(v); }
inline std::string Text(const std::u16string& v) { return "BSTR:" + ba::Utf16ToUtf8(v); }

class FakeControl final : public ba::RefCounted<ba::BrimlinkDispatch> {
public:
    std::vector<std::string> calls;
    bool throwNext = false;
    std::int16_t i2Result = 0;
    std::int32_t i4Result = 0;
    std::uint32_t ui4Result = 0;
    std::u16string stringResult;

private:
    template <class... A>
    void Rec(const char* name, const A&... args) {
        if (throwNext) throw std::runtime_error("handler failed");
        std::string s = std::string(name) + "(";
        bool first = true;
        ((s += (first ? "" : ","), s += Text(args), first = false), ...);
        calls.push_back(s + ")");
    }

    void AboutBox() override { Rec("AboutBox"); }
    void ShowDebugWnd() override { Rec("ShowDebugWnd"); }
    std::int16_t GetDigitalInput0() override { return Rec("GetDigitalInput0"), i2Result; }
    void SetDigitalOutput0(std::int16_t Data) override { Rec("SetDigitalOutput0", Data); }
    std::int16_t GetAnalogInput0() override { return Rec("GetAnalogInput0"), i2Result; }
    void SetAnalogOutput0(std::int16_t Data) override { Rec("SetAnalogOutput0", Data); }
    std::int16_t GetAnalogInput1() override { return Rec("GetAnalogInput1"), i2Result; }
    std::int16_t GetAnalogInput2() override { return Rec("GetAnalogInput2"), i2Result; }
    std::int16_t GetAnalogInput3() override { return Rec("GetAnalogInput3"), i2Result; }
    void SetAnalogOutput1(std::int16_t Data) override { Rec("SetAnalogOutput1", Data); }
    void SetChannelMask(std::int16_t Mask) override { Rec("SetChannelMask", Mask); }
    void DoProcess() override { Rec("DoProcess"); }
    void StartTimer() override { Rec("StartTimer"); }
    void StopTimer() override { Rec("StopTimer"); }
    void DoBackgroundProcessing(std::int16_t Count) override { Rec("DoBackgroundProcessing", Count); }
    std::int16_t OpenSerial(std::int16_t PortNo) override { return Rec("OpenSerial", PortNo), i2Result; }
    std::int16_t CloseSerial() override { return Rec("CloseSerial"), i2Result; }
    void WriteDebugString(const std::u16string& Message) override { Rec("WriteDebugString", Message); }
    std::int16_t Connect() override { return Rec("Connect"), i2Result; }
    void Disconnect() override { Rec("Disconnect"); }
    std::int32_t GetInputWord(std::int16_t m, std::int16_t w) override { return Rec("GetInputWord", m, w), i4Result; }
    std::int16_t GetInput(std::int16_t m, std::int16_t b, std::int16_t bit) override {
        return Rec("GetInput", m, b, bit), i2Result;
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
    std::int32_t GetCounter(std::int16_t m, std::int16_t c) override { return Rec("GetCounter", m, c), i4Result; }
    void SetAutoSendMode(std::int16_t m, std::int16_t c) override { Rec("SetAutoSendMode", m, c); }
    void SetModule(std::int16_t m) override { Rec("SetModule", m); }
    std::int16_t GetDigitalInput1() override { return Rec("GetDigitalInput1"), i2Result; }
    void SetDigitalOutput1(std::int16_t Data) override { Rec("SetDigitalOutput1", Data); }
    std::int16_t GetModuleType(std::int16_t m) override { return Rec("GetModuleType", m), i2Result; }
    std::int16_t GetComPort(std::int16_t m) override { return Rec("GetComPort", m), i2Result; }
    void SendString(std::int16_t m, const std::u16string& s) override { Rec("SendString", m, s); }
    std::int32_t GetOutputWord(std::int16_t m, std::int16_t w) override {
        return Rec("GetOutputWord", m, w), i4Result;
    }
    std::u16string SendAndGetString(std::int16_t m, const std::u16string& s) override {
        Rec("SendAndGetString", m, s);
        return stringResult;
    }
    void ShowProperties() override { Rec("ShowProperties"); }
    std::uint32_t GetPortType(std::int16_t m) override { return Rec("GetPortType", m), ui4Result; }
    std::uint32_t GetUSBLocation(std::int16_t m) override { return Rec("GetUSBLocation", m), ui4Result; }
    std::int16_t IsModuleUpdateAvailable(std::int16_t m) override {
        return Rec("IsModuleUpdateAvailable", m), i2Result;
    }
    std::int16_t UpdateModule(std::int16_t m) override { return Rec("UpdateModule", m), i2Result; }
};

}  // namespace cli_test
