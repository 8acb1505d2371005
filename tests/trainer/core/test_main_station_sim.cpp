// The trainer against brimlink-sim running the handling station: the pupil
// switches a valve, the cylinder travels, and its end switch lights the lamp
// the trainer names for it; with the gripper down the trainer's interlock
// keeps the horizontal cylinder where it is.
#include <csignal>
#include <map>

// Before Qt's headers, whose "signals" macro it would meet.
#include "support/ChildProcess.h"
#include "TrainerBench.h"

namespace brimlink::trainertest {
namespace {

using brimlink::testing::ChildProcess;

constexpr const char* kRefusalTitle = "Beweging iet toegestaan!";

// The output switch and the input lamp of the shown view with these names.
QPushButton* OutputNamed(Main& main, const std::string& name) {
  for (QPushButton* button : main.CMD_SetReset) {
    if (Caption(button) == name) return button;
  }
  ADD_FAILURE() << "no output switch " << name;
  return nullptr;
}
trainer::VbColour InputLampNamed(const Main& main, const std::string& name) {
  for (std::size_t k = 0; k < main.Label_Ingang.size(); ++k) {
    if (Caption(main.Label_Ingang[k]) == name) return main.Shape_LampjeIn[k + 1]->FillColour();
  }
  ADD_FAILURE() << "no input " << name;
  return kGrey;
}

TEST(MainWithStationSim, CylindersMoveInTheirTravelTimeAndTheInterlockHoldsTheGripperDown) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;  // the settings folder, which the child inherits through XDG_CONFIG_DIRS
  // Five times the speed: 100 ms a stroke.
  ChildProcess sim({BRIMLINK_SIM_PROGRAM, "--com", std::to_string(kModuleCom), "--station", "handling", "--speed",
                    "5"},
                   {});
  ASSERT_TRUE(sim.Started());
  ASSERT_TRUE(sim.WaitForLine("Links in ").has_value()) << sim.Err();

  Main& main = bench.Open();
  ASSERT_TRUE(bench.ClickConnect());
  ASSERT_EQ(Caption(main.CMD_Verbinding), "Verbreek");
  main.CMD_Stationhandling->click();
  ASSERT_TRUE(PumpUntil([&] { return main.DecimaalIn == 0x05; })) << main.DecimaalIn;  // back and up
  EXPECT_EQ(InputLampNamed(main, "Eindschakelaar cil. 1 Achter"), kYellow);
  EXPECT_EQ(InputLampNamed(main, "Eindschakelaar cil. 1 Voor"), kGrey);

  QPushButton* horizontalOut = OutputNamed(main, "Verplaatscilinder (uit)");
  QPushButton* verticalOut = OutputNamed(main, "Grijpercilinder (uit)");
  ASSERT_TRUE(horizontalOut != nullptr && verticalOut != nullptr);

  const auto clicked = Clock::now();
  horizontalOut->click();
  ASSERT_TRUE(PumpUntil([&] { return InputLampNamed(main, "Eindschakelaar cil. 1 Voor") == kYellow; }))
      << main.DecimaalIn;
  // Not before the cylinder got there.
  EXPECT_GE(Clock::now() - clicked, 90ms);
  EXPECT_EQ(InputLampNamed(main, "Eindschakelaar cil. 1 Achter"), kGrey);

  verticalOut->click();
  ASSERT_TRUE(PumpUntil([&] { return InputLampNamed(main, "Eindschakelaar cil. 2 Onder") == kYellow; }))
      << main.DecimaalIn;

  // Gripper down: switching the horizontal valve off is refused, and the
  // station's cylinder stays in front.
  bench.messages.clear();
  horizontalOut->click();
  ASSERT_EQ(bench.messages.size(), 1u);
  EXPECT_EQ(bench.messages.front().first, kRefusalTitle);
  EXPECT_TRUE(bench.messages.front().second.starts_with("De grijpercilinder is uitgeschoven."))
      << bench.messages.front().second;
  PumpFor(300ms);
  EXPECT_EQ(OutputLamps(main), LampsFor(0x05));
  EXPECT_EQ(main.DecimaalIn, 0x0A);  // in front and down

  bench.Close();
  ASSERT_EQ(::kill(sim.Pid(), SIGTERM), 0);
  EXPECT_EQ(sim.WaitForExit(), 0) << sim.Err();
}

}  // namespace
}  // namespace brimlink::trainertest
