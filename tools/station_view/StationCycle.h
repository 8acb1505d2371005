// A station's typical working cycle, played by itself on a model: what the
// "Filmpje" window shows. It sets the station's outputs step by step as a
// pupil's program would and advances the model's time; the steps wait on the
// cylinders' ends and the sensors, so the film never gets ahead of the model.
//
//  - stack magazine: push a part out, retract, press, release; when the
//    magazine is empty, start again full;
//  - conveyor: parts put on one after another, metal sorted onto the chute by
//    the stopper when the inductive sensor saw it, plastic carried to the end;
//    when all have left the belt, start again;
//  - handling station: pick at the front, carry to the back, place; then
//    back again to the front with the same part;
//  - conveyor with handling: the belt delivers a part to its end, the gripper
//    lifts it over onto the plate; after four, start again.
// Plain C++, deterministic: the same calls give the same film.
#pragma once

#include <cstdint>

#include "tools/station/Station.h"
#include "tools/station_view/StationScene.h"

namespace brimlink::stationview {

class StationCycle {
public:
  // `station` must be the model `kind` names and outlive the cycle; the cycle
  // starts from the station's rest.
  StationCycle(station::Station& station, StationKind kind);

  // Plays `dt` of the film, in steps short enough that no end or sensor
  // change is missed whatever the caller's frame interval.
  void Advance(station::Millis dt);

  // Finished rounds (a magazine emptied, a batch sorted, a part carried).
  int Rounds() const { return rounds_; }
  // Parts put on the belt so far in this round (for the tests' accounting).
  int PartsPut() const { return partsPut_; }

  static constexpr station::Millis kStep{10};

private:
  void Step(station::Millis dt);
  void StackStep();
  void BeltStep();
  void HandlingStep();
  void CombinedStep();
  // One step of carrying the part between front and back with the handling
  // outputs at `shift` in the word; true once the gripper is up again at the
  // other place.
  bool CarryStep(uint16_t& outputs, int shift, bool toBack);
  void Restart();

  station::Station& station_;
  StationKind kind_;
  int phase_ = 0;      // the step of the sequence now being waited on
  int carry_ = 0;      // the step within a carry
  station::Millis waited_{0};  // time spent in the current phase
  station::Millis sinceFeed_{0};
  bool inductiveBefore_ = false;
  int chuteBefore_ = 0;
  bool toBack_ = true;
  int partsPut_ = 0;
  int rounds_ = 0;
};

}  // namespace brimlink::stationview
