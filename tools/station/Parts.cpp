#include "tools/station/Parts.h"

#include <algorithm>

namespace brimlink::station {

const char* ToString(Material material) {
  return material == Material::Metal ? "metal" : "plastic";
}

int Parts::Add(Material material, Location location, int64_t beltPositionUm) {
  Part part;
  part.id = nextId_++;
  part.material = material;
  part.location = location;
  part.beltPositionUm = beltPositionUm;
  part.order = nextOrder_++;
  parts_.push_back(part);
  return part.id;
}

void Parts::MoveTo(Part& part, Location location, int64_t beltPositionUm) {
  part.location = location;
  part.beltPositionUm = beltPositionUm;
  part.order = nextOrder_++;
}

Part* Parts::Top(Location location) {
  Part* found = nullptr;
  for (Part& part : parts_)
    if (part.location == location && (!found || part.order > found->order)) found = &part;
  return found;
}

Part* Parts::Bottom(Location location) {
  Part* found = nullptr;
  for (Part& part : parts_)
    if (part.location == location && (!found || part.order < found->order)) found = &part;
  return found;
}

int Parts::Count(Location location) const {
  return static_cast<int>(std::count_if(parts_.begin(), parts_.end(),
                                        [location](const Part& part) { return part.location == location; }));
}

void Parts::Clear() {
  parts_.clear();
  nextId_ = 1;
  nextOrder_ = 1;
}

std::string Parts::Describe() const {
  if (parts_.empty()) return "no parts\n";
  std::string text;
  for (const Part& part : parts_) {
    text += "part #" + std::to_string(part.id) + " (" + ToString(part.material) + "): ";
    switch (part.location) {
      case Location::Magazine: text += "in the magazine"; break;
      case Location::Plate: text += "on the plate"; break;
      case Location::Belt: text += "on the belt at " + std::to_string(part.beltPositionUm / 1000) + " mm"; break;
      case Location::Gripper: text += "in the gripper"; break;
      case Location::Chute: text += "on the chute"; break;
      case Location::End: text += "at the end"; break;
    }
    if (part.pressed) text += ", lid pressed";
    text += '\n';
  }
  return text;
}

}  // namespace brimlink::station
