#include "trainer/presentation/FullScreen.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>

#include "trainer/core/DataFolders.h"
#include "trainer/core/Main.h"
#include "trainer/core/VbColour.h"
#include "trainer/presentation/Beschrijving.h"

namespace brimlink::trainer {
namespace {

// a * b / c rounded to the nearest integer, without overflow for screen sizes.
int ScaleRounded(int a, int b, int c) {
  const std::int64_t product = static_cast<std::int64_t>(a) * b;
  return static_cast<int>((2 * product + c) / (2 * static_cast<std::int64_t>(c)));
}

// The literal as a path under the folder, with '/' separators.
std::string PathUnder(const std::string& folder, std::string_view literal) {
  std::string path(literal);
  std::replace(path.begin(), path.end(), '\\', '/');
  if (!path.starts_with('/')) path.insert(path.begin(), '/');
  return folder + path;
}

constexpr std::array<View, 3> kSingleStations = {View::StapelMagazijn, View::Transportband, View::Stationhandling};

}  // namespace

PhotoRect FitPhotograph(int W, int H, int SW, int SH) {
  if (W <= 0 || H <= 0) return {0, 0, SW, SH};
  // SW / W < SH / H without division: the width is the tighter limit.
  const bool widthLimits = static_cast<std::int64_t>(SW) * H < static_cast<std::int64_t>(SH) * W;
  if (widthLimits) {
    const int height = ScaleRounded(SW, H, W);
    return {0, (SH - height) / 2, SW, height};
  }
  const int width = ScaleRounded(SH, W, H);
  return {(SW - width) / 2, 0, width, SH};
}

// ---- Full_Screen ---------------------------------------------------------------------------

Full_Screen::Full_Screen() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("Full_Screen"));
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Qt::black);
  setPalette(palette);
  setAutoFillBackground(true);

  Image_Show_Fullscreen = new ImageBox(this);
  Image_Show_Fullscreen->setObjectName(QStringLiteral("Image_Show_Fullscreen"));

  Picture_Measure_Size = new QLabel(this);
  Picture_Measure_Size->setObjectName(QStringLiteral("Picture_Measure_Size"));
  Picture_Measure_Size->setScaledContents(false);
  Picture_Measure_Size->hide();
}

bool Full_Screen::ShowPicture(std::string_view literal) {
  const std::string path = ResolveLiteral(dataFolder.empty() ? DataFolder() : dataFolder, literal);
  QPixmap picture;
  if (path.empty() || !picture.load(QString::fromStdString(path))) {
    std::fprintf(stderr, "brimlinkmini-sorvik: picture not shown: %.*s\n", static_cast<int>(literal.size()),
                 literal.data());
    Image_Show_Fullscreen->Clear();
    shown_.clear();
    return false;
  }
  Image_Show_Fullscreen->SetPicture(picture);
  shown_ = std::string(literal);
  return true;
}

void Full_Screen::ShowFitted(std::string_view literal, int screenWidth, int screenHeight) {
  int W = 0;
  int H = 0;
  if (ShowPicture(literal)) {
    Picture_Measure_Size->setPixmap(Image_Show_Fullscreen->pixmap());
    Picture_Measure_Size->adjustSize();
    W = Picture_Measure_Size->width();
    H = Picture_Measure_Size->height();
  } else {
    Picture_Measure_Size->clear();
  }
  const PhotoRect place = FitPhotograph(W, H, screenWidth, screenHeight);
  Image_Show_Fullscreen->setGeometry(place.left, place.top, place.width, place.height);
}

void Full_Screen::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && !isEnabled() && onActivatedWhileDisabled)
    onActivatedWhileDisabled();
}

void Full_Screen::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    if (onClose) onClose();
    return;
  }
  QWidget::keyPressEvent(event);
}

void Full_Screen::closeEvent(QCloseEvent* event) {
  event->accept();
  if (onClose) onClose();
}

// ---- StationPhotoViewer --------------------------------------------------------------------

StationPhotoViewer::StationPhotoViewer(Main& main, PhotoViewerEnvironment environment)
    : main_(main), environment_(std::move(environment)) {}

StationPhotoViewer::~StationPhotoViewer() = default;

void StationPhotoViewer::MakeWindows() {
  if (fullScreen_) return;
  fullScreen_ = std::make_unique<Full_Screen>();
  fullScreen_->dataFolder = environment_.dataFolder;
  fullScreen_->onClose = [this] { CMD_Close_Click(); };
  fullScreen_->onActivatedWhileDisabled = [this] {
    if (!description_->isVisible()) return;
    description_->raise();
    description_->activateWindow();
  };
  description_ = std::make_unique<Beschrijving>();
  description_->onNumberClicked = [this](int index) { Option_Nummers_Click(index); };
  description_->onClose = [this] { CMD_Close_Click(); };
}

std::optional<View> StationPhotoViewer::SelectedSingleStation() const {
  for (View view : kSingleStations)
    if (BackColour(main_.StationButton(view)) == main_.KleurStation) return view;
  return std::nullopt;
}

void StationPhotoViewer::Open() {
  const std::optional<View> selected = main_.SelectedView();
  if (!selected || *selected == View::TransHandling || *selected == View::Interfacing) return;
  const std::optional<View> station = SelectedSingleStation();
  if (!station) return;
  MakeWindows();
  if (description_->isVisible()) {
    description_->raise();
    description_->activateWindow();
    return;
  }

  // What the full-screen window did on activation happens here, where it is
  // shown, so that coming back to it from a message box or another program
  // neither clears the description nor refits the photograph.
  QScreen* screen = main_.screen() != nullptr ? main_.screen() : QGuiApplication::primaryScreen();
  const QRect area = screen->geometry();
  fullScreen_->setGeometry(area);
  fullScreen_->showFullScreen();
  fullScreen_->ShowFitted(OverviewLiteral(*station), area.width(), area.height());
  // Only the description window takes input while it is open.
  fullScreen_->setEnabled(false);

  description_->ClearChoice();
  description_->move(area.topLeft() + QPoint(24, 24));
  description_->show();
  description_->raise();
  description_->activateWindow();
}

void StationPhotoViewer::Option_Nummers_Click(int index) {
  const std::optional<View> station = SelectedSingleStation();
  if (!station || !fullScreen_) return;
  const std::string literal = CloseUpLiteral(*station, index);
  if (literal.empty()) return;
  const std::optional<ComponentDescription> description = DescriptionOf(*station, index);
  description_->ShowDescription(description);
  // The conveyor belt's 9 to 11 bring back its overview, untested: a missing
  // overview shows an empty picture (and a trace on standard error).
  if (!description) {
    fullScreen_->ShowPicture(literal);
    return;
  }
  const std::string folder = environment_.dataFolder.empty() ? DataFolder() : environment_.dataFolder;
  if (ResolveLiteral(folder, literal).empty()) {
    ShowMessage("Kan het bestand " + PathUnder(folder, literal) + " niet vinden.");
    return;
  }
  fullScreen_->ShowPicture(literal);
}

void StationPhotoViewer::CMD_Close_Click() {
  if (!fullScreen_) return;
  fullScreen_->setEnabled(true);
  fullScreen_->hide();
  description_->hide();
  main_.show();
  main_.raise();
  main_.activateWindow();
}

void StationPhotoViewer::ShowMessage(const std::string& text) {
  if (environment_.showMessage) {
    environment_.showMessage(text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), QString::fromStdString(text),
                  QMessageBox::Ok, description_.get());
  box.exec();
}

}  // namespace brimlink::trainer
