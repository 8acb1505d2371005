// The handlers of the trainer core: start-up and shutdown, connecting, the
// input event, the output switches with their interlocks and resets, the
// station buttons and the lesson steps.
#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <cstdio>

#include "trainer/core/Layout.h"
#include "trainer/core/Main.h"
#include "trainer/presentation/FullScreen.h"
#include "trainer/presentation/SheetScroller.h"

namespace brimlink::trainer {

namespace {

constexpr VbColour kFlashColour = 0x008080FF;
constexpr VbColour kConnectedFore = 0x00000000;

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

constexpr std::array<View, 5> kViewsInButtonOrder{View::StapelMagazijn, View::Transportband, View::Stationhandling,
                                                  View::TransHandling, View::Interfacing};

}  // namespace

// ---- start-up, shutdown, deferral ---------------------------------------------

void Main::FormLoad() {
  MuisStation = -1;
  HuidigOnderdeel = -1;
  KleurStation = 0x0080FFFF;
  KleurUitgang = 0x00FFD2D2;
  KleurIngang = 0x00D2FFD2;
  KleurUitgangWijzer = 0x00F0BF93;
  KleurIngangWijzer = 0x0080FF80;

  // At start the interface view counts as selected; FrameModule keeps its
  // design caption, so no interlock applies until a station is chosen.
  SetBackColour(CMD_Interfacing, KleurStation);
  tables = BuildNameTables();
  for (int i = 0; i < 8; ++i) {
    const auto k = static_cast<std::size_t>(i);
    CMD_SetReset[k]->setText(Text(GenericOutputName(i)));
    Label_Ingang[k]->setText(Text(GenericInputName(i)));
  }
  SetBackColour(PictureTekst, KleurStation);
  SetBackColour(PictureTekstKader, KleurStation);
  Image_Module_Holder->LoadPicture(kPictureBrimlinkMini);
  ImageSensorActuator->LoadPicture("\\Afbeeldingen\\Multi Connector.bmp");
  // A fixed badge that shows the frame can be clicked (for the version).
  Image1->LoadPicture("\\Afbeeldingen\\About.bmp");

  control_.onIdle = [this] {
    // After the current handler has finished, not in its middle.
    QTimer::singleShot(0, this, [this] { RunHeldActions(); });
  };
  if (control_.Create([this](std::int16_t m, std::int16_t w, std::int32_t v) { InputWordChanged(m, w, v); })) {
    if (QWidget* window = control_.Window(Brimlink1)) {
      window->setGeometry(Brimlink1->rect());
      window->show();
    }
  } else {
    std::fprintf(stderr, "brimlinkmini-sorvik: the I/O control cannot be created: %s\n", control_.Error().c_str());
  }

  PlaatsTekst();
  ReloadPos();
}

void Main::UserAction(std::function<void()> action) {
  if (closing_) return;
  if (control_.Busy()) {
    heldActions_.push_back(std::move(action));
    return;
  }
  action();
}

void Main::RunHeldActions() {
  while (!closing_ && !control_.Busy() && !heldActions_.empty()) {
    std::function<void()> action = std::move(heldActions_.front());
    heldActions_.pop_front();
    action();
  }
}

void Main::Shutdown() {
  if (closing_) return;
  ResetAll();
  // From here on no handler of ours runs; the control is released when the
  // window is destroyed, which closes its channels and writes its settings.
  closing_ = true;
  heldActions_.clear();
  TimerNVT->stop();
  Timer_Wissel_Afbeelding->stop();
  // The secondary windows go without running their own handlers.
  photoViewer_.reset();
  hide();
  if (environment_.quit) {
    environment_.quit();
  } else {
    QCoreApplication::quit();
  }
}

void Main::CMD_Afsluiten_Click() { Shutdown(); }

void Main::closeEvent(QCloseEvent* event) {
  if (closing_) {
    event->accept();
    return;
  }
  // The window stays until the call in progress has returned; then it ends.
  event->ignore();
  UserAction([this] { Shutdown(); });
}

void Main::ShowMessage(std::string_view title, std::string_view text) {
  if (environment_.showMessage) {
    environment_.showMessage(std::string(title), std::string(text));
    return;
  }
  QString shown = Text(text);
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QMessageBox::information(this, Text(title), shown, QMessageBox::Ok);
}

// ---- wiring ---------------------------------------------------------------------

void Main::ConnectHandlers() {
  const auto onClick = [this](QPushButton* button, std::function<void()> handler) {
    connect(button, &QPushButton::clicked, this, [this, handler = std::move(handler)] { UserAction(handler); });
  };
  // The connect button has its own guard (ReageerNiet): a click while it is
  // set does nothing. A click held back until a waiting call returns counts
  // as running already, so a double click still acts once.
  connect(CMD_Verbinding, &QPushButton::clicked, this, [this] {
    if (ReageerNiet) return;
    if (control_.Busy()) ReageerNiet = true;
    UserAction([this] {
      ReageerNiet = false;
      CMD_Verbinding_Click();
    });
  });
  onClick(CMD_Interfacing, [this] { CMD_Interfacing_Click(); });
  onClick(Command1, [this] { Command1_Click(); });
  for (int i = 0; i < 8; ++i) onClick(CMD_SetReset[static_cast<std::size_t>(i)], [this, i] { CMD_SetReset_Click(i); });
  onClick(CMD_ResetAlles, [this] { CMD_ResetAlles_Click(); });
  for (View view : {View::StapelMagazijn, View::Transportband, View::Stationhandling, View::TransHandling})
    onClick(StationButton(view), [this, view] { StationButton_Click(view); });
  onClick(CMD_Verder, [this] { CMD_Verder_Click(); });
  onClick(CMD_Terug, [this] { CMD_Terug_Click(); });
  onClick(CMD_Afsluiten, [this] { CMD_Afsluiten_Click(); });
  onClick(CMD_Help, [this] { CMD_Help_Click(); });
  onClick(CMD_Filmpje, [this] { CMD_Filmpje_Click(); });
  connect(TimerNVT, &QTimer::timeout, this, [this] {
    if (!closing_) TimerNVT_Timer();
  });
  connect(Timer_Wissel_Afbeelding, &QTimer::timeout, this, [this] {
    if (!closing_) Timer_Wissel_Afbeelding_Timer();
  });
  connect(Image1, &ImageBox::clicked, this, [this] { UserAction([this] { Image1_Click(); }); });
  connect(Image_Module_Holder, &ImageBox::clicked, this, [this] {
    UserAction([this] {
      if (!photoViewer_) photoViewer_ = std::make_unique<StationPhotoViewer>(*this);
      photoViewer_->Open();
    });
  });
}

bool Main::eventFilter(QObject* watched, QEvent* event) {
  if (closing_) return QWidget::eventFilter(watched, event);
  auto* widget = qobject_cast<QWidget*>(watched);
  if (event->type() == QEvent::MouseMove && widget != nullptr && widget->isEnabled()) {
    const auto* move = static_cast<QMouseEvent*>(event);
    for (int i = 0; i < 8; ++i) {
      const auto k = static_cast<std::size_t>(i);
      if (watched == Label_Ingang[k]) Label_Ingang_MouseMove(i);
      if (watched == CMD_SetReset[k]) CMD_SetReset_MouseMove(i);
    }
    for (View view : kViewsInButtonOrder) {
      if (watched == StationButton(view)) {
        StationButton_MouseMove(view);
        // Taken here, so that the frame around the buttons does not see it
        // too; a pressed button still follows the mouse.
        return move->buttons() == Qt::NoButton;
      }
    }
    if (watched == Frame_Sorvik_Buttons && Frame_Sorvik_Buttons->childAt(move->position().toPoint()) == nullptr)
      Frame_Sorvik_Buttons_MouseMove();
  }
  if (event->type() == QEvent::MouseButtonRelease && watched == FrameBrimlink) {
    // Only a release on the frame itself, not one a child passed on.
    const auto* release = static_cast<QMouseEvent*>(event);
    if (FrameBrimlink->childAt(release->position().toPoint()) == nullptr) UserAction([this] { FrameBrimlink_MouseUp(); });
  }
  return QWidget::eventFilter(watched, event);
}

// ---- connecting --------------------------------------------------------------------

void Main::CMD_Verbinding_Click() {
  if (ReageerNiet) return;
  ReageerNiet = true;
  if (Verbonden) {
    Verbonden = false;
    PlaySound(kSoundDisconnected);
    SetBackColour(Label_VerbindingKader, vb::kGrey);
    SetBackColour(Label_Verbinding, vb::kGrey);
    Label_Verbinding->setText(QStringLiteral("Niet verbonden"));
    SetForeColour(Label_Verbinding, vb::kWhite);
    CMD_Verbinding->setText(QStringLiteral("Zoek en verbind"));
    CMD_TransHandling->setEnabled(true);
    Label_Compoort->setText(QStringLiteral("-"));
    Label_Modulenummer->setText(QStringLiteral("-"));
    control_.Disconnect();
    ShowControlFace();
  } else {
    CMD_Verbinding->setText(QStringLiteral("Zoeken..."));
    const std::int16_t found = control_.Connect();
    if (found == 0) {
      ShowMessage(kProgramTitle, NotFoundText());
      CMD_Verbinding->setText(QStringLiteral("Zoek en verbind"));
    } else {
      PlaySound(kSoundConnected);
      ComPoort = control_.GetComPort(0);
      Label_Compoort->setText(QString::number(ComPoort));
      ModuleNummer = control_.GetModuleType(0);
      Label_Modulenummer->setText(QString::number(ModuleNummer));
      if (const auto module = ModulePresentationOf(ModuleNummer)) {
        Image_Module_Holder->LoadPicture(module->picture);
        CMD_Interfacing->setText(Text(module->caption));
        if (ModuleNummer == 5) {
          CMD_TransHandling->setEnabled(false);
          SetBrimlink();
        }
      }
      Verbonden = true;
      CMD_Verbinding->setText(QStringLiteral("Verbreek"));
      SetBackColour(Label_VerbindingKader, KleurIngangWijzer);
      SetBackColour(Label_Verbinding, KleurIngangWijzer);
      Label_Verbinding->setText(QStringLiteral("Verbonden"));
      SetForeColour(Label_Verbinding, kConnectedFore);
      ShowControlFace();
    }
  }
  ReageerNiet = false;
}

void Main::CMD_Interfacing_Click() { SetBrimlink(); }

void Main::Command1_Click() { control_.AboutBox(); }

void Main::FrameBrimlink_MouseUp() { control_.AboutBox(); }

void Main::SetBrimlink() {
  ResetAll();
  ImageSensorActuator->Clear();
  for (std::size_t i = 0; i < 8; ++i) {
    SetBackColour(CMD_SetReset[i], KleurUitgang);
    SetBackColour(PictureLabelIngangen[i], KleurIngang);
    SetForeColour(Label_Ingang[i], vb::kButtonText);
    Label_Ingang[i]->setEnabled(true);
  }
  FrameSensorActuator->setTitle(QStringLiteral("Sensor / Actuator"));
  FrameIngangen->setTitle(QStringLiteral("Ingangen"));
  FrameUitgangen->setTitle(QStringLiteral("Uitgangen"));
  FrameModule->setTitle(Text(kCaptionInterfacing));
  for (int i = 0; i < 8; ++i) {
    const auto k = static_cast<std::size_t>(i);
    CMD_SetReset[k]->setText(Text(GenericOutputName(i)));
    CMD_SetReset[k]->setEnabled(true);
    Label_Ingang[k]->setText(Text(GenericInputName(i)));
  }
  for (View view : {View::Transportband, View::Stationhandling, View::TransHandling, View::StapelMagazijn})
    SetBackColour(StationButton(view), vb::kButtonFace);
  SetBackColour(CMD_Interfacing, KleurStation);
  CMD_Filmpje->hide();
  Image_Module_Holder->LoadPicture(kPictureBrimlinkMini);
  HuidigOnderdeel = -1;
  pictureTekstTop = 0;
  PlaceSheet(*this);
  PlaatsTekst();
  if (const auto module = ModulePresentationOf(ModuleNummer)) {
    Image_Module_Holder->LoadPicture(module->picture);
    CMD_Interfacing->setText(Text(module->caption));
  }
}

// ---- inputs --------------------------------------------------------------------------

void Main::InputWordChanged(std::int16_t /*modIndex*/, std::int16_t wordIndex, std::int32_t value) {
  if (closing_) return;
  // Only the digital word lights lamps and feeds the interlocks; an analog
  // word's report would otherwise show its value as inputs.
  if (wordIndex == 0) {
    DecimaalIn = value & 0xFFFF;
    for (int i = 0; i < 8; ++i)
      Shape_LampjeIn[static_cast<std::size_t>(i + 1)]->SetFillColour((DecimaalIn >> i) & 1 ? vb::kYellow : vb::kGrey);
    ShowControlFace();
  }
  PlaySound(kSoundInputClick);
}

void Main::Label_Ingang_MouseMove(int index) {
  if (index + 8 == HuidigOnderdeel) return;
  FiguurActuatorSensor(index + 8);
  Timer_Wissel_Afbeelding->stop();
}

void Main::CMD_SetReset_MouseMove(int index) {
  if (index == HuidigOnderdeel) return;
  FiguurActuatorSensor(index);
  if (!Timer_Wissel_Afbeelding->isActive()) Timer_Wissel_Afbeelding->start();
}

// ---- outputs ---------------------------------------------------------------------------

void Main::SetOutputLamp(int i, bool on) { Shape_Lampje[static_cast<std::size_t>(i)]->SetFillColour(on ? vb::kYellow : vb::kGrey); }

void Main::ShowControlFace() {
  if (!Verbonden) {
    control_.ShowFace(0, 0, false);
    return;
  }
  control_.ShowFace(static_cast<std::uint8_t>(DecimaalIn & 0xFF), static_cast<std::uint8_t>(DecimaalUit & 0xFF), true);
}

void Main::CMD_SetReset_Click(int index) {
  if (index < 0 || index > 7) return;
  const int mask = 1 << index;
  const bool on = (DecimaalUit & mask) != 0;
  if (const auto reason = InterlockReason(FrameModule->title().toStdString(), index, on, DecimaalIn)) {
    ShowMessage(kRefusalTitle, RefusalText(*reason));
  } else if (on) {
    DecimaalUit = static_cast<std::int16_t>(DecimaalUit - mask);
    SetOutputLamp(index, false);
  } else {
    DecimaalUit = static_cast<std::int16_t>(DecimaalUit + mask);
    SetOutputLamp(index, true);
  }
  control_.SetDigitalOutput0(DecimaalUit);
  ShowControlFace();
  PlaySound(kSoundOutputClick);
}

void Main::CMD_ResetAlles_Click() {
  DecimaalUit = 0;
  control_.SetDigitalOutput0(DecimaalUit);
  ShowControlFace();
  for (int i = 0; i < 8; ++i) SetOutputLamp(i, false);
  KleurBeheer(15);
}

void Main::ResetAll() {
  Timer_Wissel_Afbeelding->stop();
  DecimaalUit = 0;
  OnderdeelNaam.clear();
  control_.SetDigitalOutput0(DecimaalUit);
  ShowControlFace();
  for (int i = 0; i < 8; ++i) SetOutputLamp(i, false);
}

// ---- stations and lesson steps ------------------------------------------------------------

QPushButton* Main::StationButton(View view) const {
  switch (view) {
    case View::StapelMagazijn:
      return CMD_StapelMagazijn;
    case View::Transportband:
      return CMD_Transportband;
    case View::Stationhandling:
      return CMD_Stationhandling;
    case View::TransHandling:
      return CMD_TransHandling;
    case View::Interfacing:
      return CMD_Interfacing;
  }
  return nullptr;
}

std::optional<View> Main::SelectedView() const {
  for (View view : kViewsInButtonOrder)
    if (BackColour(StationButton(view)) == KleurStation) return view;
  return std::nullopt;
}

void Main::StationButton_Click(View view) {
  if (view == View::Interfacing) {
    SetBrimlink();
  } else if (view == View::TransHandling) {
    ApplyTransHandling();
  } else if (const auto station = SingleStationOf(view, tables)) {
    ApplySingleStation(*station);
  }
}

void Main::ApplySingleStation(const SingleStation& station) {
  ResetAll();
  ImageSensorActuator->Clear();
  for (int i = 0; i < 8; ++i) {
    const auto k = static_cast<std::size_t>(i);
    SetBackColour(PictureLabelIngangen[k], i < station.inputsInUse ? KleurIngang : vb::kButtonFace);
    SetBackColour(CMD_SetReset[k], i < station.outputsWithPlate ? KleurUitgang : vb::kButtonFace);
  }
  FrameSensorActuator->setTitle(QStringLiteral("Sensor / Actuator"));
  FrameIngangen->setTitle(QStringLiteral("Sensoren"));
  FrameUitgangen->setTitle(QStringLiteral("Actuatoren"));
  FrameModule->setTitle(Text(station.frameModuleCaption));
  for (View other : kViewsInButtonOrder)
    SetBackColour(StationButton(other), other == station.view ? KleurStation : vb::kButtonFace);
  CMD_Filmpje->setText(Text(station.filmpjeCaption));
  CMD_Filmpje->show();
  for (int i = 0; i < 8; ++i) {
    const auto k = static_cast<std::size_t>(i);
    const bool used = i < station.inputsInUse;
    SetForeColour(Label_Ingang[k], used ? vb::kButtonText : vb::kApplicationWorkspace);
    Label_Ingang[k]->setEnabled(used);
  }
  Image_Module_Holder->LoadPicture(station.photo);
  for (int i = 0; i < 8; ++i) {
    const auto k = static_cast<std::size_t>(i);
    CMD_SetReset[k]->setText(Text((*station.outputs)[k]));
    Label_Ingang[k]->setText(Text((*station.inputs)[k]));
    CMD_SetReset[k]->setEnabled(!IsSpareOutput((*station.outputs)[k]));
  }
  HuidigOnderdeel = -1;
  pictureTekstTop = 0;
  PlaceSheet(*this);
  PlaatsTekst();
}

void Main::ApplyTransHandling() {
  ResetAll();
  ImageSensorActuator->Clear();
  for (std::size_t i = 0; i < 8; ++i) {
    SetBackColour(CMD_SetReset[i], KleurUitgang);
    CMD_SetReset[i]->setEnabled(true);
    SetBackColour(PictureLabelIngangen[i], KleurIngang);
    SetForeColour(Label_Ingang[i], vb::kButtonText);
    Label_Ingang[i]->setEnabled(true);
  }
  FrameSensorActuator->setTitle(QStringLiteral("Sensor / Actuator"));
  for (std::size_t i = 0; i < 3; ++i) CMD_SetReset[i]->setText(Text(tables.uitgangenTransportband[i]));
  for (std::size_t i = 0; i < 5; ++i) CMD_SetReset[i + 3]->setText(Text(tables.uitgangenHandling[i]));
  for (const int spare : {2, 7}) {
    const auto k = static_cast<std::size_t>(spare);
    SetBackColour(PictureLabelIngangen[k], vb::kButtonFace);
    SetForeColour(Label_Ingang[k], vb::kApplicationWorkspace);
    Label_Ingang[k]->setEnabled(false);
    Label_Ingang[k]->setText(Text(GenericInputName(spare)));
  }
  for (std::size_t i = 0; i < 2; ++i) Label_Ingang[i]->setText(Text(tables.ingangenTransportband[i]));
  for (std::size_t i = 0; i < 4; ++i) Label_Ingang[i + 3]->setText(Text(tables.ingangenHandling[i]));
  FrameIngangen->setTitle(QStringLiteral("Ingangen"));
  FrameUitgangen->setTitle(QStringLiteral("Uitgangen"));
  FrameModule->setTitle(Text(kCaptionTransHandling));
  for (View other : kViewsInButtonOrder)
    SetBackColour(StationButton(other), other == View::TransHandling ? KleurStation : vb::kButtonFace);
  CMD_Filmpje->hide();
  Image_Module_Holder->LoadPicture(kPhotoTransHandling);
  HuidigOnderdeel = -1;
  pictureTekstTop = 0;
  PlaceSheet(*this);
  PlaatsTekst();
}

void Main::StationButton_MouseMove(View view) {
  const int code = MouseCode(view);
  if (MuisStation == code) return;
  MuisStation = static_cast<std::int16_t>(code);
  KleurBeheer(code);
}

void Main::Frame_Sorvik_Buttons_MouseMove() { KleurBeheer(10); }

bool Main::SheetMoving() const { return sheetScroller_ != nullptr && sheetScroller_->Animating(); }

void Main::CMD_Verder_Click() {
  // While the text still slides to its panel, a click is ignored.
  if (SheetMoving()) return;
  const std::optional<View> view = SelectedView();
  if (!view) return;
  switch (ForwardActionFor(*view, pictureTekstTop)) {
    case ForwardAction::Nothing:
      break;
    case ForwardAction::Forward:
      VerschuifTekst(0);
      break;
    case ForwardAction::Flash:
      Flash();
      break;
    case ForwardAction::CylinderStepThenForward:
      CylinderStep();
      VerschuifTekst(0);
      break;
  }
}

void Main::CMD_Terug_Click() {
  if (SheetMoving()) return;
  if (pictureTekstTop >= 0) {
    Flash();
  } else {
    VerschuifTekst(1);
  }
}

void Main::CylinderStep() {
  ImageSensorActuator->LoadPicture(kPictureCylinderStep);
  FrameSensorActuator->setTitle(QStringLiteral("ADN cilinder."));
  const int p = HuidigOnderdeel;
  if (p >= 0 && p <= 7) SetBackColour(CMD_SetReset[static_cast<std::size_t>(p)], vb::kButtonFace);
  if (p >= 8 && p <= 15) SetBackColour(PictureLabelIngangen[static_cast<std::size_t>(p - 8)], vb::kButtonFace);
}

void Main::Flash() {
  SetBackColour(PictureTekst, kFlashColour);
  SetBackColour(PictureTekstKader, kFlashColour);
  PlaatsTekst();
  // Enabling a running timer does not restart it.
  if (!TimerNVT->isActive()) TimerNVT->start();
}

void Main::TimerNVT_Timer() {
  TimerNVT->stop();
  SetBackColour(PictureTekst, KleurStation);
  SetBackColour(PictureTekstKader, KleurStation);
  PlaatsTekst();
}

}  // namespace brimlink::trainer
