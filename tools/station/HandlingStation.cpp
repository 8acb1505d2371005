#include "tools/station/HandlingStation.h"

namespace brimlink::station {

HandlingStation::HandlingStation(Parts* shared, int initialParts)
    : parts_(shared ? *shared : own_), initialParts_(initialParts) {
  Reset();
}

void HandlingStation::Reset() {
  parts_.Clear();
  for (int i = 0; i < initialParts_; ++i) parts_.Add(i % 2 ? Material::Plastic : Material::Metal, Location::End);
  horizontal_.Reset();
  vertical_.Reset();
  horizontalValveOut_ = verticalValveOut_ = false;
  gripperOn_ = closed_ = false;
  outputs_ = 0;
}

bool HandlingStation::SetSpeedFactor(double factor) {
  Millis travel;
  if (!Cylinder::ScaledTravelTime(kDefaultTravelTime, factor, travel)) return false;
  horizontal_.SetTravelTime(travel);
  vertical_.SetTravelTime(travel);
  return true;
}

void HandlingStation::ApplyOutputs(uint16_t word0) {
  if (bool(word0 & 1u) != bool(word0 & 2u)) horizontalValveOut_ = word0 & 1u;
  if (bool(word0 & 4u) != bool(word0 & 8u)) verticalValveOut_ = word0 & 4u;
  gripperOn_ = word0 & 16u;
  UpdateGripper();
}

void HandlingStation::FaultsChanged() { UpdateGripper(); }

Location HandlingStation::PlaceBelow() const {
  return horizontal_.Position() >= 0.5 ? Location::End : Location::Plate;
}

void HandlingStation::UpdateGripper() {
  const bool closing = gripperOn_ && !faults_.noAir;
  if (closing == closed_) return;
  closed_ = closing;
  if (closed_) {
    const bool atAPlace = horizontal_.Retracted() || horizontal_.Extended();
    if (vertical_.Extended() && atAPlace)
      if (Part* part = parts_.Top(PlaceBelow())) parts_.MoveTo(*part, Location::Gripper);
  } else if (Part* held = parts_.Top(Location::Gripper)) {
    parts_.MoveTo(*held, PlaceBelow());
  }
}

void HandlingStation::Advance(Millis dt) {
  horizontal_.Advance(dt, DriveFor(horizontalValveOut_), faults_.jammed & 1u);
  vertical_.Advance(dt, DriveFor(verticalValveOut_), faults_.jammed & 2u);
}

Cylinder::Drive HandlingStation::DriveFor(bool valveOut) const {
  if (faults_.noAir) return Cylinder::Drive::Hold;
  return valveOut ? Cylinder::Drive::Extend : Cylinder::Drive::Retract;
}

bool HandlingStation::Moving() const {
  return horizontal_.WouldMove(DriveFor(horizontalValveOut_), faults_.jammed & 1u) ||
         vertical_.WouldMove(DriveFor(verticalValveOut_), faults_.jammed & 2u);
}

uint16_t HandlingStation::RawInputs() const {
  return static_cast<uint16_t>((horizontal_.Retracted() ? 1u : 0u) | (horizontal_.Extended() ? 2u : 0u) |
                               (vertical_.Retracted() ? 4u : 0u) | (vertical_.Extended() ? 8u : 0u));
}

}  // namespace brimlink::station
