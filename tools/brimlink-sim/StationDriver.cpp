#include "tools/brimlink-sim/StationDriver.h"

#include <algorithm>
#include <vector>

#include "tools/station/CombinedStation.h"
#include "tools/station/Conveyor.h"
#include "tools/station/HandlingStation.h"
#include "tools/station/StackMagazine.h"

namespace brimlink::simtool {
namespace {

using Kind = ConsoleCommand::Kind;

std::unique_ptr<station::Station> MakeStation(StationKind kind) {
  switch (kind) {
    case StationKind::Stack: return std::make_unique<station::StackMagazine>();
    case StationKind::Belt: return std::make_unique<station::Conveyor>();
    case StationKind::Handling: return std::make_unique<station::HandlingStation>();
    case StationKind::BeltHandling: return std::make_unique<station::CombinedStation>();
  }
  return nullptr;
}

std::string Bits(std::uint16_t mask) {
  std::string text;
  for (int bit = 0; bit < 16; ++bit) {
    if ((mask & (1u << bit)) != 0) text += (text.empty() ? "" : " ") + std::to_string(bit);
  }
  return text;
}

}  // namespace

std::uint16_t SensorInputs(StationKind kind) {
  switch (kind) {
    case StationKind::Stack: return 0x01;
    case StationKind::Belt: return 0x03;
    case StationKind::Handling: return 0x0F;
    case StationKind::BeltHandling: return 0x7B;
  }
  return 0;
}

int CylinderCount(StationKind kind) { return kind == StationKind::Belt ? 0 : 2; }

StationDriver::StationDriver(StationKind kind, double speedFactor) : kind_(kind), station_(MakeStation(kind)) {
  station_->SetSpeedFactor(speedFactor);
}

std::uint16_t StationDriver::InputWord() const {
  return static_cast<std::uint16_t>((station_->Inputs() & ~forcedMask_) | (forcedValue_ & forcedMask_));
}

void StationDriver::AdvanceTo(sim::VirtualModule& module, sim::Millis now) {
  if (!started_ || now < last_) {
    started_ = true;
    last_ = now;
    return;
  }
  // Each step's inputs go to the module, so a sensor that a part passes
  // during a catch-up is still reported on and off.
  while (last_ < now && station_->Moving()) {
    const sim::Millis step = std::min(kMaxStep, now - last_);
    station_->Advance(step);
    last_ += step;
    module.SetInputWord(0, InputWord(), now);
  }
  last_ = now;
}

void StationDriver::Sync(sim::VirtualModule& module, sim::Millis now) {
  AdvanceTo(module, now);
  const std::uint16_t outputs = module.OutputWord(0);
  if (outputs != station_->Outputs()) station_->SetOutputs(outputs);
  module.SetInputWord(0, InputWord(), now);
}

std::string StationDriver::Apply(const ConsoleCommand& command, sim::VirtualModule& module, sim::Millis now) {
  // What happened before the command happened with the old settings.
  AdvanceTo(module, now);
  std::string result;
  switch (command.kind) {
    case Kind::Station: return Describe();
    case Kind::InputBit: {
      const auto bit = static_cast<std::uint16_t>(1u << command.index);
      forcedMask_ |= bit;
      forcedValue_ = static_cast<std::uint16_t>(command.on ? (forcedValue_ | bit) : (forcedValue_ & ~bit));
      result = "input " + std::to_string(command.index) + " forced " + (command.on ? "on" : "off");
      break;
    }
    case Kind::InputWord:
      if (command.index != 0) return "error: the station drives input word 0 only";
      forcedMask_ = 0xFFFF;
      forcedValue_ = command.value;
      result = "every input forced";
      break;
    case Kind::InputRelease:
      if (command.index < 0) {
        forcedMask_ = 0;
        result = "every input released to the station";
      } else {
        forcedMask_ = static_cast<std::uint16_t>(forcedMask_ & ~(1u << command.index));
        result = "input " + std::to_string(command.index) + " released to the station";
      }
      break;
    case Kind::Part:
    case Kind::Feed: {
      auto* belt = dynamic_cast<station::Conveyor*>(station_.get());
      auto* combined = dynamic_cast<station::CombinedStation*>(station_.get());
      const std::string verb = command.kind == Kind::Part ? "part" : "feed";
      if (belt == nullptr && combined == nullptr) {
        return "error: " + verb + ": the " + std::string(StationKindName(kind_)) +
               " station has no belt (belt and belt-handling have)";
      }
      const auto material = command.metal ? station::Material::Metal : station::Material::Plastic;
      if (command.kind == Kind::Part) {
        const int id = belt != nullptr ? belt->PutPart(material) : combined->PutPart(material);
        result = "part #" + std::to_string(id) + " (" + station::ToString(material) + ") put on the belt";
        break;
      }
      std::vector<station::Material> cycle;
      if (command.amount > 0) cycle = {station::Material::Metal, station::Material::Plastic};
      const sim::Millis interval{command.amount};
      if (belt != nullptr) belt->FeedEvery(interval, cycle); else combined->FeedEvery(interval, cycle);
      result = command.amount > 0 ? "a part every " + std::to_string(command.amount) + " ms" : "feed off";
      break;
    }
    case Kind::StationFault:
      result = ApplyFault(command);
      if (result.starts_with("error: ")) return result;
      break;
    case Kind::Reset:
      station_->Reset();
      result = "station reset";
      break;
    default: return "error: not a station command";
  }
  Sync(module, now);
  return result + "; input word 0 = " + DescribeWord("input", 0, InputWord()).substr(sizeof "input word 0 = " - 1);
}

std::string StationDriver::ApplyFault(const ConsoleCommand& command) {
  station::Faults faults = station_->CurrentFaults();
  const std::string name(StationKindName(kind_));
  switch (command.stationFault) {
    case StationFault::Sensor: {
      const auto bit = static_cast<std::uint16_t>(1u << command.index);
      if ((SensorInputs(kind_) & bit) == 0) {
        return "error: fault sensor: input " + std::to_string(command.index) + " has no sensor on the " + name +
               " station (inputs " + Bits(SensorInputs(kind_)) + ")";
      }
      faults.stuckOn = static_cast<std::uint16_t>(faults.stuckOn & ~bit);
      faults.stuckOff = static_cast<std::uint16_t>(faults.stuckOff & ~bit);
      if (command.on) (command.value != 0 ? faults.stuckOn : faults.stuckOff) |= bit;
      break;
    }
    case StationFault::Jam: {
      if (command.index >= CylinderCount(kind_)) {
        return "error: fault jam: the " + name + " station has " +
               (CylinderCount(kind_) == 0 ? std::string("no cylinder")
                                          : "cylinders 0.." + std::to_string(CylinderCount(kind_) - 1));
      }
      const auto bit = static_cast<std::uint8_t>(1u << command.index);
      faults.jammed = static_cast<std::uint8_t>(command.on ? (faults.jammed | bit) : (faults.jammed & ~bit));
      break;
    }
    case StationFault::Air:
      if (CylinderCount(kind_) == 0) return "error: fault air: the belt station runs without compressed air";
      faults.noAir = command.on;
      break;
    case StationFault::Part:
      if (kind_ != StationKind::Stack) return "error: fault part: only the stack station has a magazine";
      faults.partMissing = command.on;
      break;
    case StationFault::Clear: faults = {}; break;
  }
  station_->SetFaults(faults);
  return "faults: " + DescribeFaults();
}

std::string StationDriver::DescribeFaults() const {
  const station::Faults& f = station_->CurrentFaults();
  std::string text;
  auto add = [&text](const std::string& item) { text += (text.empty() ? "" : ", ") + item; };
  if (f.stuckOn != 0) add("stuck on " + Bits(f.stuckOn));
  if (const auto off = static_cast<std::uint16_t>(f.stuckOff & ~f.stuckOn); off != 0) add("stuck off " + Bits(off));
  if (f.jammed != 0) add("jammed cylinder " + Bits(f.jammed));
  if (f.noAir) add("no air");
  if (f.partMissing) add("part missing");
  return text.empty() ? "none" : text;
}

std::string StationDriver::Describe() const {
  std::string text = "  station: " + std::string(StationKindName(kind_)) + " (" + std::string(StationCaption(kind_)) +
                     "), " + (station_->Moving() ? "moving" : "at rest") + "\n";
  // Not "output word 0 = ...": that line announces what the control wrote.
  text += "  outputs: " + DescribeWord("output", 0, station_->Outputs()).substr(sizeof "output word 0 = " - 1) + "\n";
  text += "  sensors: " + DescribeWord("input", 0, station_->Inputs()).substr(sizeof "input word 0 = " - 1) + "\n";
  if (forcedMask_ != 0) {
    const auto on = static_cast<std::uint16_t>(forcedValue_ & forcedMask_);
    text += "  forced: " + Bits(forcedMask_) + " (on: " + (on != 0 ? Bits(on) : std::string("none")) + ")\n";
  }
  text += "  faults: " + DescribeFaults() + "\n";
  std::string parts = station_->Describe();
  for (std::size_t start = 0; start < parts.size();) {
    const std::size_t end = parts.find('\n', start);
    text += "  " + parts.substr(start, end - start) + "\n";
    start = end == std::string::npos ? parts.size() : end + 1;
  }
  return text;
}

}  // namespace brimlink::simtool
