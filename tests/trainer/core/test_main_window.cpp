// The trainer's main window as a pupil meets it: starting, connecting and
// disconnecting, a module that cannot be found, and ending the program, also
// while a search is still running.
#include "TrainerBench.h"

namespace brimlink::trainertest {
namespace {

[[maybe_unused]] ::testing::Environment* const g_app = ::testing::AddGlobalTestEnvironment(new WidgetApplication);

constexpr const char* kNotFound =
    "De interface is niet gevonden.\r---------------------\r\rOnder Windows 7 & 8 moet de compabititeits "
    "modus\ringesteld worden op WinXP sp3.";

std::size_t Count(const std::vector<std::string>& items, const std::string& item) {
  return static_cast<std::size_t>(std::count(items.begin(), items.end(), item));
}

void ExpectNotConnected(const Main& main) {
  EXPECT_EQ(Caption(main.CMD_Verbinding), "Zoek en verbind");
  EXPECT_EQ(Caption(main.Label_Verbinding), "Niet verbonden");
  EXPECT_EQ(BackColour(main.Label_Verbinding), kGrey);
  EXPECT_EQ(ForeColour(main.Label_Verbinding), 0x00FFFFFFu);
  EXPECT_EQ(BackColour(main.Label_VerbindingKader), kGrey);
  EXPECT_EQ(Caption(main.Label_Compoort), "-");
  EXPECT_EQ(Caption(main.Label_Modulenummer), "-");
}

void ExpectConnected(const Main& main, const std::string& moduleType) {
  EXPECT_EQ(Caption(main.CMD_Verbinding), "Verbreek");
  EXPECT_EQ(Caption(main.Label_Verbinding), "Verbonden");
  EXPECT_EQ(BackColour(main.Label_Verbinding), kConnectedGreen);
  EXPECT_EQ(ForeColour(main.Label_Verbinding), 0x00000000u);
  EXPECT_EQ(BackColour(main.Label_VerbindingKader), kConnectedGreen);
  EXPECT_EQ(Caption(main.Label_Compoort), std::to_string(kModuleCom));
  EXPECT_EQ(Caption(main.Label_Modulenummer), moduleType);
}

TEST(MainStart, OpensUnconnectedWithTheInterfaceMarkedGenericNamesAndGreyLamps) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  bench.AddModule(Model::R16);
  Main& main = bench.Open();
  PumpFor(100ms);

  EXPECT_EQ(main.windowTitle().toStdString(), "BrimlinkMini Controller Sorvik RESIZEABLE");
  ExpectNotConnected(main);
  EXPECT_EQ(BackColour(main.CMD_Interfacing), kStationColour);
  for (QPushButton* other : {main.CMD_StapelMagazijn, main.CMD_Transportband, main.CMD_Stationhandling,
                             main.CMD_TransHandling})
    EXPECT_NE(BackColour(other), kStationColour) << Caption(other);
  EXPECT_EQ(Title(main.FrameModule), "Sorvik besturing met Brimlink Mini.");
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(Caption(main.CMD_SetReset[i]), "Uitgang " + std::to_string(i + 1));
    EXPECT_TRUE(main.CMD_SetReset[i]->isEnabled()) << i;
    EXPECT_EQ(Caption(main.Label_Ingang[i]), "Ingang " + std::to_string(i + 1));
  }
  EXPECT_EQ(InputLamps(main), LampsFor(0));
  EXPECT_EQ(OutputLamps(main), LampsFor(0));
  EXPECT_TRUE(bench.messages.empty());
  EXPECT_TRUE(bench.sounds.empty());
  // Starting makes no connection: the module on the line hears nothing.
  EXPECT_TRUE(bench.ModuleCommands().empty());

  // Without a connection a switch still toggles its lamp and clicks.
  ClickOutput(main, 2);
  EXPECT_EQ(OutputLamps(main), LampsFor(2));
  EXPECT_EQ(bench.sounds, std::vector<std::string>{"Klik 01.wav"});
  ClickOutput(main, 2);
  EXPECT_EQ(OutputLamps(main), LampsFor(0));
  PumpFor(50ms);
  EXPECT_TRUE(bench.ModuleCommands().empty());
  EXPECT_TRUE(bench.messages.empty());
}

// Module types 1, 2 and others: the panel shows port and type, the selected
// view stays, and the outputs marked on before are not sent until a switch is
// clicked; then the whole word goes.
TEST(MainConnect, ConnectingShowsPortTypeAndGreenAndKeepsTheViewAndTheOutputs) {
  struct Case {
    Model model;
    const char* type;
    const char* interfaceCaption;  // of CMD_Interfacing afterwards
  };
  for (const Case& c : {Case{Model::R16, "1", "Brimlink R16"}, Case{Model::R8A, "2", "Brimlink R8A"},
                        Case{Model::USB, "3", "Brimlink Mini"}}) {
    SCOPED_TRACE(sim::ModelName(c.model));
    qttest::Watchdog watchdog(20s);
    TrainerBench bench;
    bench.AddModule(c.model);
    Main& main = bench.Open();
    main.CMD_Transportband->click();
    ClickOutput(main, 2);
    bench.sounds.clear();

    ASSERT_TRUE(bench.ClickConnect());
    ExpectConnected(main, c.type);
    EXPECT_EQ(bench.sounds, std::vector<std::string>{"Verbonden.wav"});
    EXPECT_TRUE(bench.messages.empty());
    EXPECT_EQ(Title(main.FrameModule), "Transportband");
    EXPECT_EQ(BackColour(main.CMD_Transportband), kStationColour);
    EXPECT_NE(BackColour(main.CMD_Interfacing), kStationColour);
    EXPECT_EQ(Caption(main.CMD_Interfacing), c.interfaceCaption);
    EXPECT_TRUE(main.CMD_TransHandling->isEnabled());
    EXPECT_EQ(OutputLamps(main), LampsFor(2));
    PumpFor(50ms);
    EXPECT_TRUE(bench.OutputWrites().empty());
    EXPECT_EQ(bench.ModuleOutput(), 0);

    ClickOutput(main, 1);
    EXPECT_TRUE(bench.ModuleOutputBecomes(3));
  }
}

// Module type 5: the interface view with all outputs off and the combined
// station out of reach; disconnecting gives it back and leaves the outputs.
TEST(MainConnect, TypeFiveShowsTheInterfaceViewAndDisconnectingLeavesTheOutputsOn) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  bench.AddModule(Model::R6);
  Main& main = bench.Open();
  main.CMD_Stationhandling->click();
  ClickOutput(main, 1);
  ASSERT_EQ(OutputLamps(main), LampsFor(1));
  bench.sounds.clear();

  ASSERT_TRUE(bench.ClickConnect());
  ExpectConnected(main, "5");
  EXPECT_EQ(bench.sounds, std::vector<std::string>{"Verbonden.wav"});
  EXPECT_EQ(Title(main.FrameModule), "Interfacing Brimlink Mini");
  EXPECT_EQ(BackColour(main.CMD_Interfacing), kStationColour);
  EXPECT_EQ(BackColour(main.CMD_Stationhandling), kButtonFace);
  EXPECT_EQ(Caption(main.CMD_Interfacing), "Brimlink Mini");
  EXPECT_EQ(Title(main.FrameIngangen), "Ingangen");
  EXPECT_EQ(Title(main.FrameUitgangen), "Uitgangen");
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(Caption(main.CMD_SetReset[i]), "Uitgang " + std::to_string(i + 1));
    EXPECT_TRUE(main.CMD_SetReset[i]->isEnabled()) << i;
    EXPECT_TRUE(main.Label_Ingang[i]->isEnabled()) << i;
  }
  EXPECT_EQ(OutputLamps(main), LampsFor(0));
  EXPECT_FALSE(main.CMD_TransHandling->isEnabled());
  main.CMD_TransHandling->click();
  EXPECT_EQ(Title(main.FrameModule), "Interfacing Brimlink Mini");

  ClickOutput(main, 2);
  ASSERT_TRUE(bench.ModuleOutputBecomes(2));
  bench.sounds.clear();

  main.CMD_Verbinding->click();
  ExpectNotConnected(main);
  EXPECT_EQ(bench.sounds, std::vector<std::string>{"Verbroken.wav"});
  EXPECT_TRUE(main.CMD_TransHandling->isEnabled());
  EXPECT_EQ(OutputLamps(main), LampsFor(2));
  EXPECT_EQ(Title(main.FrameModule), "Interfacing Brimlink Mini");
  PumpFor(50ms);
  EXPECT_EQ(bench.ModuleOutput(), 2);
  EXPECT_TRUE(bench.messages.empty());

  main.CMD_TransHandling->click();
  EXPECT_EQ(Title(main.FrameModule), "Interfacing Brimlink R8A");
}

TEST(MainConnect, NoModuleShowsTheMessageOnceAndTheButtonReturnsSilently) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = bench.Open();

  ASSERT_TRUE(bench.ClickConnect());
  ASSERT_EQ(bench.messages.size(), 1u);
  EXPECT_EQ(bench.messages[0].first, "BrimlinkMini Sorvik");
  EXPECT_EQ(bench.messages[0].second, kNotFound);
  ExpectNotConnected(main);
  EXPECT_TRUE(bench.sounds.empty());

  // The button is not stuck: the next click searches again.
  ASSERT_TRUE(bench.ClickConnect());
  EXPECT_EQ(bench.messages.size(), 2u);
  ExpectNotConnected(main);
  EXPECT_TRUE(bench.sounds.empty());
}

TEST(MainConnect, ADoubleClickOnZoekEnVerbindRunsOneSearch) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  bench.AddModule(Model::R16);
  Main& main = bench.Open();

  // The second click of the double click comes while the search waits.
  bool secondClickDuringSearch = false;
  QTimer::singleShot(0, &main, [&] {
    secondClickDuringSearch = main.Control().Busy();
    main.CMD_Verbinding->click();
  });
  ASSERT_TRUE(bench.ClickConnect());
  PumpFor(150ms);

  EXPECT_TRUE(secondClickDuringSearch);
  EXPECT_EQ(Count(bench.ModuleCommands(), "setup0"), 1u);
  ExpectConnected(main, "1");
  EXPECT_EQ(bench.sounds, std::vector<std::string>{"Verbonden.wav"});
}

// The control dispatches events while it writes the outputs; a double click on
// "Verbreek" in that moment must still disconnect once and not search again.
TEST(MainConnect, ADoubleClickOnVerbreekWhileAnOutputWriteWaitsDisconnectsOnce) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  bench.AddModule(Model::R16);
  Main& main = bench.Open();
  ASSERT_TRUE(bench.ClickConnect());
  bench.ClearModuleCommands();
  bench.sounds.clear();
  bench.SetFaults({.slowMs = 150});

  bool clicksDuringWrite = false;
  QTimer::singleShot(20, &main, [&] {
    clicksDuringWrite = main.Control().Busy();
    main.CMD_Verbinding->click();
    main.CMD_Verbinding->click();
  });
  ClickOutput(main, 1);
  PumpUntil([&] { return Count(bench.sounds, "Verbroken.wav") > 0 && !main.Control().Busy(); });
  PumpFor(400ms);

  EXPECT_TRUE(clicksDuringWrite);
  EXPECT_EQ(bench.sounds, (std::vector<std::string>{"Klik 01.wav", "Verbroken.wav"}));
  // The closing dialogue says "setup0" too; only a new search asks "DV".
  EXPECT_EQ(Count(bench.ModuleCommands(), "DV"), 0u);
  EXPECT_EQ(Caption(main.CMD_Verbinding), "Zoek en verbind");
}

// Closing by the close box and by "Afsluiten": the outputs go off at the
// module, then the program ends, once; nothing reacts afterwards.
TEST(MainEnd, CloseBoxAndAfsluitenSwitchTheModuleOutputsOffThenEnd) {
  for (const bool closeBox : {true, false}) {
    SCOPED_TRACE(closeBox ? "close box" : "Afsluiten");
    qttest::Watchdog watchdog(20s);
    TrainerBench bench;
    bench.AddModule(Model::R16);
    Main& main = bench.Open();
    ASSERT_TRUE(bench.ClickConnect());
    ClickOutput(main, 1);
    ClickOutput(main, 3);
    ASSERT_TRUE(bench.ModuleOutputBecomes(5));
    bench.sounds.clear();

    if (closeBox) {
      main.close();
    } else {
      main.CMD_Afsluiten->click();
    }
    EXPECT_TRUE(PumpUntil([&] { return bench.quitCalls > 0; }));
    EXPECT_TRUE(bench.ModuleOutputBecomes(0));
    EXPECT_EQ(OutputLamps(main), LampsFor(0));
    EXPECT_FALSE(main.isVisible());

    ClickOutput(main, 2);
    main.close();
    main.CMD_Afsluiten->click();
    PumpFor(100ms);
    EXPECT_EQ(bench.quitCalls, 1);
    EXPECT_EQ(bench.ModuleOutput(), 0);
    EXPECT_TRUE(bench.sounds.empty());
    EXPECT_TRUE(bench.messages.empty());
  }
}

// Ending while "Zoek en verbind" still searches: the window waits for the
// search to return, then switches the outputs off and ends.
TEST(MainEnd, EndingWhileTheSearchWaitsRunsAfterItReturns) {
  for (const bool closeBox : {true, false}) {
    SCOPED_TRACE(closeBox ? "close box" : "Afsluiten");
    qttest::Watchdog watchdog(20s);
    TrainerBench bench;
    bench.AddModule(Model::R16);
    Main& main = bench.Open();
    // A first session leaves outputs 1 and 3 switched on at the module.
    ASSERT_TRUE(bench.ClickConnect());
    ClickOutput(main, 1);
    ClickOutput(main, 3);
    ASSERT_TRUE(bench.ModuleOutputBecomes(5));
    main.CMD_Verbinding->click();
    ASSERT_EQ(Caption(main.CMD_Verbinding), "Zoek en verbind");
    bench.log.clear();

    bool endedAtOnce = true;
    bool searching = false;
    QTimer::singleShot(0, &main, [&] {
      searching = main.Control().Busy();
      if (closeBox) {
        main.close();
      } else {
        main.CMD_Afsluiten->click();
      }
      endedAtOnce = bench.quitCalls > 0;
    });
    main.CMD_Verbinding->click();
    EXPECT_TRUE(PumpUntil([&] { return bench.quitCalls > 0; }));

    EXPECT_TRUE(searching);
    EXPECT_FALSE(endedAtOnce);
    EXPECT_EQ(bench.log, (std::vector<std::string>{"sound Verbonden.wav", "quit"}));
    EXPECT_EQ(Caption(main.Label_Verbinding), "Verbonden");
    EXPECT_TRUE(bench.ModuleOutputBecomes(0));
    EXPECT_EQ(OutputLamps(main), LampsFor(0));
    PumpFor(50ms);
    EXPECT_EQ(bench.quitCalls, 1);
  }
}

}  // namespace
}  // namespace brimlink::trainertest
