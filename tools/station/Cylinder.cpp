#include "tools/station/Cylinder.h"

#include <algorithm>
#include <cmath>

namespace brimlink::station {

Cylinder::Cylinder(Millis travelTime) : travel_(std::max(travelTime, Millis(1))) {}

bool Cylinder::ScaledTravelTime(Millis base, double factor, Millis& out) {
  if (!(factor > 0.0) || !std::isfinite(factor)) return false;
  const double scaled = std::round(static_cast<double>(base.count()) / factor);
  out = Millis(static_cast<int64_t>(std::clamp(scaled, 1.0, 3600000.0)));
  return true;
}

void Cylinder::SetTravelTime(Millis travelTime) {
  const int64_t next = std::max<int64_t>(travelTime.count(), 1);
  // Round to nearest, but an intermediate position never becomes an end.
  int64_t mapped = (progress_ * next + travel_.count() / 2) / travel_.count();
  if (progress_ > 0 && progress_ < travel_.count()) mapped = std::clamp<int64_t>(mapped, 1, std::max<int64_t>(next - 1, 1));
  if (next == 1 && progress_ > 0 && progress_ < travel_.count()) mapped = 0;
  progress_ = std::clamp<int64_t>(mapped, 0, next);
  travel_ = Millis(next);
}

void Cylinder::Advance(Millis dt, Drive drive, bool jammed) {
  if (dt.count() <= 0 || drive == Drive::Hold) return;
  const int64_t middle = travel_.count() / 2;
  if (jammed && progress_ == middle) return;
  const int64_t step = drive == Drive::Extend ? dt.count() : -dt.count();
  int64_t next = std::clamp<int64_t>(progress_ + step, 0, travel_.count());
  if (jammed && ((progress_ < middle && next > middle) || (progress_ > middle && next < middle))) next = middle;
  progress_ = next;
}

bool Cylinder::WouldMove(Drive drive, bool jammed) const {
  if (drive == Drive::Hold) return false;
  if (jammed && progress_ == travel_.count() / 2) return false;
  return drive == Drive::Extend ? progress_ < travel_.count() : progress_ > 0;
}

double Cylinder::Position() const {
  return static_cast<double>(progress_) / static_cast<double>(travel_.count());
}

}  // namespace brimlink::station
