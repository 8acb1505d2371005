// COM entries of brimlink-sim: a symbolic link ports/COMn -> /dev/pts/N in the
// settings folder, which the control's COM-number mapping follows. The
// control takes an entry named COMn in any letter case, so every case
// variant counts as the same entry here.
//
// Beside each link the program records its owner in ports/.COMn.owner, one
// line "PID STARTTIME TARGET": the process id, its start time (field 22 of
// /proc/PID/stat, clock ticks after boot; 0 when unknown) and the link's
// target. A link whose recorded owner has ended (killed, crashed) points at
// a pseudo-terminal that is free for the next program to take; such a link
// is replaced without --force. The start time tells the owner from a later
// process that was given the same id.
//
// Every change goes through a descriptor of the ports/ folder opened without
// following a symbolic link, so nothing is ever written through a ports/
// that someone replaced by a link.
#pragma once

#include <sys/types.h>

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace brimlink::simtool {

// settingsFolder + "/ports", created with mode 02775 (as the settings folder)
// when missing. Empty with a message in error when it cannot be made or is
// not a real folder (a symbolic link is refused).
std::string EnsurePortsFolder(const std::string& settingsFolder, std::string& error);

// What ports/.COMn.owner says.
struct LinkOwner {
  pid_t pid = 0;
  unsigned long long startTime = 0;  // 0: not known
  std::string target;
};

// The start time of process pid as /proc/PID/stat gives it; nullopt when
// the process does not exist, has ended (a zombie) or the file is unreadable.
std::optional<unsigned long long> ProcessStartTime(pid_t pid);

// False only when the owner has certainly ended: no process with its id, a
// zombie, or one that started at another time. A process the system hides
// counts as alive.
bool OwnerIsAlive(const LinkOwner& owner);

// The record of COM com in folder; nullopt when there is none or it cannot
// be read.
std::optional<LinkOwner> ReadLinkOwner(const std::string& folder, int com);

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
  // program's own. The link COMn of an owner that has ended is replaced (a
  // line saying so goes to note). Any other entry (in any letter case) is
  // refused with a message naming it, unless force, which replaces it. The
  // owner record names this process afterwards.
  bool Create(const std::string& folder, int com, const std::string& target, bool force, std::string& error,
              std::string* note = nullptr);
  // True when the link was there and pointed at target. The owner record
  // goes too while it is this link's.
  bool Remove();

  const std::string& Path() const { return path_; }

 private:
  std::string folder_;
  std::string path_;
  std::string target_;
  int com_ = 0;
};

}  // namespace brimlink::simtool
