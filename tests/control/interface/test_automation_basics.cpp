#include "control/interface/Automation.h"

#include <gtest/gtest.h>

namespace ba = brimlink::automation;

TEST(AutomationResults, HaveTheStandardNumericValues) {
    EXPECT_EQ(ba::S_OK, 0);
    EXPECT_EQ(ba::S_FALSE, 1);
    const struct {
        ba::HRESULT hr;
        std::uint32_t bits;
    } cases[] = {
        {ba::E_NOINTERFACE, 0x80004002u},        {ba::E_POINTER, 0x80004003u},
        {ba::E_FAIL, 0x80004005u},               {ba::E_INVALIDARG, 0x80070057u},
        {ba::CLASS_E_CLASSNOTAVAILABLE, 0x80040111u}, {ba::DISP_E_MEMBERNOTFOUND, 0x80020003u},
        {ba::DISP_E_BADPARAMCOUNT, 0x8002000Eu}, {ba::DISP_E_TYPEMISMATCH, 0x80020005u},
        {ba::DISP_E_OVERFLOW, 0x8002000Au},      {ba::DISP_E_UNKNOWNNAME, 0x80020006u},
        {ba::DISP_E_EXCEPTION, 0x80020009u},     {ba::SELFREG_E_TYPELIB, 0x80040200u},
        {ba::SELFREG_E_CLASS, 0x80040201u},      {ba::CONNECT_E_NOCONNECTION, 0x80040200u},
        {ba::CONNECT_E_CANNOTCONNECT, 0x80040202u},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(static_cast<std::uint32_t>(c.hr), c.bits);
        EXPECT_TRUE(ba::Failed(c.hr));
        EXPECT_FALSE(ba::Succeeded(c.hr));
    }
    EXPECT_TRUE(ba::Succeeded(ba::S_FALSE));
    EXPECT_EQ(ba::FormatResult(ba::DISP_E_OVERFLOW), "0x8002000A");
    EXPECT_EQ(ba::FormatResult(ba::S_OK), "0x00000000");
}

TEST(AutomationGuid, ParsesAndFormatsEveryField) {
    const auto g = ba::GUID::Parse("{00020400-0000-0000-c000-0000000000a6}");
    ASSERT_TRUE(g.has_value());
    EXPECT_EQ(g->data1, 0x00020400u);
    EXPECT_EQ(g->data2, 0);
    EXPECT_EQ(g->data3, 0);
    const std::array<std::uint8_t, 8> tail{0xC0, 0, 0, 0, 0, 0, 0, 0xA6};
    EXPECT_EQ(g->data4, tail);
    EXPECT_EQ(g->ToString(), "{00020400-0000-0000-C000-0000000000A6}");

    const std::string text = "{B196B286-BAB4-101A-B69C-00AA00342D49}";
    const auto cp = ba::GUID::Parse(text);
    ASSERT_TRUE(cp.has_value());
    EXPECT_EQ(cp->data1, 0xB196B286u);
    EXPECT_EQ(cp->data2, 0xBAB4);
    EXPECT_EQ(cp->data3, 0x101A);
    EXPECT_EQ(cp->ToString(), text);
    EXPECT_EQ(*cp, ba::IID_IConnectionPoint);
    EXPECT_EQ(ba::GuidLiteral("{B196B286-BAB4-101A-B69C-00AA00342D49}"), *cp);
}

TEST(AutomationGuid, RejectsMalformedText) {
    for (const char* bad : {"", "B196B286-BAB4-101A-B69C-00AA00342D49", "{B196B286-BAB4-101A-B69C-00AA00342D4}",
                            "{B196B286-BAB4-101A-B69C-00AA00342D491}", "{B196B286+BAB4-101A-B69C-00AA00342D49}",
                            "{B196B286-BAB4-101A-B69C00AA00342D49-}", "{G196B286-BAB4-101A-B69C-00AA00342D49}",
                            "{B196B286-BAB4-101A-B69C-00AA00342D4x}", " {B196B286-BAB4-101A-B69C-00AA00342D49}",
                            "(B196B286-BAB4-101A-B69C-00AA00342D49)"})
        EXPECT_FALSE(ba::GUID::Parse(bad).has_value()) << bad;
}

TEST(AutomationGuid, ComparesByValue) {
    EXPECT_NE(ba::IID_IUnknown, ba::IID_IDispatch);
    EXPECT_LT(ba::IID_IUnknown, ba::IID_IDispatch);
    ba::GUID a = ba::IID_IDispatch;
    a.data4[7] ^= 1;
    EXPECT_NE(a, ba::IID_IDispatch);
    EXPECT_EQ(ba::GUID{}, *ba::GUID::Parse("{00000000-0000-0000-0000-000000000000}"));
}
