#include "trainer/core/DataFolders.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "control/interface/Creation.h"

namespace brimlink::trainer {

namespace fs = std::filesystem;

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

std::vector<std::string_view> SplitLiteral(std::string_view literal) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= literal.size()) {
    const std::size_t end = std::min(literal.find_first_of("\\/", start), literal.size());
    if (end > start) parts.push_back(literal.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// The entry of `folder` named `part`: the exact name when it exists, else the
// first entry equal to it without regard to letter case.
std::optional<fs::path> FindEntry(const fs::path& folder, std::string_view part) {
  std::error_code error;
  const fs::path exact = folder / std::string(part);
  if (fs::exists(exact, error)) return exact;
  std::vector<fs::path> matches;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (EqualsIgnoringCase(it->path().filename().string(), part)) matches.push_back(it->path());
  }
  if (matches.empty()) return std::nullopt;
  // Directory order is arbitrary; the sorted first keeps the choice stable.
  return *std::ranges::min_element(matches);
}

}  // namespace

std::string ProgramFolder() { return automation::ProgramFolder(); }

std::string ResolveLiteral(std::string_view folder, std::string_view literal) {
  const std::vector<std::string_view> parts = SplitLiteral(literal);
  if (parts.empty()) return {};
  fs::path path{std::string(folder)};
  for (const std::string_view part : parts) {
    if (part == "." || part == "..") return {};
    const std::optional<fs::path> entry = FindEntry(path, part);
    if (!entry) return {};
    path = *entry;
  }
  std::error_code error;
  if (!fs::is_regular_file(path, error)) return {};
  return path.string();
}

std::string DataFolderOf(std::string_view programFolder, std::string_view relativeDataFolder) {
  std::error_code error;
  const fs::path program{std::string(programFolder)};
  for (const std::string_view name : {"Afbeeldingen", "Geluiden"}) {
    const std::optional<fs::path> entry = FindEntry(program, name);
    if (entry && fs::is_directory(*entry, error)) return std::string(programFolder);
  }
  const fs::path installed = (program / std::string(relativeDataFolder)).lexically_normal();
  if (!relativeDataFolder.empty() && fs::is_directory(installed, error)) return installed.string();
  return std::string(programFolder);
}

std::string DataFolder() { return DataFolderOf(ProgramFolder(), BRIMLINK_DATA_FOLDER_FROM_PROGRAM); }

std::string ResolveDataFile(std::string_view literal) { return ResolveLiteral(DataFolder(), literal); }

}  // namespace brimlink::trainer
