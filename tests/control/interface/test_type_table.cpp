#include "control/interface/TypeTable.h"

#include <gtest/gtest.h>

#include <set>

namespace ba = brimlink::automation;

namespace {

// The interface as published for hosts, typed independently of the table:
// DISPID, name, parameters ("Name:Type" joined by ","), result ("" for none).
struct Expected {
    int dispid;
    const char* name;
    const char* params;
    const char* result;
};

constexpr Expected kPublished[] = {
    {-552, "AboutBox", "", ""},
    {1, "ShowDebugWnd", "", ""},
    {2, "GetDigitalInput0", "", "I2"},
    {3, "SetDigitalOutput0", "Data:I2", ""},
    {4, "GetAnalogInput0", "", "I2"},
    {5, "SetAnalogOutput0", "Data:I2", ""},
    {6, "GetAnalogInput1", "", "I2"},
    {7, "GetAnalogInput2", "", "I2"},
    {8, "GetAnalogInput3", "", "I2"},
    {9, "SetAnalogOutput1", "Data:I2", ""},
    {10, "SetChannelMask", "Mask:I2", ""},
    {11, "DoProcess", "", ""},
    {12, "StartTimer", "", ""},
    {13, "StopTimer", "", ""},
    {14, "DoBackgroundProcessing", "Count:I2", ""},
    {15, "OpenSerial", "PortNo:I2", "I2"},
    {16, "CloseSerial", "", "I2"},
    {17, "WriteDebugString", "Message:BSTR", ""},
    {18, "Connect", "", "I2"},
    {19, "Disconnect", "", ""},
    {20, "GetInputWord", "ModIndex:I2,WordIndex:I2", "I4"},
    {21, "GetInput", "ModIndex:I2,ByteIndex:I2,BitIndex:I2", "I2"},
    {22, "SetOutputWord", "ModIndex:I2,WordIndex:I2,Value:I4", ""},
    {23, "SetOutput", "ModIndex:I2,ByteIndex:I2,BitIndex:I2,Value:I2", ""},
    {24, "ForceDisplay", "ModIndex:I2,ChannelIndex:I2", ""},
    {25, "SetFilterMask", "ModIndex:I2,FilterMask:I2", ""},
    {26, "SetDisplayUnit", "ModIndex:I2,ChannelIndex:I2,UnitIndex:I2", ""},
    {27, "SetGain", "ModIndex:I2,ChannelIndex:I2,GainFactor:R4", ""},
    {28, "SetMeasuringRange", "ModIndex:I2,InOut:I2,RangeIndex:I2", ""},
    {29, "StartCounter", "ModIndex:I2,CounterIndex:I2,Activate:I2", ""},
    {30, "GetCounter", "ModIndex:I2,CounterIndex:I2", "I4"},
    {31, "SetAutoSendMode", "ModIndex:I2,ChannelMask:I2", ""},
    {32, "SetModule", "ModIndex:I2", ""},
    {33, "GetDigitalInput1", "", "I2"},
    {34, "SetDigitalOutput1", "Data:I2", ""},
    {35, "GetModuleType", "ModIndex:I2", "I2"},
    {36, "GetComPort", "ModIndex:I2", "I2"},
    {37, "SendString", "ModIndex:I2,str:BSTR", ""},
    {38, "GetOutputWord", "ModIndex:I2,WordIndex:I2", "I4"},
    {39, "SendAndGetString", "ModIndex:I2,str:BSTR", "BSTR"},
    {40, "ShowProperties", "", ""},
    {41, "GetPortType", "ModIndex:I2", "UI4"},
    {42, "GetUSBLocation", "ModIndex:I2", "UI4"},
    {43, "IsModuleUpdateAvailable", "ModIndex:I2", "I2"},
    {44, "UpdateModule", "ModIndex:I2", "I2"},
};

std::string Params(const ba::MethodInfo& m) {
    std::string s;
    for (const auto& p : m.params) {
        if (!s.empty()) s += ',';
        s += std::string(p.name) + ":" + std::string(ba::TypeName(p.type));
    }
    return s;
}

std::string Result(const ba::MethodInfo& m) {
    return m.result == ba::VariantType::Empty ? "" : std::string(ba::TypeName(m.result));
}

}  // namespace

TEST(TypeTable, DispatchInterfaceMatchesThePublishedList) {
    static_assert(std::size(kPublished) == 45);
    ASSERT_EQ(ba::kBrimlinkInterface.methods.size(), 45u);
    std::set<int> seen;
    for (const Expected& e : kPublished) {
        SCOPED_TRACE(e.name);
        const ba::MethodInfo* byId = ba::FindMethod(ba::kBrimlinkInterface, e.dispid);
        ASSERT_NE(byId, nullptr);
        EXPECT_EQ(byId->name, e.name);
        EXPECT_EQ(Params(*byId), e.params);
        EXPECT_EQ(Result(*byId), e.result);
        EXPECT_EQ(ba::FindMethod(ba::kBrimlinkInterface, std::string_view(e.name)), byId);
        EXPECT_TRUE(seen.insert(byId->dispid).second) << "DISPID listed twice";
    }
    // Nothing else answers: every table entry was among the 45 above.
    for (const auto& m : ba::kBrimlinkInterface.methods) EXPECT_TRUE(seen.count(m.dispid)) << m.name;
    EXPECT_EQ(ba::FindMethod(ba::kBrimlinkInterface, 0), nullptr);
    EXPECT_EQ(ba::FindMethod(ba::kBrimlinkInterface, 45), nullptr);
    EXPECT_EQ(ba::FindMethod(ba::kBrimlinkInterface, -1), nullptr);
}

TEST(TypeTable, EventInterfaceAndLibraryIdentity) {
    ASSERT_EQ(ba::kBrimlinkEventInterface.methods.size(), 1u);
    const ba::MethodInfo& ev = ba::kBrimlinkEventInterface.methods[0];
    EXPECT_EQ(ev.dispid, 1);
    EXPECT_EQ(ev.name, "InputWordChanged");
    EXPECT_EQ(Params(ev), "ModIndex:I2,WordIndex:I2,Value:I4");
    EXPECT_EQ(Result(ev), "");

    EXPECT_EQ(ba::kBrimlinkTypeLibrary.name, "BRIMLINKLib");
    EXPECT_EQ(ba::kBrimlinkTypeLibrary.majorVersion, 1);
    EXPECT_EQ(ba::kBrimlinkTypeLibrary.minorVersion, 0);
    EXPECT_EQ(ba::kBrimlinkTypeLibrary.locale, 0x0409u);
    EXPECT_EQ(ba::kBrimlinkTypeLibrary.helpFile, "Brimlink.hlp");
    EXPECT_EQ(ba::kBrimlinkTypeLibrary.helpString, "Kavro Brimlink Support Control");
    EXPECT_EQ(ba::kBrimlinkInterface.name, "_DBrimlink");
    EXPECT_EQ(ba::kBrimlinkInterface.helpString, "Dispatch-Schnittstelle f\xC3\xBCr Kavro Brimlink Support Control");
    EXPECT_EQ(ba::kBrimlinkEventInterface.name, "_DBrimlinkEvents");
    EXPECT_EQ(ba::kBrimlinkEventInterface.helpString, "Ereignisschnittstelle f\xC3\xBCr Brimlink Support Control");
    EXPECT_EQ(ba::kBrimlinkClassHelpString, "Brimlink Support Control");

    // The five identifiers are distinct from each other and from the system ones.
    const std::set<ba::GUID> ids{ba::LIBID_BRIMLINKLib, ba::DIID__DBrimlink, ba::DIID__DBrimlinkEvents,
                                 ba::CLSID_Brimlink,    ba::CLSID_BrimlinkPropPage, ba::IID_IUnknown,
                                 ba::IID_IDispatch,     ba::IID_IConnectionPoint, ba::IID_IClassFactory};
    EXPECT_EQ(ids.size(), 9u);
}

TEST(TypeTable, NamesIgnoreLetterCase) {
    ba::DISPID id = 0;
    EXPECT_EQ(ba::GetIdOfName(ba::kBrimlinkInterface, u"getinputword", &id), ba::S_OK);
    EXPECT_EQ(id, 20);
    EXPECT_EQ(ba::GetIdOfName(ba::kBrimlinkInterface, u"ABOUTBOX", &id), ba::S_OK);
    EXPECT_EQ(id, -552);
    EXPECT_EQ(ba::GetIdOfName(ba::kBrimlinkInterface, u"getusblocation", &id), ba::S_OK);
    EXPECT_EQ(id, 42);
    EXPECT_EQ(ba::GetIdOfName(ba::kBrimlinkEventInterface, u"inputwordCHANGED", &id), ba::S_OK);
    EXPECT_EQ(id, 1);

    id = 77;
    for (const char16_t* bad : {u"", u"GetInputWor", u"GetInputWords", u" Connect", u"Conn\u0435ct", u"InputWordChanged"})
        EXPECT_EQ(ba::GetIdOfName(ba::kBrimlinkInterface, bad, &id), ba::DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, 77) << "unknown names leave the id alone";
    EXPECT_EQ(ba::GetIdOfName(ba::kBrimlinkInterface, u"Connect", nullptr), ba::E_POINTER);
    EXPECT_EQ(ba::FindMethod(ba::kBrimlinkInterface, std::string_view("sendandgetstring"))->dispid, 39);
    // Only letters fold: a digit and the character 0x20 below it are different.
    EXPECT_EQ(ba::FindMethod(ba::kBrimlinkInterface, std::string_view("GetDigitalInput\x10")), nullptr);
    EXPECT_EQ(ba::FindMethod(ba::kBrimlinkInterface, std::string_view("GETDIGITALINPUT1"))->dispid, 33);
    EXPECT_EQ(ba::FindMethod(ba::kBrimlinkInterface, std::u16string_view(u"GetDigitalInput\x10")), nullptr);
}

TEST(TypeTable, RendersOneLinePerMember) {
    EXPECT_EQ(ba::FormatMethod(*ba::FindMethod(ba::kBrimlinkInterface, 18)), "18 Connect() -> I2");
    EXPECT_EQ(ba::FormatMethod(*ba::FindMethod(ba::kBrimlinkInterface, -552)), "-552 AboutBox()");
    EXPECT_EQ(ba::FormatMethod(*ba::FindMethod(ba::kBrimlinkInterface, 27)),
              "27 SetGain(ModIndex: I2, ChannelIndex: I2, GainFactor: R4)");
    EXPECT_EQ(ba::FormatMethod(*ba::FindMethod(ba::kBrimlinkInterface, 39)),
              "39 SendAndGetString(ModIndex: I2, str: BSTR) -> BSTR");

    const std::vector<std::string> lines = ba::RenderTypeLibrary();
    ASSERT_EQ(lines.size(), 1u + 1u + 45u + 1u + 1u);
    EXPECT_EQ(lines[0], "library BRIMLINKLib 1.0 " + ba::LIBID_BRIMLINKLib.ToString() +
                            " \"Kavro Brimlink Support Control\"");
    EXPECT_EQ(lines[1].rfind("dispinterface _DBrimlink {", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2], "-552 AboutBox()");
    EXPECT_EQ(lines[46], "44 UpdateModule(ModIndex: I2) -> I2");
    EXPECT_EQ(lines[47].rfind("dispinterface _DBrimlinkEvents {", 0), 0u) << lines[47];
    EXPECT_EQ(lines[48], "1 InputWordChanged(ModIndex: I2, WordIndex: I2, Value: I4)");
}
