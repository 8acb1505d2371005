#include "tools/station/CombinedStation.h"

namespace brimlink::station {

CombinedStation::CombinedStation(BeltLayout layout) : conveyor_(&parts_, layout), handling_(&parts_, 0) {}

void CombinedStation::ApplyOutputs(uint16_t word0) {
  conveyor_.SetOutputs(word0 & 0x7u);
  handling_.SetOutputs((word0 >> 3) & 0x1Fu);
}

void CombinedStation::Advance(Millis dt) {
  conveyor_.Advance(dt);
  handling_.Advance(dt);
}

void CombinedStation::Reset() {
  conveyor_.Reset();
  handling_.Reset();
  outputs_ = 0;
}

bool CombinedStation::Moving() const { return conveyor_.Moving() || handling_.Moving(); }

bool CombinedStation::SetSpeedFactor(double factor) {
  return conveyor_.SetSpeedFactor(factor) && handling_.SetSpeedFactor(factor);
}

void CombinedStation::FaultsChanged() {
  Faults handling;
  handling.noAir = faults_.noAir;
  handling.jammed = faults_.jammed;
  handling_.SetFaults(handling);
}

uint16_t CombinedStation::RawInputs() const {
  return static_cast<uint16_t>((conveyor_.Inputs() & 0x3u) | ((handling_.Inputs() & 0xFu) << 3));
}

}  // namespace brimlink::station
