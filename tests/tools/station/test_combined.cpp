#include <gtest/gtest.h>

#include "tools/station/CombinedStation.h"

namespace brimlink::station {
namespace {

// Conveyor on outputs 0-2 / inputs 0-1, handling on outputs 3-7 / inputs 3-6.
constexpr int kStopper = 1, kMotor = 2, kFront = 8, kBack = 16, kDown = 32, kUp = 64, kGrip = 128;
constexpr int kOptical = 2, kAtBack = 8, kAtFront = 16, kIsUp = 32, kIsDown = 64;

TEST(CombinedStation, RestsWithTheHandlingSwitchesInTheirPlaces) {
  CombinedStation station;
  EXPECT_EQ(station.Inputs(), kAtBack | kIsUp);
  EXPECT_EQ(station.Describe(), "no parts\n");
}

// Each output bit reaches the right actuator and each sensor the right input bit.
TEST(CombinedStation, Wiring) {
  struct Step {
    uint16_t outputs;
    Millis run;
    uint16_t inputsAfter;
  };
  const Step steps[] = {
      {kMotor, Millis(600), kOptical | kAtBack | kIsUp},  // the plastic part reaches the optical sensor
      {kFront, Millis(500), kOptical | kAtFront | kIsUp},
      {kDown, Millis(500), kOptical | kAtFront | kIsDown},
      {kBack | kUp, Millis(500), kOptical | kAtBack | kIsUp},
      {kMotor | kStopper, Millis(3800), kAtBack | kIsUp},  // sorted off before the end
  };
  CombinedStation station;
  station.PutPart(Material::Plastic);
  for (const Step& step : steps) {
    station.SetOutputs(step.outputs);
    station.Advance(step.run);
    EXPECT_EQ(station.Inputs(), step.inputsAfter) << step.outputs;
  }
  EXPECT_EQ(station.Describe(), "part #1 (plastic): on the chute\n");
}

TEST(CombinedStation, TheGripperLiftsAPartFromTheEndOfTheBeltOntoThePlate) {
  CombinedStation station;
  station.PutPart(Material::Metal);
  const uint16_t sequence[] = {kMotor | kFront, kMotor | kDown, kGrip, kUp | kGrip, kBack | kGrip, kDown | kGrip, kUp};
  for (uint16_t outputs : sequence) {
    station.SetOutputs(outputs);
    station.Advance(outputs == (kMotor | kFront) ? Millis(5000) : kDefaultTravelTime);
  }
  EXPECT_EQ(station.Describe(), "part #1 (metal): on the plate\n");
}

TEST(CombinedStation, FaultsUseTheModulesNumberingAndAirConcernsOnlyTheHandling) {
  CombinedStation station;
  station.PutPart(Material::Metal);
  station.SetFaults({.stuckOn = 0x84, .stuckOff = kAtBack, .noAir = true, .jammed = 0});
  EXPECT_EQ(station.Inputs(), 0x84 | kIsUp);  // spare inputs too, as a stuck wire would
  station.SetOutputs(kMotor | kFront);
  station.Advance(Millis(1000));
  EXPECT_EQ(station.AllParts().All().front().beltPositionUm, 120000);
  EXPECT_TRUE(station.Handling().Horizontal().Retracted());
  station.SetFaults({.jammed = 1});
  station.Advance(Millis(500));
  EXPECT_DOUBLE_EQ(station.Handling().Horizontal().Position(), 0.5);
  EXPECT_EQ(station.Inputs(), kIsUp);
  station.ClearFaults();
  station.Advance(Millis(250));
  EXPECT_EQ(station.Inputs(), kAtFront | kIsUp);
  station.Reset();
  EXPECT_EQ(station.Inputs(), kAtBack | kIsUp);
  EXPECT_EQ(station.AllParts().Total(), 0);
}

}  // namespace
}  // namespace brimlink::station
