// Moving() is what lets a host stop advancing and redrawing a station at rest,
// so a false "at rest" freezes a window mid-stroke and a false "moving" burns
// CPU for nothing. Each case: a station, what to do to it, the answer expected
// right after that, and again once the travel time has passed.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "tools/station/CombinedStation.h"
#include "tools/station/Conveyor.h"
#include "tools/station/HandlingStation.h"
#include "tools/station/StackMagazine.h"

namespace brimlink::station {
namespace {

struct Case {
  const char* name;
  std::function<std::unique_ptr<Station>()> make;
  std::function<void(Station&)> act;
  bool movingNow;
  bool movingAfterTravel;
};

template <typename T>
std::unique_ptr<Station> Make() {
  return std::make_unique<T>();
}

TEST(StationMoving, FollowsWhatTimeWouldChange) {
  const Case cases[] = {
      {"magazine at rest", Make<StackMagazine>, [](Station&) {}, false, false},
      {"push out", Make<StackMagazine>, [](Station& s) { s.SetOutputs(1); }, true, false},
      {"both push coils: valve stays in", Make<StackMagazine>, [](Station& s) { s.SetOutputs(3); }, false, false},
      {"press out", Make<StackMagazine>, [](Station& s) { s.SetOutputs(4); }, true, false},
      {"no air: push valve out, nothing moves", Make<StackMagazine>,
       [](Station& s) {
         s.SetFaults({.noAir = true});
         s.SetOutputs(1);
       },
       false, false},
      {"jammed push stops halfway", Make<StackMagazine>,
       [](Station& s) {
         s.SetFaults({.jammed = 1});
         s.SetOutputs(1);
       },
       true, false},
      {"handling down", Make<HandlingStation>, [](Station& s) { s.SetOutputs(4); }, true, false},
      {"handling gripper only", Make<HandlingStation>, [](Station& s) { s.SetOutputs(16); }, false, false},
      {"belt running empty", Make<Conveyor>, [](Station& s) { s.SetOutputs(2); }, false, false},
      {"belt carrying a part", Make<Conveyor>,
       [](Station& s) {
         static_cast<Conveyor&>(s).PutPart(Material::Metal);
         s.SetOutputs(2);
       },
       true, true},
      {"belt back with the part at the start", Make<Conveyor>,
       [](Station& s) {
         static_cast<Conveyor&>(s).PutPart(Material::Metal);
         s.SetOutputs(2 | 4);
       },
       false, false},
      {"feeding", Make<Conveyor>,
       [](Station& s) { static_cast<Conveyor&>(s).FeedEvery(Millis(2000), {Material::Plastic}); }, true, true},
      {"combined: handling half moves", Make<CombinedStation>, [](Station& s) { s.SetOutputs(1 << 5); }, true, false},
  };
  for (const Case& c : cases) {
    auto station = c.make();
    c.act(*station);
    EXPECT_EQ(station->Moving(), c.movingNow) << c.name;
    station->Advance(kDefaultTravelTime);
    EXPECT_EQ(station->Moving(), c.movingAfterTravel) << c.name;
  }
}

TEST(StationMoving, ResetForgetsTheOutputs) {
  StackMagazine magazine;
  magazine.SetOutputs(5);
  EXPECT_EQ(magazine.Outputs(), 5);
  magazine.Reset();
  EXPECT_EQ(magazine.Outputs(), 0);
  EXPECT_FALSE(magazine.Moving());
}

}  // namespace
}  // namespace brimlink::station
