#include "tools/station_view/StationCycle.h"

#include <algorithm>

#include "tools/station/CombinedStation.h"
#include "tools/station/Conveyor.h"
#include "tools/station/HandlingStation.h"
#include "tools/station/StackMagazine.h"

namespace brimlink::stationview {

namespace {

using station::Location;
using station::Material;
using station::Millis;

constexpr Millis kHold{800};     // the press holds the lid on
constexpr Millis kGrip{300};     // the gripper's jaws close or open
constexpr Millis kPause{1500};   // the finished round stays in view
constexpr Millis kFeedInterval{2000};  // longer than a part needs from the inductive sensor to the stopper
constexpr int kBatch = 6;        // parts per round on the conveyor
constexpr int kPlateFull = 4;    // parts per round on the combined station
constexpr Material kMaterials[] = {Material::Metal, Material::Plastic, Material::Plastic,
                                   Material::Metal, Material::Plastic, Material::Metal};

// Handling outputs: 0 front, 1 back, 2 down, 3 up, 4 gripper.
constexpr uint16_t kFront = 1, kBack = 2, kDown = 4, kUp = 8, kGripper = 16;

}  // namespace

StationCycle::StationCycle(station::Station& station, StationKind kind)
    : station_(station), kind_(kind), sinceFeed_(kFeedInterval) {}

void StationCycle::Advance(Millis dt) {
  while (dt.count() > 0) {
    const Millis step = std::min(dt, kStep);
    Step(step);
    dt -= step;
  }
}

void StationCycle::Step(Millis dt) {
  switch (kind_) {
    case StationKind::Stack:
      StackStep();
      break;
    case StationKind::Belt:
      BeltStep();
      break;
    case StationKind::Handling:
      HandlingStep();
      break;
    case StationKind::BeltHandling:
      CombinedStep();
      break;
  }
  station_.Advance(dt);
  waited_ += dt;
  sinceFeed_ += dt;
}

void StationCycle::Restart() {
  station_.Reset();
  ++rounds_;
  phase_ = 0;
  carry_ = 0;
  partsPut_ = 0;
  sinceFeed_ = kFeedInterval;
  inductiveBefore_ = false;
  waited_ = Millis(0);
}

void StationCycle::StackStep() {
  auto& magazine = static_cast<station::StackMagazine&>(station_);
  // Outputs: 0 push out, 1 push in, 2 press.
  const auto next = [&](int phase) {
    phase_ = phase;
    waited_ = Millis(0);
  };
  uint16_t outputs = 0;
  switch (phase_) {
    case 0:  // push the lowest part out onto the plate
      outputs = 1;
      if (magazine.Push().Extended()) next(1);
      break;
    case 1:  // back, so the next part drops in front of the pusher
      outputs = 2;
      if (magazine.Push().Retracted()) next(2);
      break;
    case 2:
      outputs = 2 | 4;
      if (magazine.Press().Extended()) next(3);
      break;
    case 3:
      outputs = 2 | 4;
      if (waited_ >= kHold) next(4);
      break;
    case 4:
      outputs = 2;
      if (magazine.Press().Retracted()) next(magazine.AllParts().Count(Location::Magazine) > 0 ? 0 : 5);
      break;
    default:
      outputs = 2;
      if (waited_ >= kPause) {
        Restart();
        return;
      }
      break;
  }
  if (outputs != station_.Outputs()) station_.SetOutputs(outputs);
}

void StationCycle::BeltStep() {
  auto& belt = static_cast<station::Conveyor&>(station_);
  const station::Parts& parts = belt.AllParts();
  // Outputs: 0 stopper, 1 motor, 2 reverse.
  uint16_t outputs = station_.Outputs() & 1u;
  if (phase_ == 0) {
    outputs |= 2;
    if (partsPut_ < kBatch && sinceFeed_ >= kFeedInterval) {
      belt.PutPart(kMaterials[partsPut_ % std::size(kMaterials)]);
      ++partsPut_;
      sinceFeed_ = Millis(0);
    }
    // The inductive sensor saw metal: swing the gate across until that part
    // is on the chute. The feed spacing keeps any other part from reaching
    // the gate meanwhile.
    const bool inductive = station_.Inputs() & 1u;
    if (inductive && !inductiveBefore_) {
      outputs |= 1;
      chuteBefore_ = parts.Count(Location::Chute);
    }
    inductiveBefore_ = inductive;
    if ((outputs & 1u) && parts.Count(Location::Chute) > chuteBefore_) outputs &= ~1u;
    if (partsPut_ == kBatch && parts.Count(Location::Belt) == 0) {
      phase_ = 1;
      waited_ = Millis(0);
      outputs = 0;
    }
  } else {
    outputs = 0;
    if (waited_ >= kPause) {
      Restart();
      return;
    }
  }
  if (outputs != station_.Outputs()) station_.SetOutputs(outputs);
}

bool StationCycle::CarryStep(uint16_t& outputs, int shift, bool toBack) {
  const station::HandlingStation& handling = kind_ == StationKind::Handling
                                                 ? static_cast<const station::HandlingStation&>(station_)
                                                 : static_cast<station::CombinedStation&>(station_).Handling();
  const uint16_t from = toBack ? kFront : kBack;
  const uint16_t to = toBack ? kBack : kFront;
  const auto atTarget = [&] { return toBack ? handling.Horizontal().Retracted() : handling.Horizontal().Extended(); };
  const auto next = [&] {
    ++carry_;
    waited_ = Millis(0);
  };
  bool done = false;
  uint16_t word = 0;
  switch (carry_) {
    case 0:  // down to the part
      word = from | kDown;
      if (handling.Vertical().Extended()) next();
      break;
    case 1:
      word = from | kDown | kGripper;
      if (waited_ >= kGrip) next();
      break;
    case 2:
      word = from | kUp | kGripper;
      if (handling.Vertical().Retracted()) next();
      break;
    case 3:
      word = to | kUp | kGripper;
      if (atTarget()) next();
      break;
    case 4:
      word = to | kDown | kGripper;
      if (handling.Vertical().Extended()) next();
      break;
    case 5:  // let go
      word = to | kDown;
      if (waited_ >= kGrip) next();
      break;
    default:
      word = to | kUp;
      if (handling.Vertical().Retracted()) {
        carry_ = 0;
        waited_ = Millis(0);
        done = true;
      }
      break;
  }
  outputs = static_cast<uint16_t>(outputs | (word << shift));
  return done;
}

void StationCycle::HandlingStep() {
  auto& handling = static_cast<station::HandlingStation&>(station_);
  uint16_t outputs = 0;
  if (phase_ == 0) {  // from rest (back, up) to the front
    outputs = kFront | kUp;
    if (handling.Horizontal().Extended() && handling.Vertical().Retracted()) {
      phase_ = 1;
      toBack_ = true;
    }
  } else if (CarryStep(outputs, 0, toBack_)) {
    toBack_ = !toBack_;
    ++rounds_;
  }
  if (outputs != station_.Outputs()) station_.SetOutputs(outputs);
}

void StationCycle::CombinedStep() {
  auto& combined = static_cast<station::CombinedStation&>(station_);
  const station::HandlingStation& handling = combined.Handling();
  const station::Parts& parts = combined.AllParts();
  constexpr int kShift = 3;
  constexpr uint16_t kMotor = 2;
  uint16_t outputs = 0;
  const auto next = [&](int phase) {
    phase_ = phase;
    waited_ = Millis(0);
  };
  switch (phase_) {
    case 0:  // the gripper waits up over the end of the belt
      outputs = (kFront | kUp) << kShift;
      if (handling.Horizontal().Extended() && handling.Vertical().Retracted()) next(1);
      break;
    case 1:
      combined.PutPart(kMaterials[partsPut_ % std::size(kMaterials)]);
      ++partsPut_;
      outputs = kMotor | ((kFront | kUp) << kShift);
      next(2);
      break;
    case 2:  // the belt delivers it to its end
      outputs = kMotor | ((kFront | kUp) << kShift);
      if (parts.Count(Location::End) > 0) next(3);
      break;
    case 3:
      if (CarryStep(outputs, kShift, true)) {
        ++rounds_;
        next(4);
      }
      break;
    case 4:  // back over the belt for the next one
      outputs = (kFront | kUp) << kShift;
      if (handling.Horizontal().Extended()) next(parts.Count(Location::Plate) >= kPlateFull ? 5 : 1);
      break;
    default:
      outputs = (kFront | kUp) << kShift;
      if (waited_ >= kPause) {
        const int rounds = rounds_;
        Restart();
        rounds_ = rounds;  // a full plate is not a carry of its own
        return;
      }
      break;
  }
  if (outputs != station_.Outputs()) station_.SetOutputs(outputs);
}

}  // namespace brimlink::stationview
