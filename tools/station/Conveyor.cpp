#include "tools/station/Conveyor.h"

#include <algorithm>

namespace brimlink::station {

Conveyor::Conveyor(Parts* shared, BeltLayout layout) : parts_(shared ? *shared : own_), layout_(layout) {}

int Conveyor::PutPart(Material material) { return parts_.Add(material, Location::Belt, layout_.startUm); }

void Conveyor::FeedEvery(Millis interval, std::vector<Material> cycle) {
  feedInterval_ = cycle.empty() ? Millis(0) : std::max(interval, Millis(0));
  feedCycle_ = std::move(cycle);
  feedElapsed_ = Millis(0);
  feedNext_ = 0;
}

void Conveyor::Reset() {
  parts_.Clear();
  stopper_ = motor_ = reverse_ = false;
  feedElapsed_ = Millis(0);
  feedNext_ = 0;
  outputs_ = 0;
}

// Travel times are the cylinders'; the belt runs at its own speed.
bool Conveyor::SetSpeedFactor(double factor) { return factor > 0.0; }

void Conveyor::ApplyOutputs(uint16_t word0) {
  stopper_ = word0 & 1u;
  motor_ = word0 & 2u;
  reverse_ = word0 & 4u;
}

void Conveyor::Advance(Millis dt) {
  if (dt.count() <= 0) return;
  if (motor_) {
    const int64_t distance = dt.count() * layout_.speedUmPerMs;
    for (Part& part : parts_.All()) {
      if (part.location != Location::Belt) continue;
      if (reverse_) {
        part.beltPositionUm = std::max(part.beltPositionUm - distance, layout_.startUm);
        continue;
      }
      const int64_t next = part.beltPositionUm + distance;
      if (stopper_ && part.beltPositionUm < layout_.stopperUm && next >= layout_.stopperUm)
        parts_.MoveTo(part, Location::Chute);
      else if (next >= layout_.lengthUm)
        parts_.MoveTo(part, Location::End);
      else
        part.beltPositionUm = next;
    }
  }
  if (feedInterval_.count() > 0) {
    feedElapsed_ += dt;
    while (feedElapsed_ >= feedInterval_) {
      feedElapsed_ -= feedInterval_;
      PutPart(feedCycle_[feedNext_]);
      feedNext_ = (feedNext_ + 1) % feedCycle_.size();
    }
  }
}

bool Conveyor::Moving() const {
  if (feedInterval_.count() > 0) return true;
  if (!motor_) return false;
  return std::any_of(parts_.All().begin(), parts_.All().end(), [&](const Part& part) {
    return part.location == Location::Belt && (!reverse_ || part.beltPositionUm > layout_.startUm);
  });
}

bool Conveyor::Sees(int64_t sensorUm, bool metalOnly) const {
  return std::any_of(parts_.All().begin(), parts_.All().end(), [&](const Part& part) {
    return part.location == Location::Belt && (!metalOnly || part.material == Material::Metal) &&
           part.beltPositionUm >= sensorUm - layout_.partWidthUm / 2 &&
           part.beltPositionUm <= sensorUm + layout_.partWidthUm / 2;
  });
}

uint16_t Conveyor::RawInputs() const {
  return static_cast<uint16_t>((Sees(layout_.inductiveUm, true) ? 1u : 0u) |
                               (Sees(layout_.opticalUm, false) ? 2u : 0u));
}

}  // namespace brimlink::station
