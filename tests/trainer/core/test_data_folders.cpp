// Picture and sound literals resolved under a folder: '\' and '/' both
// separate, letter case does not count, and only an existing file answers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/TempFolder.h"
#include "trainer/core/DataFolders.h"

namespace brimlink::trainer {
namespace {

namespace fs = std::filesystem;

class DataFolders : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(root.Path().empty()); }

  std::string Make(const std::string& relative) {
    const fs::path path = fs::path(root.Path()) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
    return path.string();
  }

  testing::TempFolder root{"trainer-data"};
};

TEST_F(DataFolders, PictureLiteralWithBackslashesAndOtherCaseFindsTheFile) {
  const std::string file = Make("Afbeeldingen/Transportband org.bmp");
  EXPECT_EQ(ResolveLiteral(root.Path(), "\\Afbeeldingen\\Transportband org.bmp"), file);
  EXPECT_EQ(ResolveLiteral(root.Path(), "\\afbeeldingen\\TRANSPORTBAND ORG.BMP"), file);
  EXPECT_EQ(ResolveLiteral(root.Path(), "/Afbeeldingen/transportband org.bmp"), file);
  // Doubled and mixed separators are one separator.
  EXPECT_EQ(ResolveLiteral(root.Path(), "\\\\Afbeeldingen//\\Transportband org.bmp"), file);
}

TEST_F(DataFolders, TheSameFileWrittenInTwoCasesIsOneFile) {
  // The figure table and the picture switch write this file differently.
  const std::string file = Make("Afbeeldingen/Cilinder enkelwerkend.bmp");
  EXPECT_EQ(ResolveLiteral(root.Path(), "\\Afbeeldingen\\Cilinder Enkelwerkend.bmp"), file);
  EXPECT_EQ(ResolveLiteral(root.Path(), "\\Afbeeldingen\\Cilinder enkelwerkend.bmp"), file);
}

TEST_F(DataFolders, AnExactMatchWinsOverOneInAnotherCase) {
  const std::string lower = Make("Geluiden/klik 01.wav");
  const std::string exact = Make("Geluiden/Klik 01.wav");
  EXPECT_EQ(ResolveLiteral(root.Path(), "Geluiden/Klik 01.wav"), exact);
  EXPECT_EQ(ResolveLiteral(root.Path(), "Geluiden/klik 01.wav"), lower);
}

TEST_F(DataFolders, NothingAnswersForAMissingFileFolderOrEmptyLiteral) {
  Make("Afbeeldingen/Brimlink mini.bmp");
  EXPECT_EQ(ResolveLiteral(root.Path(), "\\Afbeeldingen\\Brimlink R16.bmp"), "");
  EXPECT_EQ(ResolveLiteral(root.Path(), "\\Plaatjes\\Brimlink mini.bmp"), "");
  // A folder is not a picture.
  EXPECT_EQ(ResolveLiteral(root.Path(), "\\Afbeeldingen"), "");
  EXPECT_EQ(ResolveLiteral(root.Path(), ""), "");
  EXPECT_EQ(ResolveLiteral(root.Path(), "\\\\"), "");
  EXPECT_EQ(ResolveLiteral(root.Path() + "/missing", "Afbeeldingen\\Brimlink mini.bmp"), "");
}

TEST_F(DataFolders, ALiteralCannotClimbOutOfTheFolder) {
  const fs::path outside = fs::path(root.Path()) / "outside.wav";
  std::ofstream(outside) << "x";
  Make("Geluiden/Klik 01.wav");
  EXPECT_EQ(ResolveLiteral(root.Path() + "/Geluiden", "..\\outside.wav"), "");
  EXPECT_EQ(ResolveLiteral(root.Path() + "/Geluiden", "../Outside.wav"), "");
}

// Build tree: the data beside the program. Installed tree: bin/ holds no
// data, <prefix>/share/brimlink does.
TEST_F(DataFolders, TheDataFolderIsBesideTheProgramElseTheInstalledOne) {
  const std::string prefix = root.Path();
  const std::string bin = prefix + "/bin";
  const std::string installed = prefix + "/share/brimlink";
  fs::create_directories(bin);
  EXPECT_EQ(DataFolderOf(bin, "../share/brimlink"), bin) << "nothing anywhere: the program folder";

  Make("share/brimlink/Afbeeldingen/Brimlink mini.bmp");
  EXPECT_EQ(DataFolderOf(bin, "../share/brimlink"), installed);
  EXPECT_EQ(DataFolderOf(bin, "../share/other"), bin) << "a missing installed folder is not taken";
  EXPECT_EQ(DataFolderOf(bin, ""), bin);

  // A file of that name is no data folder.
  Make("bin/Afbeeldingen");
  EXPECT_EQ(DataFolderOf(bin, "../share/brimlink"), installed);
  fs::remove(bin + "/Afbeeldingen");

  // Either folder, in any letter case, makes the program folder the data folder.
  fs::create_directories(bin + "/geluiden");
  EXPECT_EQ(DataFolderOf(bin, "../share/brimlink"), bin);
  fs::remove(bin + "/geluiden");
  fs::create_directories(bin + "/AFBEELDINGEN");
  EXPECT_EQ(DataFolderOf(bin, "../share/brimlink"), bin);
}

TEST(ProgramFolder, IsTheFolderOfTheRunningProgram) {
  const fs::path self = fs::read_symlink("/proc/self/exe");
  EXPECT_EQ(fs::path(ProgramFolder()), self.parent_path());
  EXPECT_EQ(ResolveDataFile(self.filename().string()), self.string());
}

}  // namespace
}  // namespace brimlink::trainer
