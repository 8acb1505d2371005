#include <gtest/gtest.h>

#include <vector>

#include "tools/station/Conveyor.h"

namespace brimlink::station {
namespace {

constexpr int kStopper = 1, kMotor = 2, kRelay = 4;
constexpr int kInductive = 1, kOptical = 2;

// Runs the belt forward one millisecond at a time and records every input
// word it shows, without repeats.
std::vector<uint16_t> InputsSeenWhileRunning(Conveyor& conveyor, uint16_t outputs, Millis total) {
  std::vector<uint16_t> seen{conveyor.Inputs()};
  conveyor.SetOutputs(outputs);
  for (Millis t{0}; t < total; t += Millis(1)) {
    conveyor.Advance(Millis(1));
    if (conveyor.Inputs() != seen.back()) seen.push_back(conveyor.Inputs());
  }
  return seen;
}

TEST(Conveyor, MetalIsSeenByBothSensorsPlasticByTheOpticalOnly) {
  struct Case {
    Material material;
    std::vector<uint16_t> expected;
  };
  for (const Case& c : {Case{Material::Metal, {0, kOptical, 0, kInductive, 0}},
                        Case{Material::Plastic, {0, kOptical, 0}}}) {
    SCOPED_TRACE(ToString(c.material));
    Conveyor conveyor;
    conveyor.PutPart(c.material);
    EXPECT_EQ(InputsSeenWhileRunning(conveyor, kMotor, Millis(10000)), c.expected);
    EXPECT_EQ(conveyor.AllParts().Count(Location::End), 1);
  }
}

TEST(Conveyor, SensorsSwitchAtTheEdgesOfThePart) {
  Conveyor conveyor;
  const BeltLayout& layout = conveyor.Layout();
  conveyor.PutPart(Material::Metal);
  conveyor.SetOutputs(kMotor);
  // The part's centre reaches the optical sensor's field at opticalUm - width/2.
  const int64_t toOptical = (layout.opticalUm - layout.partWidthUm / 2 - layout.startUm) / layout.speedUmPerMs;
  conveyor.Advance(Millis(toOptical - 1));
  EXPECT_EQ(conveyor.Inputs(), 0);
  conveyor.Advance(Millis(1));
  EXPECT_EQ(conveyor.Inputs(), kOptical);
  conveyor.Advance(Millis(layout.partWidthUm / layout.speedUmPerMs));
  EXPECT_EQ(conveyor.Inputs(), kOptical);
  conveyor.Advance(Millis(1));
  EXPECT_EQ(conveyor.Inputs(), 0);
}

TEST(Conveyor, TheBeltMovesOnlyWithTheMotorAndTheRelayReversesIt) {
  Conveyor conveyor;
  conveyor.PutPart(Material::Plastic);
  const auto position = [&] { return conveyor.AllParts().All().front().beltPositionUm; };
  struct Step {
    uint16_t outputs;
    int64_t expectedUm;
  };
  const Step steps[] = {
      {0, 20000},           {kRelay, 20000},  {kStopper, 20000}, {kMotor, 120000},
      {kMotor | kRelay, 20000}, {kMotor | kRelay, 20000},  // the guard at the start holds it
      {kMotor | kStopper, 120000},
  };
  for (const Step& step : steps) {
    conveyor.SetOutputs(step.outputs);
    conveyor.Advance(Millis(1000));
    EXPECT_EQ(position(), step.expectedUm) << step.outputs;
  }
}

TEST(Conveyor, TheStopperSortsOffToTheChuteOnlyWhatItMeetsWhileClosed) {
  Conveyor conveyor;
  const int first = conveyor.PutPart(Material::Metal);
  conveyor.SetOutputs(kMotor | kStopper);
  conveyor.Advance(Millis(2000));  // 20 mm + 200 mm: short of the gate
  const int second = conveyor.PutPart(Material::Plastic);
  conveyor.Advance(Millis(2000));  // the first meets the gate
  conveyor.SetOutputs(kMotor);     // open before the second gets there
  conveyor.Advance(Millis(5000));
  const auto& parts = conveyor.AllParts().All();
  EXPECT_EQ(parts[first - 1].location, Location::Chute);
  EXPECT_EQ(parts[second - 1].location, Location::End);
  EXPECT_EQ(conveyor.Describe(), "part #1 (metal): on the chute\npart #2 (plastic): at the end\n");
}

TEST(Conveyor, FeedsPartsAtAnIntervalInTheGivenCycle) {
  Conveyor conveyor;
  conveyor.FeedEvery(Millis(1000), {Material::Metal, Material::Plastic, Material::Plastic});
  conveyor.Advance(Millis(999));
  EXPECT_EQ(conveyor.AllParts().Total(), 0);
  conveyor.Advance(Millis(4001));
  ASSERT_EQ(conveyor.AllParts().Total(), 5);
  std::vector<Material> materials;
  for (const Part& part : conveyor.AllParts().All()) materials.push_back(part.material);
  EXPECT_EQ(materials, (std::vector<Material>{Material::Metal, Material::Plastic, Material::Plastic, Material::Metal,
                                              Material::Plastic}));
  conveyor.FeedEvery(Millis(1000), {});
  conveyor.Advance(Millis(5000));
  EXPECT_EQ(conveyor.AllParts().Total(), 5);
}

TEST(Conveyor, StuckSensorsAndClearingThem) {
  Conveyor conveyor;
  conveyor.SetFaults({.stuckOn = kInductive});
  EXPECT_EQ(conveyor.Inputs(), kInductive);
  conveyor.PutPart(Material::Plastic);
  conveyor.SetOutputs(kMotor);
  conveyor.Advance(Millis(600));  // the part stands at the optical sensor
  EXPECT_EQ(conveyor.Inputs(), kInductive | kOptical);
  conveyor.SetFaults({.stuckOff = kOptical});
  EXPECT_EQ(conveyor.Inputs(), 0);
  conveyor.ClearFaults();
  EXPECT_EQ(conveyor.Inputs(), kOptical);
  conveyor.SetFaults({.noAir = true});  // the belt needs no air
  conveyor.Advance(Millis(1000));
  EXPECT_EQ(conveyor.AllParts().All().front().beltPositionUm, 180000);
}

TEST(Conveyor, ResetEmptiesTheBeltAndStopsIt) {
  Conveyor conveyor;
  conveyor.PutPart(Material::Metal);
  conveyor.SetOutputs(kMotor);
  conveyor.Reset();
  EXPECT_EQ(conveyor.Describe(), "no parts\n");
  conveyor.PutPart(Material::Metal);
  conveyor.Advance(Millis(1000));
  EXPECT_EQ(conveyor.AllParts().All().front().beltPositionUm, conveyor.Layout().startUm);
  EXPECT_EQ(conveyor.AllParts().All().front().id, 1);
}

}  // namespace
}  // namespace brimlink::station
