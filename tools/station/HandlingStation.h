// The handling station: a gripper on two double-acting guided cylinders, each
// on a bistable valve (out/in outputs; neither or both keep the valve).
//
// Outputs: 0 horizontal out (towards the front), 1 horizontal in (back),
// 2 vertical out (down), 3 vertical in (up), 4 gripper closed (monostable: it
// springs open without the output or without air).
// Inputs: 0 horizontal back, 1 front, 2 vertical up, 3 down. At rest both
// cylinders are in: inputs 0 and 2 on.
//
// Below the front position is the end of the line (where a belt delivers),
// below the back position the station's plate. Closing the gripper while it is
// fully down at one of them takes the top part there; opening it lets the part
// down onto the place below (the nearer one while travelling).
// Cylinders for jam faults: 0 horizontal, 1 vertical.
#pragma once

#include "tools/station/Cylinder.h"
#include "tools/station/Station.h"

namespace brimlink::station {

class HandlingStation : public Station {
public:
  // With `shared`, the parts live in the caller's registry (a combined station).
  explicit HandlingStation(Parts* shared = nullptr, int initialParts = 1);
  HandlingStation(const HandlingStation&) = delete;
  HandlingStation& operator=(const HandlingStation&) = delete;

  void Advance(Millis dt) override;
  bool Moving() const override;
  void Reset() override;
  bool SetSpeedFactor(double factor) override;
  const Parts& AllParts() const override { return parts_; }

  const Cylinder& Horizontal() const { return horizontal_; }
  const Cylinder& Vertical() const { return vertical_; }
  bool GripperClosed() const { return closed_; }

protected:
  void ApplyOutputs(uint16_t word0) override;
  uint16_t RawInputs() const override;
  void FaultsChanged() override;

private:
  Cylinder::Drive DriveFor(bool valveOut) const;
  void UpdateGripper();
  Location PlaceBelow() const;

  Parts own_;
  Parts& parts_;
  int initialParts_;
  Cylinder horizontal_;
  Cylinder vertical_;
  bool horizontalValveOut_ = false;
  bool verticalValveOut_ = false;
  bool gripperOn_ = false;
  bool closed_ = false;
};

}  // namespace brimlink::station
