// _DBrimlink and _DBrimlinkEvents as C++ interfaces. The control implements
// BrimlinkMethods (one virtual per table member, same names and order) and
// derives from RefCounted<BrimlinkDispatch>; hosts that want the event in C++
// derive a sink from RefCounted<BrimlinkEventSink>.
#pragma once

#include "control/interface/Dispatch.h"

#include <cstdint>
#include <string>

namespace brimlink::automation {

class BrimlinkMethods {
public:
    virtual void AboutBox() = 0;
    virtual void ShowDebugWnd() = 0;
    virtual std::int16_t GetDigitalInput0() = 0;
    virtual void SetDigitalOutput0(std::int16_t Data) = 0;
    virtual std::int16_t GetAnalogInput0() = 0;
    virtual void SetAnalogOutput0(std::int16_t Data) = 0;
    virtual std::int16_t GetAnalogInput1() = 0;
    virtual std::int16_t GetAnalogInput2() = 0;
    virtual std::int16_t GetAnalogInput3() = 0;
    virtual void SetAnalogOutput1(std::int16_t Data) = 0;
    virtual void SetChannelMask(std::int16_t Mask) = 0;
    virtual void DoProcess() = 0;
    virtual void StartTimer() = 0;
    virtual void StopTimer() = 0;
    virtual void DoBackgroundProcessing(std::int16_t Count) = 0;
    virtual std::int16_t OpenSerial(std::int16_t PortNo) = 0;
    virtual std::int16_t CloseSerial() = 0;
    virtual void WriteDebugString(const std::u16string& Message) = 0;
    virtual std::int16_t Connect() = 0;
    virtual void Disconnect() = 0;
    virtual std::int32_t GetInputWord(std::int16_t ModIndex, std::int16_t WordIndex) = 0;
    virtual std::int16_t GetInput(std::int16_t ModIndex, std::int16_t ByteIndex, std::int16_t BitIndex) = 0;
    virtual void SetOutputWord(std::int16_t ModIndex, std::int16_t WordIndex, std::int32_t Value) = 0;
    virtual void SetOutput(std::int16_t ModIndex, std::int16_t ByteIndex, std::int16_t BitIndex,
                           std::int16_t Value) = 0;
    virtual void ForceDisplay(std::int16_t ModIndex, std::int16_t ChannelIndex) = 0;
    virtual void SetFilterMask(std::int16_t ModIndex, std::int16_t FilterMask) = 0;
    virtual void SetDisplayUnit(std::int16_t ModIndex, std::int16_t ChannelIndex, std::int16_t UnitIndex) = 0;
    virtual void SetGain(std::int16_t ModIndex, std::int16_t ChannelIndex, float GainFactor) = 0;
    virtual void SetMeasuringRange(std::int16_t ModIndex, std::int16_t InOut, std::int16_t RangeIndex) = 0;
    virtual void StartCounter(std::int16_t ModIndex, std::int16_t CounterIndex, std::int16_t Activate) = 0;
    virtual std::int32_t GetCounter(std::int16_t ModIndex, std::int16_t CounterIndex) = 0;
    virtual void SetAutoSendMode(std::int16_t ModIndex, std::int16_t ChannelMask) = 0;
    virtual void SetModule(std::int16_t ModIndex) = 0;
    virtual std::int16_t GetDigitalInput1() = 0;
    virtual void SetDigitalOutput1(std::int16_t Data) = 0;
    virtual std::int16_t GetModuleType(std::int16_t ModIndex) = 0;
    virtual std::int16_t GetComPort(std::int16_t ModIndex) = 0;
    virtual void SendString(std::int16_t ModIndex, const std::u16string& str) = 0;
    virtual std::int32_t GetOutputWord(std::int16_t ModIndex, std::int16_t WordIndex) = 0;
    virtual std::u16string SendAndGetString(std::int16_t ModIndex, const std::u16string& str) = 0;
    virtual void ShowProperties() = 0;
    virtual std::uint32_t GetPortType(std::int16_t ModIndex) = 0;
    virtual std::uint32_t GetUSBLocation(std::int16_t ModIndex) = 0;
    virtual std::int16_t IsModuleUpdateAvailable(std::int16_t ModIndex) = 0;
    virtual std::int16_t UpdateModule(std::int16_t ModIndex) = 0;

protected:
    virtual ~BrimlinkMethods() = default;
};

inline constexpr std::array<MethodBinding<BrimlinkMethods>, 45> kBrimlinkBindings{{
    Bind<&BrimlinkMethods::AboutBox>(-552),
    Bind<&BrimlinkMethods::ShowDebugWnd>(1),
    Bind<&BrimlinkMethods::GetDigitalInput0>(2),
    Bind<&BrimlinkMethods::SetDigitalOutput0>(3),
    Bind<&BrimlinkMethods::GetAnalogInput0>(4),
    Bind<&BrimlinkMethods::SetAnalogOutput0>(5),
    Bind<&BrimlinkMethods::GetAnalogInput1>(6),
    Bind<&BrimlinkMethods::GetAnalogInput2>(7),
    Bind<&BrimlinkMethods::GetAnalogInput3>(8),
    Bind<&BrimlinkMethods::SetAnalogOutput1>(9),
    Bind<&BrimlinkMethods::SetChannelMask>(10),
    Bind<&BrimlinkMethods::DoProcess>(11),
    Bind<&BrimlinkMethods::StartTimer>(12),
    Bind<&BrimlinkMethods::StopTimer>(13),
    Bind<&BrimlinkMethods::DoBackgroundProcessing>(14),
    Bind<&BrimlinkMethods::OpenSerial>(15),
    Bind<&BrimlinkMethods::CloseSerial>(16),
    Bind<&BrimlinkMethods::WriteDebugString>(17),
    Bind<&BrimlinkMethods::Connect>(18),
    Bind<&BrimlinkMethods::Disconnect>(19),
    Bind<&BrimlinkMethods::GetInputWord>(20),
    Bind<&BrimlinkMethods::GetInput>(21),
    Bind<&BrimlinkMethods::SetOutputWord>(22),
    Bind<&BrimlinkMethods::SetOutput>(23),
    Bind<&BrimlinkMethods::ForceDisplay>(24),
    Bind<&BrimlinkMethods::SetFilterMask>(25),
    Bind<&BrimlinkMethods::SetDisplayUnit>(26),
    Bind<&BrimlinkMethods::SetGain>(27),
    Bind<&BrimlinkMethods::SetMeasuringRange>(28),
    Bind<&BrimlinkMethods::StartCounter>(29),
    Bind<&BrimlinkMethods::GetCounter>(30),
    Bind<&BrimlinkMethods::SetAutoSendMode>(31),
    Bind<&BrimlinkMethods::SetModule>(32),
    Bind<&BrimlinkMethods::GetDigitalInput1>(33),
    Bind<&BrimlinkMethods::SetDigitalOutput1>(34),
    Bind<&BrimlinkMethods::GetModuleType>(35),
    Bind<&BrimlinkMethods::GetComPort>(36),
    Bind<&BrimlinkMethods::SendString>(37),
    Bind<&BrimlinkMethods::GetOutputWord>(38),
    Bind<&BrimlinkMethods::SendAndGetString>(39),
    Bind<&BrimlinkMethods::ShowProperties>(40),
    Bind<&BrimlinkMethods::GetPortType>(41),
    Bind<&BrimlinkMethods::GetUSBLocation>(42),
    Bind<&BrimlinkMethods::IsModuleUpdateAvailable>(43),
    Bind<&BrimlinkMethods::UpdateModule>(44),
}};

using BrimlinkDispatch = TableDispatch<BrimlinkMethods, kBrimlinkInterface, kBrimlinkBindings>;

class BrimlinkEventHandler {
public:
    virtual void InputWordChanged(std::int16_t ModIndex, std::int16_t WordIndex, std::int32_t Value) = 0;

protected:
    virtual ~BrimlinkEventHandler() = default;
};

inline constexpr std::array<MethodBinding<BrimlinkEventHandler>, 1> kBrimlinkEventBindings{{
    Bind<&BrimlinkEventHandler::InputWordChanged>(DISPID_InputWordChanged),
}};

using BrimlinkEventSink = TableDispatch<BrimlinkEventHandler, kBrimlinkEventInterface, kBrimlinkEventBindings>;

// Raises InputWordChanged on every sink advised at `point`.
inline std::size_t FireInputWordChanged(ConnectionPoint& point, std::int16_t modIndex, std::int16_t wordIndex,
                                        std::int32_t value) {
    const Variant args[] = {Variant(modIndex), Variant(wordIndex), Variant(value)};
    return point.Fire(DISPID_InputWordChanged, args);
}

}  // namespace brimlink::automation
