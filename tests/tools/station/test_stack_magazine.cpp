#include <gtest/gtest.h>

#include "tools/station/StackMagazine.h"

namespace brimlink::station {
namespace {

constexpr int kPushOut = 1, kPushIn = 2, kPress = 4;

void Stroke(StackMagazine& magazine) {
  magazine.SetOutputs(kPushOut);
  magazine.Advance(kDefaultTravelTime);
  magazine.SetOutputs(kPushIn);
  magazine.Advance(kDefaultTravelTime);
}

// The bistable valve changes only with exactly one of its coils on.
TEST(StackMagazine, PushValveKeepsItsPositionWithNeitherOrBothOutputs) {
  struct Step {
    uint16_t outputs;
    bool extendedAfter;
  };
  const Step steps[] = {{0, false},       {kPushOut | kPushIn, false}, {kPushOut, true}, {0, true},
                        {kPushOut | kPushIn, true}, {kPushIn, false},  {0, false}};
  StackMagazine magazine;
  for (const Step& step : steps) {
    magazine.SetOutputs(step.outputs);
    magazine.Advance(Millis(600));
    EXPECT_EQ(magazine.Push().Extended(), step.extendedAfter) << step.outputs;
    EXPECT_EQ(magazine.Push().Retracted(), !step.extendedAfter) << step.outputs;
  }
}

// The pressing cylinder's switch is the only input: on only while it is fully out.
TEST(StackMagazine, InputZeroOnlyWhileThePressingCylinderIsFullyOut) {
  StackMagazine magazine;
  EXPECT_EQ(magazine.Inputs(), 0);
  magazine.SetOutputs(kPress | kPushOut);  // the push cylinder never lights the input
  magazine.Advance(Millis(499));
  EXPECT_EQ(magazine.Inputs(), 0);
  magazine.Advance(Millis(1));
  EXPECT_EQ(magazine.Inputs(), 1);
  magazine.SetOutputs(kPushOut);  // monostable: the spring takes it back at once
  magazine.Advance(Millis(1));
  EXPECT_EQ(magazine.Inputs(), 0);
  magazine.Advance(Millis(499));
  EXPECT_TRUE(magazine.Press().Retracted());
}

TEST(StackMagazine, EachStrokePushesTheLowestPartOnAndThePartsAboveDrop) {
  StackMagazine magazine({Material::Metal, Material::Plastic, Material::Metal});
  magazine.SetOutputs(kPushOut);
  magazine.Advance(Millis(499));
  EXPECT_EQ(magazine.AllParts().Count(Location::Plate), 0);
  magazine.Advance(Millis(1));
  EXPECT_EQ(magazine.Describe(),
            "part #1 (metal): on the plate\npart #2 (plastic): in the magazine\npart #3 (metal): in the magazine\n");
  magazine.Advance(Millis(1000));  // staying out pushes nothing more
  magazine.SetOutputs(0);
  magazine.Advance(Millis(1000));
  EXPECT_EQ(magazine.AllParts().Count(Location::Magazine), 2);

  magazine.SetOutputs(kPushIn);
  magazine.Advance(kDefaultTravelTime);
  Stroke(magazine);  // the second part shoves the first off the plate
  EXPECT_EQ(magazine.Describe(),
            "part #1 (metal): at the end\npart #2 (plastic): on the plate\npart #3 (metal): in the magazine\n");
  Stroke(magazine);
  Stroke(magazine);  // an empty magazine delivers nothing
  EXPECT_EQ(magazine.AllParts().Count(Location::Plate), 1);
  EXPECT_EQ(magazine.AllParts().Count(Location::End), 2);
}

TEST(StackMagazine, PressingMarksThePartOnThePlate) {
  StackMagazine magazine;
  Stroke(magazine);
  magazine.SetOutputs(kPress);
  magazine.Advance(kDefaultTravelTime);
  EXPECT_NE(magazine.Describe().find("part #1 (metal): on the plate, lid pressed\n"), std::string::npos);
}

TEST(StackMagazine, FaultsAndClearingThem) {
  StackMagazine magazine;
  magazine.SetFaults({.partMissing = true});
  Stroke(magazine);
  EXPECT_EQ(magazine.AllParts().Count(Location::Magazine), 4);
  magazine.ClearFaults();
  Stroke(magazine);
  EXPECT_EQ(magazine.AllParts().Count(Location::Plate), 1);

  // Without air the push cylinder stays where it is and the press springs back.
  magazine.SetOutputs(kPress | kPushOut);
  magazine.Advance(Millis(250));
  magazine.SetFaults({.noAir = true});
  magazine.Advance(Millis(1000));
  EXPECT_DOUBLE_EQ(magazine.Push().Position(), 0.5);
  EXPECT_TRUE(magazine.Press().Retracted());
  magazine.ClearFaults();
  magazine.Advance(Millis(500));
  EXPECT_TRUE(magazine.Push().Extended());
  EXPECT_EQ(magazine.Inputs(), 1);

  magazine.SetFaults({.stuckOff = 1});
  EXPECT_EQ(magazine.Inputs(), 0);
  magazine.SetOutputs(kPushIn);
  magazine.SetFaults({.stuckOn = 1, .jammed = 2});
  magazine.Advance(Millis(1000));
  EXPECT_EQ(magazine.Inputs(), 1);
  EXPECT_DOUBLE_EQ(magazine.Press().Position(), 0.5);  // jammed on its way back
  magazine.ClearFaults();
  EXPECT_EQ(magazine.Inputs(), 0);
  magazine.Advance(Millis(250));
  EXPECT_TRUE(magazine.Press().Retracted());
}

TEST(StackMagazine, ResetBringsBackTheStackAndTheRestPosition) {
  StackMagazine magazine;
  Stroke(magazine);
  Stroke(magazine);
  magazine.SetOutputs(kPress | kPushOut);
  magazine.Advance(Millis(200));
  magazine.Reset();
  EXPECT_EQ(magazine.AllParts().Count(Location::Magazine), 4);
  EXPECT_TRUE(magazine.Push().Retracted());
  EXPECT_TRUE(magazine.Press().Retracted());
  magazine.Advance(Millis(1000));  // the outputs were forgotten too
  EXPECT_TRUE(magazine.Push().Retracted());
  EXPECT_EQ(magazine.Inputs(), 0);
}

}  // namespace
}  // namespace brimlink::station
