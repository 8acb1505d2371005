// Main: the trainer's one main window. Every control of the design is a
// member under its design name (arrays as std::array, indexed as in the
// design: Shape_LampjeIn 1..8, the others 0..7) and carries that name as its
// Qt object name ("CMD_SetReset_0", "Shape_LampjeIn_1") and accessible name.
// All state lives in the members below, as it lived in the form's
// module-level variables.
//
// Files: Main.cpp builds the window (layout in twips); MainLogic.cpp holds the
// handlers of the trainer core; trainer/presentation/ holds PlaatsTekst,
// VerschuifTekst, FiguurActuatorSensor, KleurBeheer and ReloadPos.
//
// Threads: GUI thread only. The control calls InputWordChanged on this
// thread, also while one of its methods waits inside a handler of ours.
#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "trainer/core/ControlBinding.h"
#include "trainer/core/Sounds.h"
#include "trainer/core/StationModel.h"
#include "trainer/core/VbColour.h"
#include "trainer/core/Widgets.h"

namespace brimlink::trainer {

class SheetScroller;
class DesignGeometry;
class StationPhotoViewer;

// Where the trainer reaches outside itself; tests replace these.
struct MainEnvironment {
  // Shows a modal message box with an OK button (title, text with CRs).
  std::function<void(const std::string& title, const std::string& text)> showMessage;
  // Ends the program (the window has already run ResetAll).
  std::function<void()> quit;
  // The information box of "Help"; showMessage when unset.
  std::function<void(const std::string& title, const std::string& text)> showInformation;
  // Opens an address through the desktop (browser or media player).
  std::function<void(const std::string& url)> openUrl;
};

class Main final : public QWidget {
  Q_OBJECT
 public:
  static constexpr double kTwipsPerPixel = 15.0;

  explicit Main(MainEnvironment environment = {}, QWidget* parent = nullptr);
  ~Main() override;

  // --- Controls (design names)
  QGroupBox* FrameMain = nullptr;
  QGroupBox* Frame_Sorvik_Buttons = nullptr;
  QPushButton* CMD_StapelMagazijn = nullptr;
  QPushButton* CMD_Transportband = nullptr;
  QPushButton* CMD_Stationhandling = nullptr;
  QPushButton* CMD_TransHandling = nullptr;
  QPushButton* CMD_Interfacing = nullptr;
  QGroupBox* FrameIngangen = nullptr;
  std::array<QWidget*, 8> PictureLabelIngangen{};
  std::array<QLabel*, 8> Label_Ingang{};
  std::array<Lamp*, 9> Shape_LampjeIn{};  // 1..8; element 0 unused
  QGroupBox* FrameUitgangen = nullptr;
  std::array<QPushButton*, 8> CMD_SetReset{};
  std::array<Lamp*, 8> Shape_Lampje{};
  QGroupBox* FrameCommand = nullptr;
  QPushButton* CMD_Verder = nullptr;
  QPushButton* CMD_Terug = nullptr;
  QPushButton* CMD_Help = nullptr;
  QPushButton* CMD_Afsluiten = nullptr;
  QGroupBox* FrameBrimlink = nullptr;
  QPushButton* Command1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label_Compoort = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label_Modulenummer = nullptr;
  QPushButton* CMD_Verbinding = nullptr;
  QWidget* Brimlink1 = nullptr;  // holds the control's own window
  QLabel* Label_Verbinding = nullptr;
  QLabel* Label_VerbindingKader = nullptr;
  QGroupBox* Frame7 = nullptr;
  QPushButton* CMD_ResetAlles = nullptr;
  QGroupBox* FrameModule = nullptr;
  QPushButton* CMD_Filmpje = nullptr;
  ImageBox* Image_Module_Holder = nullptr;
  QGroupBox* FrameInstructie = nullptr;
  QWidget* PictureTekstKader = nullptr;
  QLabel* PictureTekst = nullptr;
  QTimer* TimerNVT = nullptr;
  QGroupBox* Frame5 = nullptr;
  ImageBox* Image1 = nullptr;
  QGroupBox* FrameSensorActuator = nullptr;
  ImageBox* ImageSensorActuator = nullptr;
  QTimer* Timer_Wissel_Afbeelding = nullptr;

  // --- Module-level state
  bool Verbonden = false;
  std::int16_t DecimaalUit = 0;
  std::int32_t DecimaalIn = 0;  // the event's 16 bits, kept whole
  bool ReageerNiet = false;
  std::int16_t ComPoort = 0;
  std::int16_t ModuleNummer = 0;
  std::int16_t HuidigOnderdeel = -1;
  std::string OnderdeelNaam;
  std::int16_t MuisStation = -1;
  VbColour KleurStation = 0x0080FFFF;
  VbColour KleurUitgang = 0x00FFD2D2;
  VbColour KleurIngang = 0x00D2FFD2;
  VbColour KleurUitgangWijzer = 0x00F0BF93;
  VbColour KleurIngangWijzer = 0x0080FF80;
  NameTables tables;

  // The sheet's logical top in twips (0, -1815, -3630, -5445 at rest).
  int pictureTekstTop = 0;

  // --- Procedures other parts call
  void ResetAll();
  void SetBrimlink();
  void PlaatsTekst();
  void VerschuifTekst(int upDown);
  void FiguurActuatorSensor(int index);
  void KleurBeheer(int aktieCijfer);
  void ReloadPos();

  // --- Handlers (also called by tests as a click would)
  void CMD_Verbinding_Click();
  void CMD_Interfacing_Click();
  void Command1_Click();
  void FrameBrimlink_MouseUp();
  void InputWordChanged(std::int16_t modIndex, std::int16_t wordIndex, std::int32_t value);
  void Label_Ingang_MouseMove(int index);
  void CMD_SetReset_MouseMove(int index);
  void CMD_SetReset_Click(int index);
  void CMD_ResetAlles_Click();
  void StationButton_Click(View view);
  void StationButton_MouseMove(View view);
  void Frame_Sorvik_Buttons_MouseMove();
  void CMD_Verder_Click();
  void CMD_Terug_Click();
  void TimerNVT_Timer();
  void CMD_Afsluiten_Click();
  void CMD_Help_Click();     // trainer/presentation/HelpAndVideos.cpp
  void CMD_Filmpje_Click();  // trainer/presentation/HelpAndVideos.cpp
  void openwebsite(const std::string& url);
  void Timer_Wissel_Afbeelding_Timer();  // trainer/presentation/PictureSwitching.cpp
  void Image1_Click();                   // trainer/presentation/PictureSwitching.cpp

  // The view whose button carries KleurStation, in the order of "Verder"
  // (stack magazine, conveyor, handling, combined, interface); none at all
  // is possible only while a highlight is shown.
  std::optional<View> SelectedView() const;
  QPushButton* StationButton(View view) const;

  ControlBinding& Control() { return control_; }
  SoundPlayer& Sounds() { return sounds_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;  // Form_Resize (trainer/presentation)
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class SheetScroller;
  friend class DesignGeometry;

  void BuildWindow();       // Main.cpp
  void FormLoad();          // MainLogic.cpp
  void ConnectHandlers();   // MainLogic.cpp
  bool SheetMoving() const;
  void ApplySingleStation(const SingleStation& station);
  void ApplyTransHandling();
  void Flash();
  void CylinderStep();
  void ShowMessage(std::string_view title, std::string_view text);
  void PlaySound(std::string_view file) { sounds_.Play(file); }
  void SetOutputLamp(int i, bool on);
  // The control's face: while connected its LEDs show input and output
  // word 0; unconnected everything is off.
  void ShowControlFace();
  // Runs a user action now, or after the control call in progress returns.
  void UserAction(std::function<void()> action);
  void RunHeldActions();
  void Shutdown();

  // Presentation state (trainer/presentation), made on first use.
  std::unique_ptr<SheetScroller> sheetScroller_;
  std::unique_ptr<DesignGeometry> designGeometry_;
  std::unique_ptr<StationPhotoViewer> photoViewer_;

  MainEnvironment environment_;
  ControlBinding control_;
  SoundPlayer sounds_;
  std::deque<std::function<void()>> heldActions_;
  bool closing_ = false;
  bool closeRequested_ = false;
};

}  // namespace brimlink::trainer
