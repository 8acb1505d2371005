// The figure alternation of Timer_Wissel_Afbeelding and the version box of
// Image1.
#include <QImage>
#include <algorithm>

#include "TrainerBench.h"
#include "trainer/presentation/PictureSwitching.h"

namespace brimlink::trainertest {
namespace {

TEST(MainPictures, FourTicksShowCylinderValveCylinderValveCylinder) {
  TrainerBench bench;
  Main& main = bench.Open();
  main.CMD_StapelMagazijn->click();
  main.OnderdeelNaam = "Dubbelwerkende cilinder";
  std::vector<std::string> names;
  std::vector<std::string> pictures;
  for (int tick = 0; tick < 4; ++tick) {
    main.Timer_Wissel_Afbeelding_Timer();
    names.push_back(main.OnderdeelNaam);
    pictures.push_back(main.ImageSensorActuator->Literal());
    EXPECT_EQ(Title(main.FrameSensorActuator), main.OnderdeelNaam);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"4-2 Ventiel bistabiel", "Dubbelwerkende cilinder",
                                             "4-2 Ventiel bistabiel", "Dubbelwerkende cilinder"}));
  EXPECT_EQ(pictures[0], "\\Afbeeldingen\\Stapel magazijn 4-2 Ventiel Bistabiel.bmp");
  EXPECT_EQ(pictures[1], "\\Afbeeldingen\\Cilinder dubbelwerkend.bmp");
}

TEST(MainPictures, TheHandlingCylinderAlwaysComesBackAsTheRodInPicture) {
  EXPECT_EQ(trainer::NextFigure("Dubbelwerkende cilinder ADN")->name, "4-2 Ventiel bistabiel ADN");
  EXPECT_EQ(trainer::NextFigure("4-2 Ventiel bistabiel ADN")->picture, "\\Afbeeldingen\\Cilinder Dubbelwerkend ADN.bmp");
  EXPECT_EQ(trainer::NextFigure("Grijper")->name, "4-2 Ventiel Mono stabiel Grijper");
  EXPECT_EQ(trainer::NextFigure("4-2 Ventiel Mono stabiel Grijper")->name, "Grijper");
  EXPECT_FALSE(trainer::NextFigure("Magnetische sensor"));
  EXPECT_FALSE(trainer::NextFigure("4-2 ventiel monostabiel"));  // compared exactly
}

TEST(MainPictures, OtherFiguresOnlyGetTheirCaptionRewritten) {
  TrainerBench bench;
  Main& main = bench.Open();
  main.CMD_Transportband->click();
  for (const char* name : {"Gelijkstroom motor", "Magnetische sensor", "Sensor / Actuator"}) {
    main.OnderdeelNaam = name;
    main.FrameSensorActuator->setTitle(QStringLiteral("other"));
    const std::string before = main.ImageSensorActuator->Literal();
    main.Timer_Wissel_Afbeelding_Timer();
    EXPECT_EQ(main.OnderdeelNaam, name);
    EXPECT_EQ(Title(main.FrameSensorActuator), name);
    EXPECT_EQ(main.ImageSensorActuator->Literal(), before);
  }
}

TEST(MainPictures, Image1ShowsItsBadgeAndItsClickTheVersionBox) {
  TrainerBench bench;
  Main& main = bench.Open();
  // The badge is there from the start: blue round the edge, the white "i"
  // in the middle, over the frame's own colour in the corner.
  ASSERT_TRUE(main.Image1->HasPicture());
  EXPECT_EQ(main.Image1->Literal(), "\\Afbeeldingen\\About.bmp");
  EXPECT_EQ(main.Image1->cursor().shape(), Qt::PointingHandCursor);
  const QImage shown = main.Image1->grab().toImage();
  ASSERT_EQ(shown.size(), QSize(64, 64));
  const QColor middle = shown.pixelColor(32, 34);
  EXPECT_GT(std::min({middle.red(), middle.green(), middle.blue()}), 220);
  const QColor ring = shown.pixelColor(14, 32);
  EXPECT_GT(ring.blue(), ring.red() + 60);

  emit main.Image1->clicked();
  ASSERT_EQ(bench.informations.size(), 1u);
  const auto& [title, text] = bench.informations.front();
  EXPECT_EQ(title, "trainer_tests");  // the executable's name
  const auto cr = text.find('\r');
  ASSERT_NE(cr, std::string::npos);
  EXPECT_EQ(text.find('\r', cr + 1), std::string::npos);  // one line, CR, the version
  EXPECT_EQ(text.substr(cr + 1, 8), "Versie: ");
  const std::string version = text.substr(cr + 9);
  EXPECT_EQ(std::count(version.begin(), version.end(), '.'), 2) << version;
}

}  // namespace
}  // namespace brimlink::trainertest
