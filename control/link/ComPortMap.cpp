#include "control/link/ComPortMap.h"

#include <dirent.h>
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace brimlink::link {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

// The entry of ports/ named `name` without regard to letter case.
std::string PortsEntry(std::string_view settingsFolder, const char* name) {
  if (settingsFolder.empty()) return {};
  std::string folder(settingsFolder);
  folder += "/ports";
  const std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
  if (!dir) return {};
  // An entry spelt exactly as asked wins over one in another letter case.
  std::string other;
  while (const dirent* entry = readdir(dir.get())) {
    if (std::strcmp(entry->d_name, name) == 0) return folder + "/" + entry->d_name;
    if (other.empty() && strcasecmp(entry->d_name, name) == 0) other = folder + "/" + entry->d_name;
  }
  return other;
}

}  // namespace

std::string ComDevicePath(std::uint32_t com, std::string_view settingsFolder) {
  if (com < 1 || com > 255) return {};
  char name[16];
  std::snprintf(name, sizeof name, "COM%u", static_cast<unsigned>(com));
  if (std::string entry = PortsEntry(settingsFolder, name); !entry.empty()) return entry;

  struct Range {
    std::uint32_t first;
    const char* prefix;
  };
  static constexpr Range kRanges[] = {{1, "/dev/ttyS"}, {33, "/dev/ttyUSB"}, {65, "/dev/ttyACM"}};
  for (const Range& range : kRanges) {
    if (com >= range.first && com < range.first + 32) {
      char path[32];
      std::snprintf(path, sizeof path, "%s%u", range.prefix, static_cast<unsigned>(com - range.first));
      return path;
    }
  }
  return {};
}

}  // namespace brimlink::link
