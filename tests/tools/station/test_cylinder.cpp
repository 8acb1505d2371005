#include <gtest/gtest.h>

#include "tools/station/Cylinder.h"
#include "tools/station/HandlingStation.h"
#include "tools/station/StackMagazine.h"

namespace brimlink::station {
namespace {

using D = Cylinder::Drive;

// Every end switch edge, at several speed factors: the switch that was on goes
// off on the first millisecond of travel, the other comes on exactly at the
// scaled travel time and not a millisecond earlier.
TEST(Cylinder, EndSwitchEdgesAtTheScaledTravelTime) {
  struct Case {
    double factor;
    int64_t travelMs;
  };
  for (Case c : {Case{1.0, 500}, Case{2.0, 250}, Case{0.5, 1000}, Case{3.0, 167}, Case{1e9, 1}}) {
    SCOPED_TRACE(c.factor);
    Millis travel;
    ASSERT_TRUE(Cylinder::ScaledTravelTime(kDefaultTravelTime, c.factor, travel));
    ASSERT_EQ(travel.count(), c.travelMs);
    Cylinder cylinder(travel);
    EXPECT_TRUE(cylinder.Retracted());
    EXPECT_FALSE(cylinder.Extended());
    for (D drive : {D::Extend, D::Retract}) {
      const bool out = drive == D::Extend;
      cylinder.Advance(Millis(1), drive, false);
      EXPECT_EQ(cylinder.Retracted(), !out && c.travelMs == 1);
      EXPECT_EQ(cylinder.Extended(), out && c.travelMs == 1);
      if (c.travelMs > 1) {
        cylinder.Advance(Millis(c.travelMs - 2), drive, false);
        EXPECT_FALSE(cylinder.Retracted());
        EXPECT_FALSE(cylinder.Extended());
        cylinder.Advance(Millis(1), drive, false);
      }
      EXPECT_EQ(cylinder.Extended(), out);
      EXPECT_EQ(cylinder.Retracted(), !out);
      cylinder.Advance(Millis(1000), drive, false);  // pressing on at the end changes nothing
      EXPECT_EQ(cylinder.Extended(), out);
    }
  }
}

TEST(Cylinder, RefusesSpeedFactorsThatAreNotPositive) {
  Millis travel{123};
  for (double factor : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()})
    EXPECT_FALSE(Cylinder::ScaledTravelTime(kDefaultTravelTime, factor, travel));
  EXPECT_EQ(travel, Millis(123));
  StackMagazine magazine;
  EXPECT_FALSE(magazine.SetSpeedFactor(0.0));
  EXPECT_EQ(magazine.Push().TravelTime(), kDefaultTravelTime);
}

TEST(Cylinder, HoldKeepsThePistonWhereItIs) {
  Cylinder cylinder(Millis(100));
  cylinder.Advance(Millis(40), D::Extend, false);
  cylinder.Advance(Millis(500), D::Hold, false);
  EXPECT_DOUBLE_EQ(cylinder.Position(), 0.4);
}

TEST(Cylinder, AJammedCylinderStopsHalfwayFromEitherSideAndMovesOnWhenFreed) {
  Cylinder cylinder(Millis(100));
  cylinder.Advance(Millis(1000), D::Extend, true);
  EXPECT_DOUBLE_EQ(cylinder.Position(), 0.5);
  cylinder.Advance(Millis(1000), D::Retract, true);
  EXPECT_DOUBLE_EQ(cylinder.Position(), 0.5);
  EXPECT_FALSE(cylinder.Retracted() || cylinder.Extended());
  cylinder.Advance(Millis(50), D::Extend, false);
  EXPECT_TRUE(cylinder.Extended());
  cylinder.Advance(Millis(1000), D::Retract, true);
  EXPECT_DOUBLE_EQ(cylinder.Position(), 0.5);
}

TEST(Cylinder, ChangingTheTravelTimeKeepsEndsAndTheFractionOfTheStroke) {
  Cylinder cylinder(Millis(500));
  cylinder.Advance(Millis(500), D::Extend, false);
  cylinder.SetTravelTime(Millis(250));
  EXPECT_TRUE(cylinder.Extended());
  cylinder.Advance(Millis(125), D::Retract, false);
  cylinder.SetTravelTime(Millis(1000));
  EXPECT_DOUBLE_EQ(cylinder.Position(), 0.5);
  cylinder.Advance(Millis(499), D::Retract, false);
  EXPECT_FALSE(cylinder.Retracted());
  cylinder.Advance(Millis(1), D::Retract, false);
  EXPECT_TRUE(cylinder.Retracted());
}

// The speed factor reaches every cylinder of a station.
TEST(Cylinder, SpeedFactorScalesTheStationsCylinders) {
  HandlingStation handling;
  ASSERT_TRUE(handling.SetSpeedFactor(4.0));
  handling.SetOutputs(0b0101);  // both out
  handling.Advance(Millis(124));
  EXPECT_EQ(handling.Inputs(), 0);
  handling.Advance(Millis(1));
  EXPECT_EQ(handling.Inputs(), 0b1010);
}

}  // namespace
}  // namespace brimlink::station
