// A pneumatic cylinder in simulated time: it travels between its ends in a
// travel time, and its magnetic end switches are on only in the end positions.
//
// Progress is kept in whole milliseconds of travel so that an end is reached
// exactly at the travel time, with no rounding drift over many small steps.
#pragma once

#include <chrono>
#include <cstdint>

namespace brimlink::station {

using Millis = std::chrono::milliseconds;

inline constexpr Millis kDefaultTravelTime{500};

class Cylinder {
public:
  // What the valve and the air make the piston do.
  enum class Drive { Hold, Extend, Retract };

  explicit Cylinder(Millis travelTime = kDefaultTravelTime);

  // The travel time for a speed factor (2 is twice as fast); never below 1 ms.
  // Returns false, and leaves `out` alone, for a factor that is not positive.
  static bool ScaledTravelTime(Millis base, double factor, Millis& out);

  // Keeps the piston at the same fraction of its stroke, so ends stay ends.
  void SetTravelTime(Millis travelTime);
  Millis TravelTime() const { return travel_; }

  // A jammed cylinder moves as usual but cannot pass or leave the middle of
  // its stroke.
  void Advance(Millis dt, Drive drive, bool jammed);

  // Whether Advance with this drive would move the piston at all.
  bool WouldMove(Drive drive, bool jammed) const;

  double Position() const;  // 0 retracted .. 1 extended
  bool Retracted() const { return progress_ == 0; }
  bool Extended() const { return progress_ == travel_.count(); }

  void Reset() { progress_ = 0; }

private:
  Millis travel_;
  int64_t progress_ = 0;  // 0 .. travel_ in milliseconds of travel
};

}  // namespace brimlink::station
