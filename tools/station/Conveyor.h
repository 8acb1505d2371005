// The conveyor belt.
//
// Output 1 switches the DC motor: the belt runs while it is on. The motor
// drives the belt both ways and the relay is what steers it, so output 2, the
// motor relay, reverses the polarity: off runs the belt forward (from the
// start towards the end), on runs it back. The relay alone moves nothing.
// Output 0, the electromagnetic stopper, swings the sorting gate across the
// belt while it is on: a part carried forward into the gate is sorted off onto
// the chute; with the gate open it passes on to the end of the belt.
// Running back, parts come to rest against the guard at the start.
//
// Input 0 is the inductive sensor (metal parts only), input 1 the optical
// sensor near the start (every part), each on while a part covers its place.
// The belt needs no compressed air, so the air fault leaves it running.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/station/Station.h"

namespace brimlink::station {

// Places along the belt in micrometres from its start.
struct BeltLayout {
  int64_t startUm = 20000;      // where a part is put on
  int64_t opticalUm = 100000;
  int64_t inductiveUm = 250000;
  int64_t stopperUm = 400000;
  int64_t lengthUm = 500000;    // a part carried past this leaves at the end
  int64_t partWidthUm = 40000;  // a sensor sees a part within half of this
  int64_t speedUmPerMs = 100;   // 100 mm/s
};

class Conveyor : public Station {
public:
  // With `shared`, the parts live in the caller's registry (a combined station).
  explicit Conveyor(Parts* shared = nullptr, BeltLayout layout = {});
  Conveyor(const Conveyor&) = delete;
  Conveyor& operator=(const Conveyor&) = delete;

  // Puts a part on the start of the belt; returns its id.
  int PutPart(Material material);
  // Puts the next material of `cycle` on the belt every `interval`; an empty
  // cycle or a non-positive interval stops feeding.
  void FeedEvery(Millis interval, std::vector<Material> cycle);

  void Advance(Millis dt) override;
  bool Moving() const override;
  void Reset() override;
  bool SetSpeedFactor(double factor) override;
  const Parts& AllParts() const override { return parts_; }
  const BeltLayout& Layout() const { return layout_; }

protected:
  void ApplyOutputs(uint16_t word0) override;
  uint16_t RawInputs() const override;

private:
  bool Sees(int64_t sensorUm, bool metalOnly) const;

  Parts own_;
  Parts& parts_;
  BeltLayout layout_;
  bool stopper_ = false;
  bool motor_ = false;
  bool reverse_ = false;
  Millis feedInterval_{0};
  std::vector<Material> feedCycle_;
  Millis feedElapsed_{0};
  size_t feedNext_ = 0;
};

}  // namespace brimlink::station
