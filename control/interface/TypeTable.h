// The type library BRIMLINKLib: the one description of the control's dispatch
// interface and event interface. Invoke, GetIDsOfNames, the registration and
// the console host all read these tables, so a method exists exactly when it
// is listed here.
#pragma once

#include "control/interface/Automation.h"
#include "control/interface/Variant.h"

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brimlink::automation {

struct ParamInfo {
    std::string_view name;
    VariantType type;
};

struct MethodInfo {
    std::string_view name;
    DISPID dispid;
    std::span<const ParamInfo> params;
    VariantType result;  // Empty: the method returns nothing
    std::string_view helpString;
};

struct InterfaceInfo {
    std::string_view name;
    std::string_view helpString;
    GUID iid;
    std::span<const MethodInfo> methods;
};

struct TypeLibraryInfo {
    std::string_view name;
    std::uint16_t majorVersion;
    std::uint16_t minorVersion;
    std::uint32_t locale;
    std::string_view helpFile;
    std::string_view helpString;
    GUID libid;
};

// The identifiers shared by the control library and every host that creates it.
inline constexpr GUID LIBID_BRIMLINKLib = GuidLiteral("{4009746E-7569-4147-9F96-27DFADE49C75}");
inline constexpr GUID DIID__DBrimlink = GuidLiteral("{7DE86794-AF37-4C65-92BA-DBA87819ACAB}");
inline constexpr GUID DIID__DBrimlinkEvents = GuidLiteral("{88658180-9852-4C09-AD03-D9EBC3DC30B6}");
inline constexpr GUID CLSID_Brimlink = GuidLiteral("{C9EA2174-AD82-4A7A-9964-532E41172CC8}");
inline constexpr GUID CLSID_BrimlinkPropPage = GuidLiteral("{15E4CE2A-9C13-42D7-AE2C-06C2E05EB068}");

inline constexpr std::string_view kBrimlinkClassHelpString = "Brimlink Support Control";

inline constexpr std::size_t kMaxParams = 4;

namespace table_detail {
using VT = VariantType;
inline constexpr std::array<ParamInfo, 0> kNone{};
inline constexpr std::array kData{ParamInfo{"Data", VT::I2}};
inline constexpr std::array kMask{ParamInfo{"Mask", VT::I2}};
inline constexpr std::array kCount{ParamInfo{"Count", VT::I2}};
inline constexpr std::array kPortNo{ParamInfo{"PortNo", VT::I2}};
inline constexpr std::array kMessage{ParamInfo{"Message", VT::BSTR}};
inline constexpr std::array kMod{ParamInfo{"ModIndex", VT::I2}};
inline constexpr std::array kModWord{ParamInfo{"ModIndex", VT::I2}, ParamInfo{"WordIndex", VT::I2}};
inline constexpr std::array kModByteBit{ParamInfo{"ModIndex", VT::I2}, ParamInfo{"ByteIndex", VT::I2},
                                        ParamInfo{"BitIndex", VT::I2}};
inline constexpr std::array kModWordValue{ParamInfo{"ModIndex", VT::I2}, ParamInfo{"WordIndex", VT::I2},
                                          ParamInfo{"Value", VT::I4}};
inline constexpr std::array kModByteBitValue{ParamInfo{"ModIndex", VT::I2}, ParamInfo{"ByteIndex", VT::I2},
                                             ParamInfo{"BitIndex", VT::I2}, ParamInfo{"Value", VT::I2}};
inline constexpr std::array kModChannel{ParamInfo{"ModIndex", VT::I2}, ParamInfo{"ChannelIndex", VT::I2}};
inline constexpr std::array kModFilter{ParamInfo{"ModIndex", VT::I2}, ParamInfo{"FilterMask", VT::I2}};
inline constexpr std::array kModChannelUnit{ParamInfo{"ModIndex", VT::I2}, ParamInfo{"ChannelIndex", VT::I2},
                                            ParamInfo{"UnitIndex", VT::I2}};
inline constexpr std::array kModChannelGain{ParamInfo{"ModIndex", VT::I2}, ParamInfo{"ChannelIndex", VT::I2},
                                            ParamInfo{"GainFactor", VT::R4}};
inline constexpr std::array kModInOutRange{ParamInfo{"ModIndex", VT::I2}, ParamInfo{"InOut", VT::I2},
                                           ParamInfo{"RangeIndex", VT::I2}};
inline constexpr std::array kModCounterActivate{ParamInfo{"ModIndex", VT::I2}, ParamInfo{"CounterIndex", VT::I2},
                                                ParamInfo{"Activate", VT::I2}};
inline constexpr std::array kModCounter{ParamInfo{"ModIndex", VT::I2}, ParamInfo{"CounterIndex", VT::I2}};
inline constexpr std::array kModChannelMask{ParamInfo{"ModIndex", VT::I2}, ParamInfo{"ChannelMask", VT::I2}};
inline constexpr std::array kModStr{ParamInfo{"ModIndex", VT::I2}, ParamInfo{"str", VT::BSTR}};
inline constexpr std::array kEventArgs{ParamInfo{"ModIndex", VT::I2}, ParamInfo{"WordIndex", VT::I2},
                                       ParamInfo{"Value", VT::I4}};
}  // namespace table_detail

// _DBrimlink in the order of its DISPIDs (AboutBox first).
inline constexpr std::array<MethodInfo, 45> kBrimlinkMethods = [] {
    using namespace table_detail;
    return std::array<MethodInfo, 45>{{
        {"AboutBox", -552, kNone, VT::Empty, "Shows the about box."},
        {"ShowDebugWnd", 1, kNone, VT::Empty, "Shows the trace window."},
        {"GetDigitalInput0", 2, kNone, VT::I2, "Low byte of input word 0 of the current module."},
        {"SetDigitalOutput0", 3, kData, VT::Empty,
         "Sets the low byte of output word 0 of the current module to the low byte of Data."},
        {"GetAnalogInput0", 4, kNone, VT::I2, "Input word 1 of the current module."},
        {"SetAnalogOutput0", 5, kData, VT::Empty, "Sets output word 1 of the current module."},
        {"GetAnalogInput1", 6, kNone, VT::I2, "Input word 2 of the current module."},
        {"GetAnalogInput2", 7, kNone, VT::I2, "Input word 3 of the current module."},
        {"GetAnalogInput3", 8, kNone, VT::I2, "Input word 4 of the current module."},
        {"SetAnalogOutput1", 9, kData, VT::Empty, "Sets output word 2 of the current module."},
        {"SetChannelMask", 10, kMask, VT::Empty, "Sets the auto-send mask of the current module."},
        {"DoProcess", 11, kNone, VT::Empty, "Processes pending events for 2 ms."},
        {"StartTimer", 12, kNone, VT::Empty, "Starts the timer of the current module."},
        {"StopTimer", 13, kNone, VT::Empty, "Stops the timer of the current module."},
        {"DoBackgroundProcessing", 14, kCount, VT::Empty, "Processes up to Count pending events."},
        {"OpenSerial", 15, kPortNo, VT::I2,
         "Opens one COM port and the first module on it; 0 on success, 2 on failure."},
        {"CloseSerial", 16, kNone, VT::I2, "Closes every connection; always 0."},
        {"WriteDebugString", 17, kMessage, VT::Empty, "Adds a line to the trace window."},
        {"Connect", 18, kNone, VT::I2, "Searches the USB and COM ports; the bit mask of the module numbers found."},
        {"Disconnect", 19, kNone, VT::Empty, "Closes every connection."},
        {"GetInputWord", 20, kModWord, VT::I4, "Input word WordIndex (0..4) of the module."},
        {"GetInput", 21, kModByteBit, VT::I2, "One bit of input word 0 of the module: 1 or 0."},
        {"SetOutputWord", 22, kModWordValue, VT::Empty, "Sets output word WordIndex (0..2) of the module."},
        {"SetOutput", 23, kModByteBitValue, VT::Empty,
         "Sets (Value 1) or clears (Value 0) one bit of output word 0 of the module."},
        {"ForceDisplay", 24, kModChannel, VT::Empty, "Makes the module display a channel."},
        {"SetFilterMask", 25, kModFilter, VT::Empty, "Sets the module's filter mask."},
        {"SetDisplayUnit", 26, kModChannelUnit, VT::Empty, "Sets the display unit of a channel."},
        {"SetGain", 27, kModChannelGain, VT::Empty, "Sets the gain factor of a channel."},
        {"SetMeasuringRange", 28, kModInOutRange, VT::Empty,
         "Sets the measuring range of the inputs (InOut 0) or outputs (InOut 1)."},
        {"StartCounter", 29, kModCounterActivate, VT::Empty,
         "Starts (Activate 1) or stops (Activate 0) counter 0 or 1."},
        {"GetCounter", 30, kModCounter, VT::I4, "Reads counter 0 or 1 of the module."},
        {"SetAutoSendMode", 31, kModChannelMask, VT::Empty, "Sets which input words the module reports on its own."},
        {"SetModule", 32, kMod, VT::Empty, "Makes module ModIndex (1..8) the current module."},
        {"GetDigitalInput1", 33, kNone, VT::I2, "High byte of input word 0 of the current module."},
        {"SetDigitalOutput1", 34, kData, VT::Empty,
         "Sets the high byte of output word 0 of the current module to the low byte of Data."},
        {"GetModuleType", 35, kMod, VT::I2, "The module's type: 0 none, 1 R16, 2 R8A, 3 USB, 5 R6."},
        {"GetComPort", 36, kMod, VT::I2, "The port number of the module's connection, 0 if none."},
        {"SendString", 37, kModStr, VT::Empty, "Sends str to the module as one command line."},
        {"GetOutputWord", 38, kModWord, VT::I4,
         "Output word WordIndex (0..2) of the module as the module reports it."},
        {"SendAndGetString", 39, kModStr, VT::BSTR, "Sends str to the module and returns its reply line."},
        {"ShowProperties", 40, kNone, VT::Empty, "Opens the property page."},
        {"GetPortType", 41, kMod, VT::UI4, "The port type of the module's connection: 0 none, 1 COM port, 2 USB."},
        {"GetUSBLocation", 42, kMod, VT::UI4, "The USB location identifier of the module, 0 if none or not USB."},
        {"IsModuleUpdateAvailable", 43, kMod, VT::I2, "1 when the module's USB identity can be updated."},
        {"UpdateModule", 44, kMod, VT::I2, "Writes the module's USB identity; 0 on success."},
    }};
}();

inline constexpr DISPID DISPID_InputWordChanged = 1;

inline constexpr std::array<MethodInfo, 1> kBrimlinkEvents{{
    {"InputWordChanged", DISPID_InputWordChanged, table_detail::kEventArgs, VariantType::Empty,
     "Raised when input word WordIndex of module ModIndex changed to Value."},
}};

inline constexpr TypeLibraryInfo kBrimlinkTypeLibrary{
    "BRIMLINKLib", 1, 0, 0x0409, "Brimlink.hlp", "Kavro Brimlink Support Control", LIBID_BRIMLINKLib};

inline constexpr InterfaceInfo kBrimlinkInterface{
    "_DBrimlink", "Dispatch-Schnittstelle für Kavro Brimlink Support Control", DIID__DBrimlink,
    kBrimlinkMethods};

inline constexpr InterfaceInfo kBrimlinkEventInterface{
    "_DBrimlinkEvents", "Ereignisschnittstelle für Brimlink Support Control", DIID__DBrimlinkEvents,
    kBrimlinkEvents};

// nullptr when the interface has no such member.
const MethodInfo* FindMethod(const InterfaceInfo& info, DISPID dispid);
// Letter case is ignored, as GetIDsOfNames does; nullptr for an unknown name.
const MethodInfo* FindMethod(const InterfaceInfo& info, std::string_view name);
const MethodInfo* FindMethod(const InterfaceInfo& info, std::u16string_view name);

// GetIDsOfNames for one member name: S_OK or DISP_E_UNKNOWNNAME.
HRESULT GetIdOfName(const InterfaceInfo& info, std::u16string_view name, DISPID* id);

// "20 GetInputWord(ModIndex: I2, WordIndex: I2) -> I4"; no arrow without a result.
std::string FormatMethod(const MethodInfo& method);

// The whole library as text, one line each: a header line for the library,
// then per interface a header line followed by its members in table order.
std::vector<std::string> RenderTypeLibrary();

}  // namespace brimlink::automation
