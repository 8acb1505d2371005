// Each station's film cycle on its model in simulated time: it keeps making
// progress, never loses or invents a part, does what the station is for
// (presses every part, sorts metal from plastic, carries the part), and the
// magazine's cycle ends when it is empty and starts again full.
#include <gtest/gtest.h>

#include <set>

#include "tools/station/CombinedStation.h"
#include "tools/station/Conveyor.h"
#include "tools/station/HandlingStation.h"
#include "tools/station/StackMagazine.h"
#include "tools/station_view/StationCycle.h"

namespace brimlink::stationview {
namespace {

using station::Location;
using station::Material;
using station::Millis;

// Runs `seconds` of film in frames of `frame`, calling `check` after each.
template <typename Check>
void PlayFilm(StationCycle& cycle, int seconds, Millis frame, Check check) {
  for (Millis t{0}; t < Millis(seconds * 1000); t += frame) {
    cycle.Advance(frame);
    check();
  }
}

TEST(StationCycle, TheMagazineIsEmptiedPartByPartPressingEachAndThenStartsAgainFull) {
  station::StackMagazine magazine;
  StationCycle cycle(magazine, StationKind::Stack);
  std::vector<int> inMagazine;  // each change of the count, in order
  std::set<uint16_t> outputs;
  PlayFilm(cycle, 60, Millis(16), [&] {
    ASSERT_EQ(magazine.AllParts().Total(), 4);
    const int count = magazine.AllParts().Count(Location::Magazine);
    if (inMagazine.empty() || inMagazine.back() != count) inMagazine.push_back(count);
    // A part leaves the plate only by being pushed off, and only pressed.
    for (const station::Part& part : magazine.AllParts().All())
      if (part.location == Location::End) {
        ASSERT_TRUE(part.pressed) << magazine.Describe();
      }
    outputs.insert(magazine.Outputs());
  });
  ASSERT_GE(cycle.Rounds(), 2);
  // 4 3 2 1 0, then full again: the count only ever falls by one or refills.
  ASSERT_GE(inMagazine.size(), 6u);
  EXPECT_EQ(std::vector<int>(inMagazine.begin(), inMagazine.begin() + 6), (std::vector<int>{4, 3, 2, 1, 0, 4}));
  EXPECT_TRUE(outputs.count(1) && outputs.count(2) && outputs.count(2 | 4)) << "push out, in and press";
}

TEST(StationCycle, TheBeltSortsMetalOntoTheChuteAndCarriesPlasticToTheEnd) {
  station::Conveyor belt;
  StationCycle cycle(belt, StationKind::Belt);
  int mostAtEnd = 0, mostOnChute = 0;
  PlayFilm(cycle, 60, Millis(16), [&] {
    ASSERT_EQ(belt.AllParts().Total(), cycle.PartsPut());
    for (const station::Part& part : belt.AllParts().All()) {
      if (part.location == Location::Chute) {
        ASSERT_EQ(part.material, Material::Metal) << belt.Describe();
      }
      if (part.location == Location::End) {
        ASSERT_EQ(part.material, Material::Plastic) << belt.Describe();
      }
    }
    mostAtEnd = std::max(mostAtEnd, belt.AllParts().Count(Location::End));
    mostOnChute = std::max(mostOnChute, belt.AllParts().Count(Location::Chute));
  });
  EXPECT_GE(cycle.Rounds(), 2);
  EXPECT_EQ(mostAtEnd, 3);  // the batch is three of each
  EXPECT_EQ(mostOnChute, 3);
}

TEST(StationCycle, TheGripperCarriesThePartToTheBackAndReturnsItToTheFront) {
  station::HandlingStation handling;
  StationCycle cycle(handling, StationKind::Handling);
  std::vector<Location> places;  // where the part was, each change
  PlayFilm(cycle, 30, Millis(16), [&] {
    ASSERT_EQ(handling.AllParts().Total(), 1);
    const Location where = handling.AllParts().All().front().location;
    if (places.empty() || places.back() != where) places.push_back(where);
  });
  EXPECT_GE(cycle.Rounds(), 4);
  ASSERT_GE(places.size(), 5u);
  EXPECT_EQ(std::vector<Location>(places.begin(), places.begin() + 5),
            (std::vector<Location>{Location::End, Location::Gripper, Location::Plate, Location::Gripper,
                                   Location::End}));
}

TEST(StationCycle, TheCombinedStationLiftsEachDeliveredPartOverOntoThePlate) {
  station::CombinedStation combined;
  StationCycle cycle(combined, StationKind::BeltHandling);
  int mostOnPlate = 0;
  PlayFilm(cycle, 60, Millis(16), [&] {
    ASSERT_EQ(combined.AllParts().Total(), cycle.PartsPut());
    ASSERT_EQ(combined.AllParts().Count(Location::Chute), 0);
    mostOnPlate = std::max(mostOnPlate, combined.AllParts().Count(Location::Plate));
  });
  EXPECT_GE(cycle.Rounds(), 6);
  EXPECT_EQ(mostOnPlate, 4);  // then it starts again
}

// A slow machine's long frames play the same film: every round still
// completes, because the cycle steps inside a frame.
TEST(StationCycle, LongFramesMissNoEndOrSensor) {
  for (const Millis frame : {Millis(1), Millis(16), Millis(100)}) {
    station::Conveyor belt;
    StationCycle cycle(belt, StationKind::Belt);
    PlayFilm(cycle, 40, frame, [&] {
      for (const station::Part& part : belt.AllParts().All())
        if (part.location == Location::End) {
          ASSERT_EQ(part.material, Material::Plastic) << frame.count();
        }
    });
    EXPECT_GE(cycle.Rounds(), 1) << frame.count();
    station::StackMagazine magazine;
    StationCycle stack(magazine, StationKind::Stack);
    stack.Advance(Millis(40000));
    EXPECT_GE(stack.Rounds(), 1) << frame.count();
  }
}

}  // namespace
}  // namespace brimlink::stationview
