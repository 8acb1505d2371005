#include <gtest/gtest.h>

#include "tools/station/HandlingStation.h"

namespace brimlink::station {
namespace {

constexpr int kFront = 1, kBack = 2, kDown = 4, kUp = 8, kGrip = 16;
constexpr int kAtBack = 1, kAtFront = 2, kIsUp = 4, kIsDown = 8;

TEST(HandlingStation, AtRestBothCylindersAreIn) {
  HandlingStation handling;
  EXPECT_EQ(handling.Inputs(), 5);
  handling.Advance(Millis(5000));
  EXPECT_EQ(handling.Inputs(), 5);
  EXPECT_EQ(handling.Describe(), "part #1 (metal): at the end\n");
}

// Each valve output, and the valves keeping their place with neither or both
// coils on; the inputs after each step are the whole truth table of the switches.
TEST(HandlingStation, EachOutputMovesItsCylinderAndTheValvesHoldTheirPlace) {
  struct Step {
    uint16_t outputs;
    uint16_t inputsAfter;
  };
  const Step steps[] = {
      {kFront, kAtFront | kIsUp},         {0, kAtFront | kIsUp},
      {kFront | kBack, kAtFront | kIsUp}, {kDown, kAtFront | kIsDown},
      {kDown | kUp, kAtFront | kIsDown},  {kBack, kAtBack | kIsDown},
      {kUp | kGrip, kAtBack | kIsUp},     {kBack | kUp, kAtBack | kIsUp},
  };
  HandlingStation handling;
  for (const Step& step : steps) {
    handling.SetOutputs(step.outputs);
    handling.Advance(kDefaultTravelTime);
    EXPECT_EQ(handling.Inputs(), step.inputsAfter) << step.outputs;
  }
}

TEST(HandlingStation, SwitchesLeaveAtOnceAndArriveAtTheTravelTime) {
  HandlingStation handling;
  handling.SetOutputs(kFront | kDown);
  handling.Advance(Millis(1));
  EXPECT_EQ(handling.Inputs(), 0);
  handling.Advance(Millis(498));
  EXPECT_EQ(handling.Inputs(), 0);
  handling.Advance(Millis(1));
  EXPECT_EQ(handling.Inputs(), kAtFront | kIsDown);
}

TEST(HandlingStation, TheGripperTakesAPartOnlyWhenDownAndClosing) {
  struct Case {
    const char* what;
    uint16_t before;  // outputs before closing, held for a full travel time
    bool takes;
  };
  const Case cases[] = {
      {"up at the front", kFront, false},
      {"down at the back, nothing there", kDown, false},
      {"down at the front", kFront | kDown, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HandlingStation handling;
    handling.SetOutputs(c.before);
    handling.Advance(kDefaultTravelTime);
    handling.SetOutputs(c.before | kGrip);
    EXPECT_TRUE(handling.GripperClosed());
    EXPECT_EQ(handling.AllParts().Count(Location::Gripper), c.takes ? 1 : 0);
  }
  // Closed before it comes down: the fingers are shut and take nothing.
  HandlingStation handling;
  handling.SetOutputs(kFront | kGrip);
  handling.Advance(kDefaultTravelTime);
  handling.SetOutputs(kFront | kDown | kGrip);
  handling.Advance(kDefaultTravelTime);
  EXPECT_EQ(handling.AllParts().Count(Location::Gripper), 0);
}

TEST(HandlingStation, CarriesAPartFromTheFrontToThePlate) {
  HandlingStation handling;
  const uint16_t sequence[] = {kFront, kFront | kDown, kDown | kGrip, kUp | kGrip, kBack | kGrip, kDown | kGrip, kDown};
  for (uint16_t outputs : sequence) {
    handling.SetOutputs(outputs);
    handling.Advance(kDefaultTravelTime);
    if (outputs == (kUp | kGrip)) {
      EXPECT_EQ(handling.Describe(), "part #1 (metal): in the gripper\n");
    }
  }
  EXPECT_EQ(handling.Describe(), "part #1 (metal): on the plate\n");
}

TEST(HandlingStation, WithoutAirNothingMovesAndTheGripperDropsItsPartBelow) {
  HandlingStation handling;
  for (uint16_t outputs : {kFront, kFront | kDown, kGrip, kUp | kGrip, kBack | kGrip}) {
    handling.SetOutputs(outputs);
    handling.Advance(outputs == (kBack | kGrip) ? Millis(300) : kDefaultTravelTime);
  }
  ASSERT_EQ(handling.AllParts().Count(Location::Gripper), 1);
  handling.SetFaults({.noAir = true});
  EXPECT_FALSE(handling.GripperClosed());
  EXPECT_EQ(handling.Describe(), "part #1 (metal): on the plate\n");  // nearer the back
  const double where = handling.Horizontal().Position();
  handling.Advance(Millis(1000));
  EXPECT_DOUBLE_EQ(handling.Horizontal().Position(), where);
  EXPECT_TRUE(handling.Vertical().Retracted());
  handling.ClearFaults();  // air back: the gripper closes, empty, and the move goes on
  EXPECT_TRUE(handling.GripperClosed());
  handling.Advance(Millis(200));
  EXPECT_EQ(handling.Inputs(), kAtBack | kIsUp);
}

TEST(HandlingStation, JamsAndStuckSwitchesAndClearingThem) {
  HandlingStation handling;
  handling.SetFaults({.jammed = 1});
  handling.SetOutputs(kFront | kDown);
  handling.Advance(Millis(1000));
  EXPECT_EQ(handling.Inputs(), kIsDown);  // horizontal stuck between its switches
  handling.SetFaults({.stuckOn = kAtBack, .stuckOff = kIsDown, .jammed = 2});
  handling.SetOutputs(kFront | kUp);
  handling.Advance(Millis(1000));
  EXPECT_EQ(handling.Inputs(), kAtBack | kAtFront);
  EXPECT_DOUBLE_EQ(handling.Vertical().Position(), 0.5);
  handling.ClearFaults();
  handling.Advance(Millis(250));
  EXPECT_EQ(handling.Inputs(), kAtFront | kIsUp);
}

TEST(HandlingStation, ResetPutsThePartBackAndTheCylindersIn) {
  HandlingStation handling;
  for (uint16_t outputs : {kFront, kFront | kDown, kGrip}) {
    handling.SetOutputs(outputs);
    handling.Advance(kDefaultTravelTime);
  }
  handling.Reset();
  EXPECT_EQ(handling.Inputs(), 5);
  EXPECT_FALSE(handling.GripperClosed());
  EXPECT_EQ(handling.Describe(), "part #1 (metal): at the end\n");
}

}  // namespace
}  // namespace brimlink::station
