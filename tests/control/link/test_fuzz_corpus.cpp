// Replays every input of the fuzz corpus (tests/fuzz/corpus) through the fuzz
// harness, so that the seeds and every crash the fuzzer ever found stay
// checked in the ordinary and the sanitizer builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/FuzzHarness.h"

namespace brimlink::fuzz {
namespace {

std::filesystem::path CorpusFolder() {
#ifdef BRIMLINK_FUZZ_CORPUS_DIR
  return std::filesystem::path(BRIMLINK_FUZZ_CORPUS_DIR);
#else
  // tests/control/link/<this file> -> tests/fuzz/corpus
  return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "fuzz" / "corpus";
#endif
}

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(FuzzCorpus, EveryInputKeepsTheInvariants) {
  const std::filesystem::path folder = CorpusFolder();
  ASSERT_TRUE(std::filesystem::is_directory(folder)) << "corpus folder missing: " << folder;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty()) << "corpus folder empty: " << folder;

  for (const auto& file : files) {
    SCOPED_TRACE(file.filename().string());
    const std::vector<std::uint8_t> input = ReadFile(file);
    std::string why;
    EXPECT_TRUE(RunFuzzInput(input.data(), input.size(), &why)) << why;
  }
}

TEST(FuzzCorpus, EmptyAndHeaderOnlyInputsRun) {
  EXPECT_TRUE(RunFuzzInput(nullptr, 0));
  for (int b = 0; b < 256; ++b) {
    const std::uint8_t header[kHeaderSize] = {static_cast<std::uint8_t>(b), 1, static_cast<std::uint8_t>(b % 9), 0};
    std::string why;
    EXPECT_TRUE(RunFuzzInput(header, sizeof header, &why)) << "header byte " << b << ": " << why;
  }
}

}  // namespace
}  // namespace brimlink::fuzz
