// A station behind a virtual module, in real time: output word 0 of the
// module drives the station, the station's sensors (with the bits the console
// forces over them) become the module's input word 0, which the module
// reports like any input change.
//
// Time passes only while the station moves: at rest nothing needs advancing
// (nor redrawing), so the host polls with a long timeout and ticks at about
// the display's frame rate only while Moving(). Plain C++ with the time passed
// in, so tests drive it in simulated time.
//
// Threads: one thread (brimlink-sim's main thread) owns a StationDriver and
// the station in it, and calls Sync with the module lock held (inside
// PtyModule::WithModule). The station view draws the station on that thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tools/brimlink-sim/Console.h"
#include "tools/brimlink-sim/Options.h"
#include "tools/station/Station.h"
#include "tools/virtual_module/VirtualModule.h"

namespace brimlink::simtool {

class StationDriver {
 public:
  // At rest, with the cylinders' travel time divided by speedFactor (> 0).
  StationDriver(StationKind kind, double speedFactor);

  StationKind Kind() const { return kind_; }
  const station::Station& Model() const { return *station_; }

  // Brings the module and the station together at `now`: the time since the
  // last call passes (while the station moves), a changed output word 0 of
  // the module reaches the station, and input word 0 of the module takes the
  // station's inputs under the forced bits (the module reports a change).
  void Sync(sim::VirtualModule& module, sim::Millis now);

  // Whether the host must keep calling Sync as time passes.
  bool Moving() const { return station_->Moving(); }

  // The word the module's input word 0 is given: the sensors, forced bits over them.
  std::uint16_t InputWord() const;
  std::uint16_t ForcedMask() const { return forcedMask_; }

  // The console commands for a station: InputBit, InputWord (word 0),
  // InputRelease, Part, Feed, StationFault, Reset; Sync follows at once, so
  // the module sees the result. Returns what changed, or "error: ..." for
  // what this station cannot do. Station returns the description.
  std::string Apply(const ConsoleCommand& command, sim::VirtualModule& module, sim::Millis now);

  // The lines of "station": outputs, inputs, forced bits, faults, the parts.
  std::string Describe() const;

  // Longest step of simulated time: after a stall (a busy console, a
  // suspended process) the station catches up in steps of this size, so that
  // no sensor edge is stepped over.
  static constexpr sim::Millis kMaxStep{16};

 private:
  void AdvanceTo(sim::VirtualModule& module, sim::Millis now);
  std::string ApplyFault(const ConsoleCommand& command);
  std::string DescribeFaults() const;

  StationKind kind_;
  std::unique_ptr<station::Station> station_;
  sim::Millis last_{0};
  bool started_ = false;
  std::uint16_t forcedMask_ = 0;
  std::uint16_t forcedValue_ = 0;
};

// Inputs wired to a sensor on this station (the combined station leaves 2 and 7 spare).
std::uint16_t SensorInputs(StationKind kind);
// Cylinders that can jam: 2 on the stack magazine and the handling station, none on the belt.
int CylinderCount(StationKind kind);

}  // namespace brimlink::simtool
