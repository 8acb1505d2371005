// Where every part of a station is. Parts are only ever moved from one place
// to another, never dropped or copied, so a count over all places stays equal
// to the number of parts put in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brimlink::station {

enum class Material { Metal, Plastic };

enum class Location {
  Magazine,  // in the stack magazine
  Plate,     // on the station's mounting place
  Belt,      // on the conveyor belt, at beltPositionUm
  Gripper,   // held by the gripper
  Chute,     // sorted off onto the chute
  End,       // at the end of the line (end of the belt, or pushed off the plate)
};

inline constexpr Location kAllLocations[] = {Location::Magazine, Location::Plate, Location::Belt,
                                             Location::Gripper,  Location::Chute, Location::End};

struct Part {
  int id = 0;
  Material material = Material::Plastic;
  Location location = Location::Magazine;
  int64_t beltPositionUm = 0;  // only meaningful on the belt
  int64_t order = 0;           // later arrivals lie on top of earlier ones
  bool pressed = false;        // a lid was pressed on it
};

class Parts {
public:
  int Add(Material material, Location location, int64_t beltPositionUm = 0);
  // Moves the part on top of whatever already lies at `location`.
  void MoveTo(Part& part, Location location, int64_t beltPositionUm = 0);

  Part* Top(Location location);     // the last to arrive, or null
  Part* Bottom(Location location);  // the first to arrive, or null
  int Count(Location location) const;
  int Total() const { return static_cast<int>(parts_.size()); }

  std::vector<Part>& All() { return parts_; }
  const std::vector<Part>& All() const { return parts_; }

  void Clear();

  // One line per part in id order, e.g. "part #2 (metal): on the belt at 120 mm".
  std::string Describe() const;

private:
  std::vector<Part> parts_;
  int nextId_ = 1;
  int64_t nextOrder_ = 1;
};

const char* ToString(Material material);

}  // namespace brimlink::station
