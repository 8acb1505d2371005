// COM entries of brimlink-sim: a symbolic link ports/COMn -> /dev/pts/N in the
// settings folder, which the control's COM-number mapping follows. The
// control takes an entry named COMn in any letter case, so every case
// variant counts as the same entry here.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace brimlink::simtool {

// settingsFolder + "/ports", created with mode 02775 (as the settings folder)
// when missing. Empty with a message in error when it cannot be made.
std::string EnsurePortsFolder(const std::string& settingsFolder, std::string& error);

// The names in folder that are the entry of COM com in any letter case.
std::vector<std::string> ComEntries(const std::string& folder, int com);

// The first COM number after `after` (up to 255) that has no entry in folder
// and is not in taken; 0 when there is none.
int NextFreeCom(const std::string& folder, int after, const std::set<int>& taken);

// Links folder/COMn to target and removes it again when destroyed, but only
// while it still points at target (someone may have replaced it meanwhile).
class PortLink {
 public:
  PortLink() = default;
  ~PortLink() { Remove(); }
  PortLink(PortLink&& other) noexcept;
  PortLink& operator=(PortLink&& other) noexcept;
  PortLink(const PortLink&) = delete;
  PortLink& operator=(const PortLink&) = delete;

  // An existing entry that already links to target is taken over as this
  // program's own. Any other entry (in any letter case) is refused with a
  // message naming it, unless force, which replaces it.
  bool Create(const std::string& folder, int com, const std::string& target, bool force, std::string& error);
  // True when the link was there and pointed at target.
  bool Remove();

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::string target_;
};

}  // namespace brimlink::simtool
