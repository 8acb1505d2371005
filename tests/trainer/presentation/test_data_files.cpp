// Every picture and sound the trainer names is in its data folder and loads.
// The names are read from the trainer's sources when the test runs, so a
// literal added to the code without its file fails here; the numbered
// close-ups, whose names the description window builds from the number, are
// built here the same way.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "trainer/core/DataFolders.h"

namespace brimlink::trainer {
namespace {

namespace fs = std::filesystem;

// tests/trainer/presentation/<this file> -> the project's trainer folder.
fs::path TrainerSources() { return fs::path(__FILE__).parent_path().parent_path().parent_path().parent_path() / "trainer"; }

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && Lower(text.substr(text.size() - suffix.size())) == suffix;
}

// The literal as the trainer resolves it: pictures under "Afbeeldingen",
// sounds under "Geluiden"; a literal that carries its folder keeps it.
std::string AsDataLiteral(std::string name) {
  // In the source a backslash is written twice.
  for (std::size_t at = name.find("\\\\"); at != std::string::npos; at = name.find("\\\\", at + 1)) name.erase(at, 1);
  const std::string lower = Lower(name);
  if (lower.find("afbeeldingen") != std::string::npos || lower.find("geluiden") != std::string::npos) return name;
  return (EndsWith(name, ".wav") ? "\\Geluiden\\" : "\\Afbeeldingen\\") + name;
}

// Every string literal of the trainer's C++ sources that names a picture or
// a sound: one that begins with the picture folder, or a whole file name
// (beginning with a letter, so that a fragment such as " cijfers.jpg" of a
// built name is not taken for a file).
std::set<std::string> NamesInSources() {
  static const std::regex literal(R"re("([^"\n]+\.(?:bmp|jpg|wav))")re", std::regex::icase);
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(TrainerSources())) {
    const std::string extension = Lower(entry.path().extension().string());
    if (!entry.is_regular_file() || (extension != ".cpp" && extension != ".h")) continue;
    std::ifstream in(entry.path());
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (std::sregex_iterator it(text.begin(), text.end(), literal), end; it != end; ++it) {
      const std::string name = (*it)[1].str();
      const bool withFolder = Lower(name).rfind("\\\\afbeeldingen\\\\", 0) == 0;
      if (withFolder || std::isalpha(static_cast<unsigned char>(name.front()))) names.insert(AsDataLiteral(name));
    }
  }
  return names;
}

struct Station {
  std::string picturePrefix;  // the close-up path up to the number
  int closeUps;               // numbers with a close-up of their own
};

// The overview photographs, and the close-ups as the description window
// builds them: numbers below 10 with a leading zero.
const std::vector<Station>& Stations() {
  static const std::vector<Station> stations = {
      {"\\Afbeeldingen\\Station Stapel Magazijn cijfers", 11},
      {"\\Afbeeldingen\\Station Transportband cijfers", 8},
      {"\\Afbeeldingen\\Station Handling cijfers", 11},
  };
  return stations;
}

std::string Overview(const Station& station) { return station.picturePrefix + ".jpg"; }

std::string CloseUp(const Station& station, int number) {
  return station.picturePrefix + (number < 10 ? " 0" : " ") + std::to_string(number) + ".jpg";
}

std::string Resolved(const std::string& literal) { return ResolveDataFile(literal); }

QImage LoadPicture(const std::string& path) {
  QImage image;
  image.load(QString::fromStdString(path));
  return image;
}

// The first bytes say which format the file really is, whatever its name.
QByteArray Head(const std::string& path, qint64 size) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.read(size);
}

void ExpectPicture(const std::string& literal) {
  const std::string path = Resolved(literal);
  ASSERT_FALSE(path.empty()) << literal << " is not in " << ProgramFolder();
  const QByteArray head = Head(path, 2);
  if (EndsWith(literal, ".jpg")) {
    EXPECT_EQ(head, QByteArray("\xFF\xD8", 2)) << path << " is not a JPEG file";
  } else {
    EXPECT_EQ(head, QByteArray("BM")) << path << " is not a Windows bitmap";
  }
  const QImage image = LoadPicture(path);
  ASSERT_FALSE(image.isNull()) << path << " does not load";
  EXPECT_GE(image.width(), 16) << path;
  EXPECT_GE(image.height(), 16) << path;
}

std::uint32_t Little32(const QByteArray& bytes, qsizetype at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
  return value;
}

TEST(DataFiles, TheSourcesNameTheStationPicturesAndTheFourSounds) {
  ASSERT_TRUE(fs::is_directory(TrainerSources())) << TrainerSources();
  const std::set<std::string> names = NamesInSources();
  // If these are missing the collector itself is broken and the checks below prove nothing.
  EXPECT_TRUE(names.count("\\Afbeeldingen\\Transportband org.bmp")) << "station photo literal not found";
  for (const char* sound : {"Klik 01.wav", "Klik 02.wav", "Verbonden.wav", "Verbroken.wav"}) {
    EXPECT_TRUE(names.count(std::string("\\Geluiden\\") + sound)) << sound;
  }
}

TEST(DataFiles, EveryPictureTheSourcesNameIsThereAndLoads) {
  int pictures = 0;
  for (const std::string& literal : NamesInSources()) {
    if (EndsWith(literal, ".wav")) continue;
    SCOPED_TRACE(literal);
    ExpectPicture(literal);
    ++pictures;
  }
  EXPECT_GE(pictures, 7);
}

TEST(DataFiles, EveryOverviewAndCloseUpIsThereAndFitsItsOverview) {
  for (const Station& station : Stations()) {
    SCOPED_TRACE(station.picturePrefix);
    ExpectPicture(Overview(station));
    const QImage overview = LoadPicture(Resolved(Overview(station)));
    for (int number = 1; number <= station.closeUps; ++number) {
      const std::string literal = CloseUp(station, number);
      SCOPED_TRACE(literal);
      ExpectPicture(literal);
      // The close-up is stretched into the place the overview was fitted to,
      // so it must keep the overview's shape.
      const QImage closeUp = LoadPicture(Resolved(literal));
      EXPECT_EQ(closeUp.size(), overview.size());
    }
  }
  // Number 10 has no leading zero, number 9 has one.
  EXPECT_EQ(CloseUp(Stations()[0], 10), "\\Afbeeldingen\\Station Stapel Magazijn cijfers 10.jpg");
  EXPECT_EQ(CloseUp(Stations()[2], 9), "\\Afbeeldingen\\Station Handling cijfers 09.jpg");
}

TEST(DataFiles, EverySoundIsAPcmWaveWithSamples) {
  int sounds = 0;
  for (const std::string& literal : NamesInSources()) {
    if (!EndsWith(literal, ".wav")) continue;
    SCOPED_TRACE(literal);
    ++sounds;
    const std::string path = Resolved(literal);
    ASSERT_FALSE(path.empty()) << literal << " is not in " << ProgramFolder();
    const QByteArray bytes = Head(path, 1 << 24);
    ASSERT_GE(bytes.size(), 12);
    ASSERT_EQ(bytes.left(4), QByteArray("RIFF"));
    ASSERT_EQ(bytes.mid(8, 4), QByteArray("WAVE"));
    EXPECT_EQ(Little32(bytes, 4), static_cast<std::uint32_t>(bytes.size() - 8)) << "RIFF size";
    bool pcm = false;
    std::uint32_t dataSize = 0;
    for (qsizetype at = 12; at + 8 <= bytes.size();) {
      const QByteArray id = bytes.mid(at, 4);
      const std::uint32_t size = Little32(bytes, at + 4);
      ASSERT_LE(at + 8 + static_cast<qsizetype>(size), bytes.size()) << "chunk " << id.constData() << " overruns the file";
      if (id == "fmt " && size >= 16) pcm = static_cast<std::uint8_t>(bytes[at + 8]) == 1 && bytes[at + 9] == 0;
      if (id == "data") dataSize = size;
      at += 8 + size + (size & 1);
    }
    EXPECT_TRUE(pcm) << "no PCM format chunk";
    EXPECT_GT(dataSize, 0u) << "no samples";
  }
  EXPECT_EQ(sounds, 4);
}

TEST(DataFiles, NoTwoDataFilesDifferOnlyInLetterCase) {
  // The trainer matches names without regard to case, so two such files
  // would leave it to chance which one is shown.
  for (const char* folder : {"Afbeeldingen", "Geluiden"}) {
    const fs::path path = fs::path(ProgramFolder()) / folder;
    ASSERT_TRUE(fs::is_directory(path)) << path;
    std::map<std::string, std::string> seen;
    for (const auto& entry : fs::directory_iterator(path)) {
      const std::string name = entry.path().filename().string();
      const auto [it, added] = seen.emplace(Lower(name), name);
      EXPECT_TRUE(added) << name << " and " << it->second;
    }
  }
}

}  // namespace
}  // namespace brimlink::trainer
