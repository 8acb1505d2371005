// The inputs and outputs as a pupil works them: lamps following the module's
// inputs, the output switches with the interlocks of the stack magazine and
// the handling station, the word the module receives, the emergency reset,
// and clicks that arrive while the control is still waiting for the module.
#include "TrainerBench.h"

namespace brimlink::trainertest {
namespace {

constexpr const char* kRefusalTitle = "Beweging iet toegestaan!";
constexpr const char* kPusherOut = "De aandrukcilinder is uitgeschoven.";
constexpr const char* kGripperOut = "De grijpercilinder is uitgeschoven.";
constexpr const char* kSecondLine = "\r\rHorizontaal mag de grijper nu niet verplaatst worden.";

// Opens the window connected to a module of type 1 (R16), which keeps the
// selected view when connecting.
Main& OpenConnected(TrainerBench& bench, Model model = Model::R16) {
  bench.AddModule(model);
  Main& main = bench.Open();
  EXPECT_TRUE(bench.ClickConnect());
  EXPECT_EQ(Caption(main.CMD_Verbinding), "Verbreek");
  bench.sounds.clear();
  bench.log.clear();
  return main;
}

// Clicks output switch `output` (1..8). With a reason the click must be
// refused with that reason; without one it toggles the output. Either way one
// click sound, and the module ends with `word`.
void ExpectClick(TrainerBench& bench, std::uint16_t& word, int output, const char* reason = nullptr) {
  SCOPED_TRACE("output " + std::to_string(output));
  Main& main = bench.Window();
  bench.log.clear();
  ClickOutput(main, output);
  if (reason != nullptr) {
    ASSERT_FALSE(bench.messages.empty());
    EXPECT_EQ(bench.messages.back(), std::make_pair(std::string(kRefusalTitle), std::string(reason) + kSecondLine));
    EXPECT_EQ(bench.log, (std::vector<std::string>{std::string("message ") + kRefusalTitle, "sound Klik 01.wav"}));
  } else {
    word = static_cast<std::uint16_t>(word ^ (1u << (output - 1)));
    EXPECT_EQ(bench.log, std::vector<std::string>{"sound Klik 01.wav"});
  }
  EXPECT_EQ(OutputLamps(main), LampsFor(word));
  EXPECT_TRUE(bench.ModuleOutputBecomes(word)) << "module has " << bench.ModuleOutput();
}

TEST(MainInputs, TheLampsFollowTheDigitalWordAndEveryEventClicks) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = OpenConnected(bench);

  ASSERT_TRUE(bench.SetInputs(9));
  PumpFor(50ms);
  EXPECT_EQ(InputLamps(main), LampsFor(9));
  EXPECT_EQ(main.DecimaalIn, 9);
  EXPECT_EQ(bench.sounds, std::vector<std::string>{"Klik 02.wav"});

  // A 16-input word: only inputs 1 to 8 have lamps; the whole value is kept.
  ASSERT_TRUE(bench.SetInputs(0x8181));
  EXPECT_EQ(InputLamps(main), LampsFor(0x81));
  EXPECT_EQ(main.DecimaalIn, 0x8181);

  // An input the stack magazine does not use still lights its lamp.
  main.CMD_StapelMagazijn->click();
  ASSERT_TRUE(bench.SetInputs(0x10));
  EXPECT_EQ(InputLamps(main), LampsFor(0x10));
  EXPECT_EQ(bench.sounds.size(), 3u);

  // An analog word's report clicks but is not shown as inputs, nor does it
  // reach the interlock of output 1.
  bench.sounds.clear();
  main.InputWordChanged(1, 2, 7);
  main.InputWordChanged(1, 1, 1);
  EXPECT_EQ(InputLamps(main), LampsFor(0x10));
  EXPECT_EQ(main.DecimaalIn, 0x10);
  EXPECT_EQ(bench.sounds, (std::vector<std::string>{"Klik 02.wav", "Klik 02.wav"}));
  std::uint16_t word = 0;
  ExpectClick(bench, word, 1);
  EXPECT_TRUE(bench.messages.empty());
}

TEST(MainOutputs, TheModuleReceivesTheWholeWordAfterEveryClick) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  OpenConnected(bench);
  std::uint16_t word = 0;
  ExpectClick(bench, word, 1);
  ExpectClick(bench, word, 3);
  EXPECT_EQ(word, 5);
  ExpectClick(bench, word, 1);
  EXPECT_EQ(bench.ModuleOutput(), 4);
  ExpectClick(bench, word, 8);
  EXPECT_EQ(bench.ModuleOutput(), 0x84);
  EXPECT_TRUE(bench.messages.empty());
}

TEST(MainInterlocks, StackMagazineRefusesSwitchingOutputOneOnWhileInputOneIsOn) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = OpenConnected(bench);
  main.CMD_StapelMagazijn->click();
  std::uint16_t word = 0;

  ASSERT_TRUE(bench.SetInputs(1));
  ExpectClick(bench, word, 1, kPusherOut);
  ExpectClick(bench, word, 2);
  ExpectClick(bench, word, 3);
  EXPECT_EQ(bench.messages.size(), 1u);

  ASSERT_TRUE(bench.SetInputs(0));
  ExpectClick(bench, word, 1);
  // Only switching on is refused: with the cylinder out, output 1 goes off.
  ASSERT_TRUE(bench.SetInputs(1));
  ExpectClick(bench, word, 1);
  ExpectClick(bench, word, 1, kPusherOut);
  EXPECT_EQ(word, 6);
  EXPECT_EQ(bench.messages.size(), 2u);

  // Input 4 (the handling station's end switch) means nothing here.
  ASSERT_TRUE(bench.SetInputs(8));
  ExpectClick(bench, word, 1);
  ExpectClick(bench, word, 2);
  EXPECT_EQ(bench.messages.size(), 2u);
}

TEST(MainInterlocks, HandlingStationHoldsOutputsOneAndTwoBothWaysWhileInputFourIsOn) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = OpenConnected(bench);
  main.CMD_Stationhandling->click();
  std::uint16_t word = 0;
  ExpectClick(bench, word, 1);

  ASSERT_TRUE(bench.SetInputs(8));
  ExpectClick(bench, word, 1, kGripperOut);  // on stays on
  ExpectClick(bench, word, 2, kGripperOut);  // off stays off
  ExpectClick(bench, word, 3);
  ExpectClick(bench, word, 4);
  ExpectClick(bench, word, 5);
  ExpectClick(bench, word, 3);
  EXPECT_EQ(word, 0x19);
  EXPECT_EQ(bench.messages.size(), 2u);

  // Input 1 (the stack magazine's end switch) means nothing here.
  ASSERT_TRUE(bench.SetInputs(1));
  ExpectClick(bench, word, 1);
  ExpectClick(bench, word, 2);
  EXPECT_EQ(bench.messages.size(), 2u);
}

TEST(MainInterlocks, EveryOtherViewSwitchesEveryEnabledOutputWhateverTheInputs) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = OpenConnected(bench);
  // Inputs 1, 4 and 7 on: the end switches of both interlocks, and the
  // handling station's lower end switch in the combined view.
  ASSERT_TRUE(bench.SetInputs(0x49));

  struct Case {
    const char* name;
    QPushButton* button;  // null: the start state, no view applied yet
    int outputs;
  };
  for (const Case& c : {Case{"start", nullptr, 8}, Case{"conveyor", main.CMD_Transportband, 3},
                        Case{"combined", main.CMD_TransHandling, 8}, Case{"interface", main.CMD_Interfacing, 8}}) {
    SCOPED_TRACE(c.name);
    if (c.button != nullptr) c.button->click();
    ASSERT_TRUE(bench.ModuleOutputBecomes(0));
    std::uint16_t word = 0;
    for (int output = 1; output <= c.outputs; ++output) ExpectClick(bench, word, output);
    for (int output = 1; output <= c.outputs; ++output) ExpectClick(bench, word, output);
    EXPECT_TRUE(bench.messages.empty());
  }
}

TEST(MainOutputs, NoodstopSwitchesEverythingOffSilentlyAndKeepsTheView) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = OpenConnected(bench);
  EXPECT_EQ(main.CMD_ResetAlles->toolTip().toStdString(), "RESET alle uitgangen.");

  main.CMD_Interfacing->click();
  std::uint16_t word = 0;
  ExpectClick(bench, word, 7);
  ExpectClick(bench, word, 8);
  ASSERT_EQ(bench.ModuleOutput(), 0xC0);
  bench.sounds.clear();

  main.CMD_ResetAlles->click();
  EXPECT_EQ(OutputLamps(main), LampsFor(0));
  EXPECT_TRUE(bench.ModuleOutputBecomes(0));
  EXPECT_TRUE(bench.sounds.empty());
  EXPECT_EQ(Title(main.FrameModule), "Interfacing Brimlink Mini");
  EXPECT_EQ(Caption(main.CMD_SetReset[6]), "Uitgang 7");

  // In a station view the names and the spare switches stay as they were.
  main.CMD_StapelMagazijn->click();
  word = 0;
  for (int output = 1; output <= 3; ++output) ExpectClick(bench, word, output);
  bench.sounds.clear();
  main.CMD_ResetAlles->click();
  EXPECT_EQ(OutputLamps(main), LampsFor(0));
  EXPECT_TRUE(bench.ModuleOutputBecomes(0));
  EXPECT_TRUE(bench.sounds.empty());
  EXPECT_EQ(Title(main.FrameModule), "Stapel magazijn");
  EXPECT_EQ(Caption(main.CMD_SetReset[0]), "Doorvoercilinder (uit)");
  EXPECT_EQ(Caption(main.Label_Ingang[0]), "Eindschakelaar cilinder 1A");
  for (std::size_t i = 3; i < 8; ++i) EXPECT_FALSE(main.CMD_SetReset[i]->isEnabled()) << i;
  EXPECT_TRUE(bench.messages.empty());
}

// The control dispatches events while it waits for the module to acknowledge
// a write: the clicks made meanwhile wait their turn and run in order, each
// after the one before has finished.
TEST(MainOutputs, ClicksDuringAWaitingWriteRunAfterItInOrder) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = OpenConnected(bench);
  bench.ClearModuleCommands();
  bench.SetFaults({.slowMs = 150});

  std::vector<int> wordAtClickSound;
  bench.onSound = [&](std::string_view file) {
    if (file == "Klik 01.wav") wordAtClickSound.push_back(main.DecimaalUit);
  };
  bool duringWrite = false;
  int wordAfterHeldClicks = -1;
  QTimer::singleShot(30, &main, [&] {
    duringWrite = main.Control().Busy();
    ClickOutput(main, 2);
    main.CMD_ResetAlles->click();
    ClickOutput(main, 4);
    wordAfterHeldClicks = main.DecimaalUit;
  });
  ClickOutput(main, 1);
  ASSERT_TRUE(PumpUntil([&] { return wordAtClickSound.size() == 3 && !main.Control().Busy(); }, 5000ms));
  PumpFor(50ms);

  EXPECT_TRUE(duringWrite);
  EXPECT_EQ(wordAfterHeldClicks, 1);
  EXPECT_EQ(wordAtClickSound, (std::vector<int>{1, 3, 8}));
  EXPECT_EQ(OutputLamps(main), LampsFor(8));
  EXPECT_EQ(bench.ModuleOutput(), 8);
  // The module saw the words in the order of the clicks (a write may be
  // repeated while the module is slow to answer).
  std::vector<std::string> writes = bench.OutputWrites();
  writes.erase(std::unique(writes.begin(), writes.end()), writes.end());
  EXPECT_EQ(writes, (std::vector<std::string>{"MAW1.0=0001", "MAW1.0=0003", "MAW1.0=0000", "MAW1.0=0008"}));
}

}  // namespace
}  // namespace brimlink::trainertest
