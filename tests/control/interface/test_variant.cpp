#include "control/interface/Variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace ba = brimlink::automation;
using ba::Variant;
using ba::VariantType;

namespace {

// Coerces and returns the result code; the value lands in out.
ba::HRESULT Coerce(const Variant& in, VariantType to, Variant& out) { return in.CoerceTo(to, out); }

}  // namespace

TEST(VariantCoercion, IntegersToI2CheckTheRange) {
    Variant out;
    EXPECT_EQ(Coerce(Variant(std::int32_t{32767}), VariantType::I2, out), ba::S_OK);
    EXPECT_EQ(out, Variant(std::int16_t{32767}));
    EXPECT_EQ(Coerce(Variant(std::int32_t{-32768}), VariantType::I2, out), ba::S_OK);
    EXPECT_EQ(out, Variant(std::int16_t{-32768}));

    out = Variant(std::int16_t{7});
    EXPECT_EQ(Coerce(Variant(std::int32_t{32768}), VariantType::I2, out), ba::DISP_E_OVERFLOW);
    EXPECT_EQ(out, Variant(std::int16_t{7})) << "a failed coercion leaves the output alone";
    EXPECT_EQ(Coerce(Variant(std::int32_t{-32769}), VariantType::I2, out), ba::DISP_E_OVERFLOW);
    EXPECT_EQ(Coerce(Variant(std::int32_t{65535}), VariantType::I2, out), ba::DISP_E_OVERFLOW);
    EXPECT_EQ(Coerce(Variant(std::uint32_t{32768}), VariantType::I2, out), ba::DISP_E_OVERFLOW);
    EXPECT_EQ(Coerce(Variant(std::uint32_t{4294967295u}), VariantType::I2, out), ba::DISP_E_OVERFLOW);
    EXPECT_EQ(Coerce(Variant(std::uint32_t{32767}), VariantType::I2, out), ba::S_OK);
    EXPECT_EQ(out, Variant(std::int16_t{32767}));
}

TEST(VariantCoercion, I4AndUI4Ranges) {
    Variant out;
    EXPECT_EQ(Coerce(Variant(std::uint32_t{4294967295u}), VariantType::UI4, out), ba::S_OK);
    EXPECT_EQ(out.UI4(), 4294967295u);
    EXPECT_EQ(Coerce(Variant(std::uint32_t{4294967295u}), VariantType::I4, out), ba::DISP_E_OVERFLOW);
    EXPECT_EQ(Coerce(Variant(std::uint32_t{2147483647u}), VariantType::I4, out), ba::S_OK);
    EXPECT_EQ(out, Variant(std::int32_t{2147483647}));
    EXPECT_EQ(Coerce(Variant(std::uint32_t{2147483648u}), VariantType::I4, out), ba::DISP_E_OVERFLOW);
    EXPECT_EQ(Coerce(Variant(std::int32_t{-1}), VariantType::UI4, out), ba::DISP_E_OVERFLOW);
    EXPECT_EQ(Coerce(Variant(std::int16_t{-1}), VariantType::UI4, out), ba::DISP_E_OVERFLOW);
    EXPECT_EQ(Coerce(Variant(std::int16_t{-1}), VariantType::I4, out), ba::S_OK);
    EXPECT_EQ(out, Variant(std::int32_t{-1}));
    EXPECT_EQ(Coerce(Variant(std::int32_t{0x7FFFFFFF}), VariantType::UI4, out), ba::S_OK);
    EXPECT_EQ(out, Variant(std::uint32_t{0x7FFFFFFF}));
    EXPECT_EQ(Coerce(Variant(4294967296.0f), VariantType::UI4, out), ba::DISP_E_OVERFLOW);
    EXPECT_EQ(Coerce(Variant(2147483648.0f), VariantType::I4, out), ba::DISP_E_OVERFLOW);
    EXPECT_EQ(Coerce(Variant(-2147483648.0f), VariantType::I4, out), ba::S_OK);
    EXPECT_EQ(out, Variant(std::numeric_limits<std::int32_t>::min()));
}

TEST(VariantCoercion, R4ToIntegersRoundsHalfToEven) {
    const struct {
        float in;
        std::int16_t want;
    } cases[] = {{1.5f, 2}, {2.5f, 2}, {3.5f, 4}, {-1.5f, -2}, {-2.5f, -2}, {0.5f, 0},
                 {-0.5f, 0}, {1.4999f, 1}, {2.5001f, 3}, {32767.4f, 32767}, {-32768.5f, -32768}};
    for (const auto& c : cases) {
        Variant out;
        ASSERT_EQ(Coerce(Variant(c.in), VariantType::I2, out), ba::S_OK) << c.in;
        EXPECT_EQ(out, Variant(c.want)) << c.in;
    }
    Variant out;
    EXPECT_EQ(Coerce(Variant(32767.5f), VariantType::I2, out), ba::DISP_E_OVERFLOW) << "rounds to 32768";
    EXPECT_EQ(Coerce(Variant(-32768.6f), VariantType::I2, out), ba::DISP_E_OVERFLOW);
    EXPECT_EQ(Coerce(Variant(std::numeric_limits<float>::quiet_NaN()), VariantType::I2, out), ba::DISP_E_OVERFLOW);
    EXPECT_EQ(Coerce(Variant(std::numeric_limits<float>::infinity()), VariantType::I4, out), ba::DISP_E_OVERFLOW);
    EXPECT_EQ(Coerce(Variant(-0.4f), VariantType::UI4, out), ba::S_OK) << "rounds to zero first";
    EXPECT_EQ(out, Variant(std::uint32_t{0}));
    EXPECT_EQ(Coerce(Variant(-0.6f), VariantType::UI4, out), ba::DISP_E_OVERFLOW);
    EXPECT_EQ(Coerce(Variant(4.5f), VariantType::I4, out), ba::S_OK);
    EXPECT_EQ(out, Variant(std::int32_t{4}));

    EXPECT_EQ(ba::RoundHalfEven(-3.5), -4.0);
    EXPECT_EQ(ba::RoundHalfEven(6.5), 6.0);
}

TEST(VariantCoercion, NumbersToR4) {
    Variant out;
    EXPECT_EQ(Coerce(Variant(std::int16_t{-3}), VariantType::R4, out), ba::S_OK);
    EXPECT_EQ(out, Variant(-3.0f));
    EXPECT_EQ(Coerce(Variant(std::int32_t{16777216}), VariantType::R4, out), ba::S_OK);
    EXPECT_EQ(out, Variant(16777216.0f));
    EXPECT_EQ(Coerce(Variant(std::uint32_t{4294967295u}), VariantType::R4, out), ba::S_OK);
    EXPECT_EQ(out, Variant(4294967296.0f));
    EXPECT_EQ(Coerce(Variant(1.25f), VariantType::R4, out), ba::S_OK);
    EXPECT_EQ(out, Variant(1.25f));
}

TEST(VariantCoercion, TextAndEmpty) {
    Variant out(std::int16_t{9});
    EXPECT_EQ(Coerce(Variant(u"12"), VariantType::I2, out), ba::DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Coerce(Variant(u"12"), VariantType::I4, out), ba::DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Coerce(Variant(u"12"), VariantType::UI4, out), ba::DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Coerce(Variant(u"1.5"), VariantType::R4, out), ba::DISP_E_TYPEMISMATCH);
    EXPECT_EQ(out, Variant(std::int16_t{9}));
    for (VariantType t : {VariantType::I2, VariantType::I4, VariantType::UI4, VariantType::R4, VariantType::BSTR})
        EXPECT_EQ(Coerce(Variant(), t, out), ba::DISP_E_TYPEMISMATCH) << ba::TypeName(t);

    EXPECT_EQ(Coerce(Variant(u"MV1?"), VariantType::BSTR, out), ba::S_OK);
    EXPECT_EQ(out.Bstr(), u"MV1?");
    EXPECT_EQ(Coerce(Variant(std::int16_t{-32768}), VariantType::BSTR, out), ba::S_OK);
    EXPECT_EQ(out.Bstr(), u"-32768");
    EXPECT_EQ(Coerce(Variant(std::uint32_t{4294967295u}), VariantType::BSTR, out), ba::S_OK);
    EXPECT_EQ(out.Bstr(), u"4294967295");
    EXPECT_EQ(Coerce(Variant(2.5f), VariantType::BSTR, out), ba::S_OK);
    EXPECT_EQ(out.Bstr(), u"2.5") << "decimal point regardless of locale";
}

TEST(VariantValue, TypesAndAccessors) {
    EXPECT_EQ(Variant().Type(), VariantType::Empty);
    EXPECT_TRUE(Variant().IsEmpty());
    EXPECT_EQ(Variant(std::int16_t{1}).Type(), VariantType::I2);
    EXPECT_EQ(Variant(1).Type(), VariantType::I4);
    EXPECT_EQ(Variant(1u).Type(), VariantType::UI4);
    EXPECT_EQ(Variant(1.0f).Type(), VariantType::R4);
    EXPECT_EQ(Variant(u"x").Type(), VariantType::BSTR);
    EXPECT_EQ(static_cast<int>(VariantType::UI4), 19);
    EXPECT_EQ(static_cast<int>(VariantType::BSTR), 8);
    // Same number, different type: not the same value.
    EXPECT_NE(Variant(std::int16_t{1}), Variant(1));
    EXPECT_EQ(Variant(1).I2(), 0) << "wrong-type access reads zero";
}

TEST(VariantText, Utf8RoundTripAndReplacement) {
    const std::string utf8 = "A\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80";  // A ü € 😀
    const std::u16string wide = ba::Utf8ToUtf16(utf8);
    EXPECT_EQ(wide, (std::u16string{u'A', 0x00FC, 0x20AC, 0xD83D, 0xDE00}));
    EXPECT_EQ(ba::Utf16ToUtf8(wide), utf8);

    EXPECT_EQ(ba::Utf8ToUtf16("a\xFF" "b"), (std::u16string{u'a', 0xFFFD, u'b'}));
    EXPECT_EQ(ba::Utf8ToUtf16("\xC3"), (std::u16string{0xFFFD}));
    EXPECT_EQ(ba::Utf8ToUtf16("\xC0\xAF"), (std::u16string{0xFFFD, 0xFFFD})) << "overlong";
    EXPECT_EQ(ba::Utf8ToUtf16("\xE0\x80\xAF" "x"), (std::u16string{0xFFFD, u'x'}));
    EXPECT_EQ(ba::Utf8ToUtf16("\xED\xA0\x80"), (std::u16string{0xFFFD})) << "encoded surrogate";
    EXPECT_EQ(ba::Utf8ToUtf16("\xE2\x82" "x"), (std::u16string{0xFFFD, u'x'})) << "truncated";
    EXPECT_EQ(ba::Utf16ToUtf8(std::u16string{u'x', 0xD800, u'y'}), "x\xEF\xBF\xBDy");
    EXPECT_EQ(ba::Utf16ToUtf8(std::u16string{0xDC00}), "\xEF\xBF\xBD");
}

TEST(VariantText, Cp1252MapsTheWholeHighRange) {
    // The 0x80..0x9F row, typed from the code page chart.
    const char16_t row[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                              0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                              0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                              0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::u16string wide = ba::Cp1252ToUtf16(all);
    ASSERT_EQ(wide.size(), 256u);
    for (int b = 0; b < 256; ++b) {
        const char16_t want = b >= 0x80 && b <= 0x9F ? row[b - 0x80] : static_cast<char16_t>(b);
        EXPECT_EQ(wide[static_cast<std::size_t>(b)], want) << "byte " << b;
    }
    EXPECT_EQ(ba::Utf16ToCp1252(wide), all) << "every byte survives the round trip";
}

TEST(VariantText, Cp1252UnmappableBecomesQuestionMark) {
    const std::u16string text{u'a', 0x0100, 0x20AC, 0x4E2D, 0xD83D, 0xDE00, 0x00FF, 0xD800, u'z'};
    EXPECT_EQ(ba::Utf16ToCp1252(text), "a?\x80??\xFF?z");
    EXPECT_EQ(ba::Utf16ToCp1252(u"MV1?\r"), "MV1?\r");
    // C1 characters whose byte 1252 gives to another character are not held;
    // the five unassigned bytes are.
    EXPECT_EQ(ba::Utf16ToCp1252(std::u16string{0x0080, 0x0081, 0x008A, 0x009D, 0x009F}), "?\x81?\x9D?");
}
