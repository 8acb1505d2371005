// What every simulated station offers: it reads output word 0 of its module,
// moves in simulated time and drives input word 0. Nothing here reads a clock
// or draws a random number, so the same calls always give the same inputs.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "tools/station/Parts.h"

namespace brimlink::station {

using Millis = std::chrono::milliseconds;

// Faults a teacher switches on for a fault-finding lesson.
struct Faults {
  uint16_t stuckOn = 0;   // these inputs read on whatever happens
  uint16_t stuckOff = 0;  // these read off (stuck-on wins where both are set)
  bool noAir = false;     // no compressed air: no cylinder moves, springs return
  uint8_t jammed = 0;     // bit n: the station's cylinder n is jammed halfway
  bool partMissing = false;  // the magazine's feed slot is empty: a push delivers nothing
};

class Station {
public:
  virtual ~Station() = default;

  void SetOutputs(uint16_t word0) {
    outputs_ = word0;
    ApplyOutputs(word0);
  }
  // The output word last set (what a window shows on the valves' solenoids).
  uint16_t Outputs() const { return outputs_; }
  virtual void Advance(Millis dt) = 0;
  // True while time changes something: a cylinder on its way, parts riding a
  // running belt, a feed waiting for its next part. At rest a host need not
  // advance the station (nor redraw it) until an output or a fault changes.
  virtual bool Moving() const = 0;
  uint16_t Inputs() const {
    return static_cast<uint16_t>((RawInputs() & ~faults_.stuckOff) | faults_.stuckOn);
  }

  // Back to rest: outputs off, cylinders in, the initial parts in place.
  // Faults and the speed factor are settings and stay.
  virtual void Reset() = 0;
  // Scales every cylinder's travel time (2 = twice as fast). False for a
  // factor that is not positive; the old one then stays.
  virtual bool SetSpeedFactor(double factor) = 0;

  virtual const Parts& AllParts() const = 0;
  std::string Describe() const { return AllParts().Describe(); }

  void SetFaults(const Faults& faults) {
    faults_ = faults;
    FaultsChanged();
  }
  void ClearFaults() { SetFaults(Faults{}); }
  const Faults& CurrentFaults() const { return faults_; }

protected:
  virtual void ApplyOutputs(uint16_t word0) = 0;
  virtual uint16_t RawInputs() const = 0;
  virtual void FaultsChanged() {}

  Faults faults_;
  uint16_t outputs_ = 0;
};

}  // namespace brimlink::station
