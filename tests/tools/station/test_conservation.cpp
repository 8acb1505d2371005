#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "tools/station/CombinedStation.h"
#include "tools/station/StackMagazine.h"

namespace brimlink::station {
namespace {

// Random outputs, step lengths, faults and parts put on, seeded. After every
// step each part is in exactly one place (the counts over all places add up to
// the parts put in), the gripper never holds more than one, and the ids stay
// the ones handed out.
TEST(Conservation, PartsAreNeverLostOrDuplicatedUnderRandomOutputs) {
  enum Kind { Magazine, Belt, Handling, Combined };
  for (Kind kind : {Magazine, Belt, Handling, Combined}) {
    for (uint32_t seed : {1u, 2u, 3u}) {
      SCOPED_TRACE(testing::Message() << "station " << kind << " seed " << seed);
      std::unique_ptr<Station> station;
      Conveyor* conveyor = nullptr;
      CombinedStation* combined = nullptr;
      switch (kind) {
        case Magazine: station = std::make_unique<StackMagazine>(); break;
        case Belt: {
          auto belt = std::make_unique<Conveyor>();
          conveyor = belt.get();
          station = std::move(belt);
          break;
        }
        case Handling: station = std::make_unique<HandlingStation>(nullptr, 3); break;
        case Combined: {
          auto both = std::make_unique<CombinedStation>();
          combined = both.get();
          station = std::move(both);
          break;
        }
      }
      int expected = station->AllParts().Total();
      std::mt19937 random(seed);
      for (int step = 0; step < 5000; ++step) {
        station->SetOutputs(static_cast<uint16_t>(random() & 0xFF));
        if (random() % 50 == 0) {
          Faults faults;
          faults.noAir = random() % 2;
          faults.jammed = static_cast<uint8_t>(random() % 4);
          faults.partMissing = random() % 2;
          station->SetFaults(random() % 3 ? Faults{} : faults);
        }
        if (random() % 20 == 0) {
          const Material material = random() % 2 ? Material::Metal : Material::Plastic;
          if (conveyor) conveyor->PutPart(material), ++expected;
          if (combined) combined->PutPart(material), ++expected;
        }
        station->Advance(Millis(random() % 400));
        const Parts& parts = station->AllParts();
        int counted = 0;
        for (Location location : kAllLocations) counted += parts.Count(location);
        ASSERT_EQ(counted, expected) << "step " << step;
        ASSERT_EQ(parts.Total(), expected);
        ASSERT_LE(parts.Count(Location::Gripper), 1);
        for (int i = 0; i < parts.Total(); ++i) ASSERT_EQ(parts.All()[i].id, i + 1);
      }
    }
  }
}

// The same calls give the same story: nothing depends on a clock.
TEST(Conservation, TheModelIsDeterministic) {
  auto run = [] {
    CombinedStation station;
    station.FeedEvery(Millis(700), {Material::Metal, Material::Plastic});
    std::mt19937 random(42);
    std::string story;
    for (int step = 0; step < 2000; ++step) {
      station.SetOutputs(static_cast<uint16_t>(random() & 0xFF));
      station.Advance(Millis(random() % 300));
      story += std::to_string(station.Inputs()) + ',';
    }
    return story + station.Describe();
  };
  const std::string first = run();
  EXPECT_EQ(first, run());
  EXPECT_NE(first.find("part #1 "), std::string::npos);
}

}  // namespace
}  // namespace brimlink::station
