// The station buttons and the lesson steps as a pupil uses them: what each
// view names and offers, that choosing a view switches the outputs off at the
// module, and how "Verder" and "Terug" page through the lesson, flashing at
// its ends for one second.
#include "TrainerBench.h"
#include "trainer/presentation/SheetScroller.h"

namespace brimlink::trainertest {
namespace {

Main& OpenConnected(TrainerBench& bench) {
  bench.AddModule(Model::R16);
  Main& main = bench.Open();
  EXPECT_TRUE(bench.ClickConnect());
  EXPECT_EQ(Caption(main.CMD_Verbinding), "Verbreek");
  bench.sounds.clear();
  return main;
}

std::vector<std::string> OutputCaptions(const Main& main) {
  std::vector<std::string> captions;
  for (const QPushButton* button : main.CMD_SetReset) captions.push_back(Caption(button));
  return captions;
}
std::vector<std::string> InputCaptions(const Main& main) {
  std::vector<std::string> captions;
  for (const QLabel* label : main.Label_Ingang) captions.push_back(Caption(label));
  return captions;
}
// One letter per point: 'E' enabled, '-' disabled.
std::string EnabledOutputs(const Main& main) {
  std::string pattern;
  for (const QPushButton* button : main.CMD_SetReset) pattern += button->isEnabled() ? 'E' : '-';
  return pattern;
}
std::string EnabledInputs(const Main& main) {
  std::string pattern;
  for (const QLabel* label : main.Label_Ingang) pattern += label->isEnabled() ? 'E' : '-';
  return pattern;
}

std::vector<QPushButton*> StationButtons(const Main& main) {
  return {main.CMD_StapelMagazijn, main.CMD_Transportband, main.CMD_Stationhandling, main.CMD_TransHandling,
          main.CMD_Interfacing};
}
// The one station button that carries the station colour.
void ExpectMarked(const Main& main, const QPushButton* selected) {
  for (const QPushButton* button : StationButtons(main))
    EXPECT_EQ(BackColour(button) == kStationColour, button == selected) << Caption(button);
}

TEST(MainStations, EachSingleStationNamesAndOffersOnlyItsOwnPoints) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = OpenConnected(bench);

  struct Station {
    QPushButton* button;
    std::string frameModule;
    std::string film;
    std::vector<std::string> outputs;
    std::vector<std::string> inputs;
    std::string enabledOutputs;
    std::string enabledInputs;
  };
  const std::vector<Station> stations = {
      {main.CMD_StapelMagazijn,
       "Stapel magazijn",
       "Filmpje Stapel magazijn",
       {"Doorvoercilinder (uit)", "Doorvoercilinder (in)", "Aandrukcilinder", "Uitgang 4", "Uitgang 5", "Uitgang 6",
        "Uitgang 7", "Uitgang 8"},
       {"Eindschakelaar cilinder 1A", "Ingang 2", "Ingang 3", "Ingang 4", "Ingang 5", "Ingang 6", "Ingang 7",
        "Ingang 8"},
       "EEE-----",
       "E-------"},
      {main.CMD_Transportband,
       "Transportband",
       "Filmpje Transportband",
       {"Magneetspoel stopper", "Gelijkstroom motor", "Motor relais", "Uitgang 4", "Uitgang 5", "Uitgang 6",
        "Uitgang 7", "Uitgang 8"},
       {"Inductieve sensor", "Optische sensor", "Ingang 3", "Ingang 4", "Ingang 5", "Ingang 6", "Ingang 7",
        "Ingang 8"},
       "EEE-----",
       "EE------"},
      {main.CMD_Stationhandling,
       "Station handling",
       "Filmpje Station handling",
       {"Verplaatscilinder (uit)", "Verplaatscilinder (in)", "Grijpercilinder (uit)", "Grijpercilinder (in)",
        "Grijper", "Uitgang 6", "Uitgang 7", "Uitgang 8"},
       {"Eindschakelaar cil. 1 Achter", "Eindschakelaar cil. 1 Voor", "Eindschakelaar cil. 2 Boven",
        "Eindschakelaar cil. 2 Onder", "Ingang 5", "Ingang 6", "Ingang 7", "Ingang 8"},
       "EEEEE---",
       "EEEE----"},
  };
  for (const Station& s : stations) {
    SCOPED_TRACE(s.frameModule);
    s.button->click();
    EXPECT_EQ(Title(main.FrameModule), s.frameModule);
    EXPECT_EQ(Title(main.FrameIngangen), "Sensoren");
    EXPECT_EQ(Title(main.FrameUitgangen), "Actuatoren");
    EXPECT_EQ(Title(main.FrameSensorActuator), "Sensor / Actuator");
    ExpectMarked(main, s.button);
    EXPECT_FALSE(main.CMD_Filmpje->isHidden());
    EXPECT_EQ(Caption(main.CMD_Filmpje), s.film);
    EXPECT_EQ(OutputCaptions(main), s.outputs);
    EXPECT_EQ(InputCaptions(main), s.inputs);
    EXPECT_EQ(EnabledOutputs(main), s.enabledOutputs);
    EXPECT_EQ(EnabledInputs(main), s.enabledInputs);
    for (std::size_t i = 0; i < 8; ++i)
      EXPECT_EQ(BackColour(main.CMD_SetReset[i]), s.enabledOutputs[i] == 'E' ? kOutputPlate : kButtonFace) << i;
  }

  // A spare switch cannot be clicked: no lamp, no sound, nothing sent.
  ClickOutput(main, 6);
  EXPECT_EQ(OutputLamps(main), LampsFor(0));
  EXPECT_TRUE(bench.sounds.empty());
  EXPECT_EQ(bench.ModuleOutput(), 0);
}

TEST(MainStations, TheCombinedViewOffersAllOutputsAndLeavesInputsThreeAndEightSpare) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = OpenConnected(bench);
  main.CMD_StapelMagazijn->click();
  main.CMD_TransHandling->click();

  EXPECT_EQ(Title(main.FrameModule), "Interfacing Brimlink R8A");
  EXPECT_EQ(Title(main.FrameIngangen), "Ingangen");
  EXPECT_EQ(Title(main.FrameUitgangen), "Uitgangen");
  ExpectMarked(main, main.CMD_TransHandling);
  EXPECT_TRUE(main.CMD_Filmpje->isHidden());
  EXPECT_EQ(OutputCaptions(main),
            (std::vector<std::string>{"Magneetspoel stopper", "Gelijkstroom motor", "Motor relais",
                                      "Verplaatscilinder (uit)", "Verplaatscilinder (in)", "Grijpercilinder (uit)",
                                      "Grijpercilinder (in)", "Grijper"}));
  EXPECT_EQ(InputCaptions(main),
            (std::vector<std::string>{"Inductieve sensor", "Optische sensor", "Ingang 3",
                                      "Eindschakelaar cil. 1 Achter", "Eindschakelaar cil. 1 Voor",
                                      "Eindschakelaar cil. 2 Boven", "Eindschakelaar cil. 2 Onder", "Ingang 8"}));
  EXPECT_EQ(EnabledOutputs(main), "EEEEEEEE");
  EXPECT_EQ(EnabledInputs(main), "EE-EEEE-");

  // The interface view afterwards: every point generic and in use.
  main.CMD_Interfacing->click();
  EXPECT_EQ(Title(main.FrameModule), "Interfacing Brimlink Mini");
  ExpectMarked(main, main.CMD_Interfacing);
  EXPECT_EQ(EnabledOutputs(main), "EEEEEEEE");
  EXPECT_EQ(EnabledInputs(main), "EEEEEEEE");
  EXPECT_EQ(InputCaptions(main)[2], "Ingang 3");
  EXPECT_EQ(OutputCaptions(main)[7], "Uitgang 8");
  EXPECT_TRUE(main.CMD_Filmpje->isHidden());
}

// Every view, also the one already selected, starts with all outputs off at
// the module; the input lamps keep showing the module.
TEST(MainStations, ChoosingAnyViewSwitchesTheOutputsOffAtTheModule) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = OpenConnected(bench);
  ASSERT_TRUE(bench.SetInputs(0x22));
  for (QPushButton* button : {main.CMD_Transportband, main.CMD_Transportband, main.CMD_StapelMagazijn,
                              main.CMD_Stationhandling, main.CMD_TransHandling, main.CMD_Interfacing,
                              main.CMD_Interfacing}) {
    SCOPED_TRACE(Caption(button));
    ClickOutput(main, 1);
    ClickOutput(main, 3);
    ASSERT_TRUE(bench.ModuleOutputBecomes(5));
    bench.sounds.clear();
    button->click();
    EXPECT_EQ(OutputLamps(main), LampsFor(0));
    EXPECT_TRUE(bench.ModuleOutputBecomes(0));
    EXPECT_EQ(InputLamps(main), LampsFor(0x22));
    EXPECT_TRUE(bench.sounds.empty());
  }
  EXPECT_TRUE(bench.messages.empty());
}

// "Verder" and "Terug" through one view's lesson. `forward` lists the sheet
// tops "Verder" reaches from panel 1 before it flashes (empty: it never moves
// nor flashes).
struct Lesson {
  const char* name;
  QPushButton* Main::*button;
  std::vector<int> forward;
};

bool Flashing(const Main& main) {
  return BackColour(main.PictureTekst) == kFlashColour && BackColour(main.PictureTekstKader) == kFlashColour;
}
bool Resting(const Main& main) {
  return BackColour(main.PictureTekst) == kStationColour && BackColour(main.PictureTekstKader) == kStationColour;
}

// Waits for the flash to end; it must end one second after it began.
void ExpectFlashEnds(const Main& main, Clock::time_point began) {
  EXPECT_TRUE(PumpUntil([&] { return Resting(main); }, 2000ms));
  const long long ms = qttest::ElapsedMs(began);
  EXPECT_GE(ms, 950);
  EXPECT_LE(ms, 1400);
}

TEST(MainLesson, VerderAndTerugPageThroughEachViewAndFlashAtItsEnds) {
  qttest::Watchdog watchdog(40s);
  const std::vector<Lesson> lessons = {
      {"stack magazine", &Main::CMD_StapelMagazijn, {-1815, -3630, -5445}},
      {"conveyor", &Main::CMD_Transportband, {-1815, -3630}},
      {"handling station", &Main::CMD_Stationhandling, {-1815, -3630, -5445}},
      {"combined", &Main::CMD_TransHandling, {}},
      {"interface", &Main::CMD_Interfacing, {-1815, -3630, -5445}},
  };
  for (const Lesson& lesson : lessons) {
    SCOPED_TRACE(lesson.name);
    TrainerBench bench;
    Main& main = bench.Open();
    // Each click pages at once; the sliding itself is tested with the presentation.
    trainer::SheetScroller::Of(main).SetDuration(0ms);
    (main.*lesson.button)->click();
    ASSERT_EQ(main.pictureTekstTop, 0);
    ASSERT_TRUE(Resting(main));

    for (const int top : lesson.forward) {
      main.CMD_Verder->click();
      EXPECT_EQ(main.pictureTekstTop, top);
      EXPECT_TRUE(Resting(main));
    }
    const int last = lesson.forward.empty() ? 0 : lesson.forward.back();
    main.CMD_Verder->click();
    EXPECT_EQ(main.pictureTekstTop, last);
    if (lesson.forward.empty()) {
      // The combined view has one panel that "Verder" never leaves.
      EXPECT_TRUE(Resting(main));
      main.CMD_Verder->click();
      EXPECT_EQ(main.pictureTekstTop, 0);
      EXPECT_TRUE(Resting(main));
    } else {
      const auto flashed = Clock::now();
      EXPECT_TRUE(Flashing(main));
      ExpectFlashEnds(main, flashed);
      for (auto top = lesson.forward.rbegin() + 1; top != lesson.forward.rend(); ++top) {
        main.CMD_Terug->click();
        EXPECT_EQ(main.pictureTekstTop, *top);
      }
      main.CMD_Terug->click();
      EXPECT_EQ(main.pictureTekstTop, 0);
      EXPECT_TRUE(Resting(main));
    }
    main.CMD_Terug->click();
    EXPECT_EQ(main.pictureTekstTop, 0);
    EXPECT_TRUE(Flashing(main));
    EXPECT_TRUE(bench.messages.empty());
  }
}

// A click that flashes again while the flash is on does not lengthen it, and
// a new view starts at panel 1.
TEST(MainLesson, AFlashLastsOneSecondFromItsFirstClick) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = bench.Open();
  trainer::SheetScroller::Of(main).SetDuration(0ms);
  main.CMD_Transportband->click();
  main.CMD_Verder->click();
  main.CMD_Terug->click();
  main.CMD_Terug->click();
  const auto flashed = Clock::now();
  ASSERT_TRUE(Flashing(main));
  PumpFor(500ms);
  main.CMD_Terug->click();
  EXPECT_TRUE(Flashing(main));
  ExpectFlashEnds(main, flashed);

  main.CMD_Verder->click();
  main.CMD_Verder->click();
  ASSERT_EQ(main.pictureTekstTop, -3630);
  main.CMD_Stationhandling->click();
  EXPECT_EQ(main.pictureTekstTop, 0);
}

TEST(MainLesson, HandlingStationLeavingPanelTwoShowsTheCylinder) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = bench.Open();
  trainer::SheetScroller::Of(main).SetDuration(0ms);
  main.CMD_Stationhandling->click();
  EXPECT_EQ(Title(main.FrameSensorActuator), "Sensor / Actuator");
  main.CMD_Verder->click();
  EXPECT_EQ(Title(main.FrameSensorActuator), "Sensor / Actuator");
  main.CMD_Verder->click();
  EXPECT_EQ(main.pictureTekstTop, -3630);
  EXPECT_EQ(Title(main.FrameSensorActuator), "ADN cilinder.");
  // Back and forward again shows it again; another view takes it away.
  main.CMD_Stationhandling->click();
  EXPECT_EQ(Title(main.FrameSensorActuator), "Sensor / Actuator");
  main.CMD_Verder->click();
  main.CMD_Verder->click();
  EXPECT_EQ(Title(main.FrameSensorActuator), "ADN cilinder.");
  main.CMD_StapelMagazijn->click();
  main.CMD_Verder->click();
  main.CMD_Verder->click();
  EXPECT_EQ(Title(main.FrameSensorActuator), "Sensor / Actuator");
}

}  // namespace
}  // namespace brimlink::trainertest
