// The conveyor and the handling station on one module: outputs 0-2 and inputs
// 0-1 are the conveyor's, outputs 3-7 and inputs 3-6 the handling station's
// (inputs 2 and 7 are spare). The gripper works at the end of the belt, so a
// part carried off the belt can be lifted over onto the handling plate.
// Air and jam faults concern the handling station (cylinders 0 horizontal,
// 1 vertical); stuck sensors are counted in this module's input numbering.
#pragma once

#include "tools/station/Conveyor.h"
#include "tools/station/HandlingStation.h"

namespace brimlink::station {

class CombinedStation : public Station {
public:
  explicit CombinedStation(BeltLayout layout = {});

  int PutPart(Material material) { return conveyor_.PutPart(material); }
  void FeedEvery(Millis interval, std::vector<Material> cycle) { conveyor_.FeedEvery(interval, std::move(cycle)); }

  void Advance(Millis dt) override;
  bool Moving() const override;
  void Reset() override;
  bool SetSpeedFactor(double factor) override;
  const Parts& AllParts() const override { return parts_; }

  const Conveyor& Belt() const { return conveyor_; }
  const HandlingStation& Handling() const { return handling_; }

protected:
  void ApplyOutputs(uint16_t word0) override;
  uint16_t RawInputs() const override;
  void FaultsChanged() override;

private:
  Parts parts_;
  Conveyor conveyor_;
  HandlingStation handling_;
};

}  // namespace brimlink::station
