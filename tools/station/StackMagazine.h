// The stack magazine.
//
// Output 0 and 1 switch a bistable valve for the double-acting push cylinder
// (0 out, 1 in; neither or both: the valve stays where it was). Output 2 holds
// the monostable valve of the single-acting pressing cylinder open; without it
// a spring brings that cylinder back. Input 0 is the end switch of the pressing
// cylinder, on only while it is fully out.
//
// When the push cylinder arrives out it has shoved the lowest part of the
// stack onto the plate (a part already there is pushed on, to the end); it
// must go back in before the next part drops in front of it.
// Cylinders for jam faults: 0 push, 1 pressing.
#pragma once

#include <vector>

#include "tools/station/Cylinder.h"
#include "tools/station/Station.h"

namespace brimlink::station {

class StackMagazine : public Station {
public:
  // The stack from bottom to top.
  explicit StackMagazine(std::vector<Material> stack = {Material::Metal, Material::Plastic, Material::Metal,
                                                        Material::Plastic});

  void Advance(Millis dt) override;
  bool Moving() const override;
  void Reset() override;
  bool SetSpeedFactor(double factor) override;
  const Parts& AllParts() const override { return parts_; }

  const Cylinder& Push() const { return push_; }
  const Cylinder& Press() const { return press_; }

protected:
  void ApplyOutputs(uint16_t word0) override;
  uint16_t RawInputs() const override;

private:
  Cylinder::Drive PushDrive() const;
  Cylinder::Drive PressDrive() const;

  std::vector<Material> initial_;
  Parts parts_;
  Cylinder push_;
  Cylinder press_;
  bool pushValveOut_ = false;
  bool pressOn_ = false;
  bool slotFilled_ = true;  // a part lies in front of the retracted pusher
};

}  // namespace brimlink::station
