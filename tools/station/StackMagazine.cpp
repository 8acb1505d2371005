#include "tools/station/StackMagazine.h"

namespace brimlink::station {

StackMagazine::StackMagazine(std::vector<Material> stack) : initial_(std::move(stack)) { Reset(); }

void StackMagazine::Reset() {
  parts_.Clear();
  for (Material material : initial_) parts_.Add(material, Location::Magazine);
  push_.Reset();
  press_.Reset();
  pushValveOut_ = false;
  pressOn_ = false;
  slotFilled_ = true;
  outputs_ = 0;
}

bool StackMagazine::SetSpeedFactor(double factor) {
  Millis travel;
  if (!Cylinder::ScaledTravelTime(kDefaultTravelTime, factor, travel)) return false;
  push_.SetTravelTime(travel);
  press_.SetTravelTime(travel);
  return true;
}

void StackMagazine::ApplyOutputs(uint16_t word0) {
  const bool out = word0 & 1u, in = word0 & 2u;
  if (out != in) pushValveOut_ = out;
  pressOn_ = word0 & 4u;
}

void StackMagazine::Advance(Millis dt) {
  const bool wasOut = push_.Extended();
  push_.Advance(dt, PushDrive(), faults_.jammed & 1u);
  if (!wasOut && push_.Extended() && slotFilled_) {
    slotFilled_ = false;
    Part* lowest = parts_.Bottom(Location::Magazine);
    if (lowest && !faults_.partMissing) {
      while (Part* onPlate = parts_.Top(Location::Plate)) parts_.MoveTo(*onPlate, Location::End);
      parts_.MoveTo(*lowest, Location::Plate);
    }
  }
  if (push_.Retracted()) slotFilled_ = true;

  const bool pressWasOut = press_.Extended();
  press_.Advance(dt, PressDrive(), faults_.jammed & 2u);
  if (!pressWasOut && press_.Extended())
    if (Part* onPlate = parts_.Top(Location::Plate)) onPlate->pressed = true;
}

Cylinder::Drive StackMagazine::PushDrive() const {
  if (faults_.noAir) return Cylinder::Drive::Hold;
  return pushValveOut_ ? Cylinder::Drive::Extend : Cylinder::Drive::Retract;
}

// Single-acting: the spring brings it back also without air.
Cylinder::Drive StackMagazine::PressDrive() const {
  return pressOn_ && !faults_.noAir ? Cylinder::Drive::Extend : Cylinder::Drive::Retract;
}

bool StackMagazine::Moving() const {
  return push_.WouldMove(PushDrive(), faults_.jammed & 1u) || press_.WouldMove(PressDrive(), faults_.jammed & 2u);
}

uint16_t StackMagazine::RawInputs() const { return press_.Extended() ? 1u : 0u; }

}  // namespace brimlink::station
