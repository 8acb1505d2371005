// The control's face in the connection panel: its input and output LEDs
// follow word 0 of the module while connected, PWR whether it is; off when
// not connected.
#include <QImage>
#include <QLabel>

#include "TrainerBench.h"

namespace brimlink::trainertest {
namespace {

struct Face {
  int inputs;
  int outputs;
  bool power;
  friend bool operator==(const Face&, const Face&) = default;
};

std::ostream& operator<<(std::ostream& out, const Face& face) {
  return out << "in " << face.inputs << " out " << face.outputs << (face.power ? " PWR" : " off");
}

// The control's window inside Brimlink1: the one child with the LED properties.
QWidget* FaceWindow(Main& main) {
  for (QWidget* child : main.Brimlink1->findChildren<QWidget*>())
    if (child->property("powerLed").isValid()) return child;
  return nullptr;
}

Face Shown(QWidget* window) {
  return {window->property("inputLeds").toInt(), window->property("outputLeds").toInt(),
          window->property("powerLed").toBool()};
}

QImage Picture(QWidget* window) {
  const QLabel* picture = window->findChild<QLabel*>(QStringLiteral("4711"));
  return picture == nullptr ? QImage() : picture->pixmap().toImage();
}

TEST(MainControlFace, LedsFollowWordZeroWhileConnectedAndPowerTheConnection) {
  qttest::Watchdog watchdog(30s);
  TrainerBench bench;
  bench.AddModule(Model::R16);
  Main& main = bench.Open();
  QWidget* window = FaceWindow(main);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(Shown(window), (Face{0, 0, false}));
  const QImage off = Picture(window);
  ASSERT_FALSE(off.isNull());

  // Outputs switched before connecting show nothing: no module is powered.
  ClickOutput(main, 2);
  EXPECT_EQ(Shown(window), (Face{0, 0, false}));
  ClickOutput(main, 2);

  ASSERT_TRUE(bench.ClickConnect());
  ASSERT_TRUE(main.Verbonden);
  EXPECT_EQ(Shown(window), (Face{main.DecimaalIn & 0xFF, 0, true}));
  EXPECT_NE(Picture(window), off);

  ASSERT_TRUE(bench.SetInputs(0x8105));
  EXPECT_EQ(Shown(window).inputs, 0x05);
  ClickOutput(main, 1);
  ClickOutput(main, 8);
  EXPECT_EQ(Shown(window), (Face{0x05, 0x81, true}));
  EXPECT_TRUE(bench.ModuleOutputBecomes(0x81));
  ASSERT_TRUE(bench.SetInputs(0));
  EXPECT_EQ(Shown(window).inputs, 0);
  main.CMD_ResetAlles->click();
  EXPECT_EQ(Shown(window), (Face{0, 0, true}));

  ClickOutput(main, 3);
  ASSERT_TRUE(bench.SetInputs(0x40));
  EXPECT_EQ(Shown(window), (Face{0x40, 0x04, true}));
  main.CMD_Verbinding->click();
  ASSERT_FALSE(main.Verbonden);
  EXPECT_EQ(Shown(window), (Face{0, 0, false}));
  EXPECT_EQ(Picture(window), off);
}

}  // namespace
}  // namespace brimlink::trainertest
