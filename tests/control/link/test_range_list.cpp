#include "control/link/RangeList.h"

#include <gtest/gtest.h>

#include <climits>

namespace brimlink::link {
namespace {

void ExpectRange(std::string_view item, unsigned low, unsigned high)
{
    SCOPED_TRACE(std::string("item '") + std::string(item) + "'");
    const RangeItem range = ParseRangeItem(item);
    EXPECT_TRUE(range.valid);
    EXPECT_EQ(range.low, low);
    EXPECT_EQ(range.high, high);
}

TEST(RangeListParse, SidesTakeEachOthersValueAndSwap)
{
    ExpectRange("5", 5, 5);
    ExpectRange("-7", 7, 7);
    ExpectRange("7-", 7, 7);
    ExpectRange("9-3", 3, 9);
    ExpectRange(" 12 -\t14 ", 12, 14);
    ExpectRange("5x-9y", 5, 9);
    ExpectRange("x-4", 4, 4);
    // Split at the first dash only: the right side "4-5" reads as 4.
    ExpectRange("3-4-5", 3, 4);
    ExpectRange("007", 7, 7);
}

TEST(RangeListParse, ItemsWithoutANumberAreInvalid)
{
    for (std::string_view item : {"x", "0", "0-0", "", " ", "-", "a5", "abc-def", "+3", " - "}) {
        SCOPED_TRACE(std::string("item '") + std::string(item) + "'");
        EXPECT_FALSE(ParseRangeItem(item).valid);
    }
}

TEST(RangeListParse, HugeNumbersSaturate)
{
    ExpectRange("4294967295", UINT_MAX, UINT_MAX);
    ExpectRange("4294967296", UINT_MAX, UINT_MAX);
    ExpectRange("99999999999999999999999999", UINT_MAX, UINT_MAX);
    ExpectRange("1-99999999999999999999", 1, UINT_MAX);
    ExpectRange("4294967294", 4294967294u, 4294967294u);
}

TEST(RangeListNormalise, RewritesValidItemsInOrder)
{
    EXPECT_EQ(NormaliseRangeList(" 3 , 7-5,abc, 12"), "3,5-7,12");
    EXPECT_EQ(NormaliseRangeList("1-255"), "1-255");
    EXPECT_EQ(NormaliseRangeList("12,3,5-5"), "12,3,5");
    EXPECT_EQ(NormaliseRangeList("-7,9-3"), "7,3-9");
    EXPECT_EQ(NormaliseRangeList("99999999999"), "4294967295");
    EXPECT_EQ(NormaliseRangeList("0,x,,0-0, "), "");
    EXPECT_EQ(NormaliseRangeList(""), "");
    EXPECT_EQ(NormaliseRangeList(",4,"), "4");
}

TEST(RangeListTable, ApplyKeepsInsideComOneToTwoFiftyFive)
{
    ComPortSearchTable table;
    table.Apply("250-300", true, true);
    EXPECT_EQ(table.CountEnabled(), 6);
    EXPECT_FALSE(table.Enabled(249));
    EXPECT_TRUE(table.Enabled(250));
    EXPECT_TRUE(table.Enabled(255));
    EXPECT_FALSE(table.Enabled(256));
    EXPECT_FALSE(table.Enabled(0));

    table.Apply("256-400,99999999999,0,x", true, true);
    EXPECT_EQ(table.CountEnabled(), 0);

    table.Apply("1-4294967295", true, true);
    EXPECT_EQ(table.CountEnabled(), 255);
    EXPECT_TRUE(table.Enabled(1));
}

TEST(RangeListTable, ApplyClearsFirstOnlyWhenAsked)
{
    ComPortSearchTable table;
    table.Apply("1-3", true, true);
    table.Apply("10", true, false);
    EXPECT_EQ(table.CountEnabled(), 4);
    table.Apply("2", false, false);
    EXPECT_EQ(table.CountEnabled(), 3);
    EXPECT_FALSE(table.Enabled(2));
    table.Apply("20", true, true);
    EXPECT_EQ(table.CountEnabled(), 1);
    EXPECT_TRUE(table.Enabled(20));
    table.Clear();
    EXPECT_EQ(table.CountEnabled(), 0);
}

TEST(RangeListTable, BuildSearchesLessExcluded)
{
    ComPortSearchTable table;
    table.Build(true, "1-255", "");
    EXPECT_EQ(table.CountEnabled(), 255);

    table.Build(true, "1-10", "3,5-6");
    EXPECT_EQ(table.CountEnabled(), 7);
    EXPECT_TRUE(table.Enabled(4));
    EXPECT_FALSE(table.Enabled(5));
    EXPECT_FALSE(table.Enabled(11));

    // Each case starts from a full table, so a missing clear would show.
    table.Build(true, "1-255", "");
    table.Build(true, "", "");
    EXPECT_EQ(table.CountEnabled(), 0);

    table.Build(true, "1-255", "");
    table.Build(true, "1-255", "1-255");
    EXPECT_EQ(table.CountEnabled(), 0);

    table.Build(true, "1-255", "");
    table.Build(false, "1-255", "");
    EXPECT_EQ(table.CountEnabled(), 0);
}

}  // namespace
}  // namespace brimlink::link
