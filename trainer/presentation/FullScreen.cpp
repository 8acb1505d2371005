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
#include <cmath>
#include <cstdio>
#include <limits>
#include <span>

#include "trainer/core/DataFolders.h"
#include "trainer/core/Main.h"
#include "trainer/core/VbColour.h"
#include "trainer/presentation/Beschrijving.h"
#include "trainer/presentation/OverviewNumbers.h"

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

// ---- Description window placement ---------------------------------------------------------

namespace {

using overview::NumberedComponent;

// The badge's radius in scene units.
constexpr double kBadgeRadius = overview::kBadgeRadiusPixels * overview::kSceneWidth / 1024.0;

// The component's circle and the badge, each as a box, in fractions of the
// photograph. The leader between them may be covered; they may not.
QRectF Fraction(const QRectF& scene) {
  return {scene.left() / overview::kSceneWidth, scene.top() / overview::kSceneHeight,
          scene.width() / overview::kSceneWidth, scene.height() / overview::kSceneHeight};
}
QRectF ComponentBox(const NumberedComponent& n) {
  return Fraction(QRectF(n.targetX - n.radius, n.targetY - n.radius, 2 * n.radius, 2 * n.radius));
}
QRectF BadgeBox(const NumberedComponent& n) {
  return Fraction(QRectF(n.badgeX - kBadgeRadius, n.badgeY - kBadgeRadius, 2 * kBadgeRadius, 2 * kBadgeRadius));
}

std::span<const NumberedComponent> NumbersOf(View view) {
  switch (view) {
    case View::StapelMagazijn:
      return overview::kStackMagazine;
    case View::Transportband:
      return overview::kConveyor;
    case View::Stationhandling:
      return overview::kHandling;
    default:
      return {};
  }
}

// Fractions of the photograph as screen pixels, outward to whole pixels so
// that no pixel of an area is left out.
std::vector<QRect> OnScreen(const std::vector<QRectF>& fractions, const QRect& photo) {
  std::vector<QRect> areas;
  areas.reserve(fractions.size());
  for (const QRectF& area : fractions) {
    const double left = photo.left() + area.left() * photo.width();
    const double top = photo.top() + area.top() * photo.height();
    const double right = photo.left() + area.right() * photo.width();
    const double bottom = photo.top() + area.bottom() * photo.height();
    areas.emplace_back(QPoint(static_cast<int>(std::floor(left)), static_cast<int>(std::floor(top))),
                       QPoint(static_cast<int>(std::ceil(right)), static_cast<int>(std::ceil(bottom))));
  }
  return areas;
}

long long Overlap(const QRect& a, const QRect& b) {
  const QRect both = a.intersected(b);
  return both.isEmpty() ? 0 : static_cast<long long>(both.width()) * both.height();
}

}  // namespace

constexpr QMargins kAssumedFrame(4, 28, 4, 4);

std::vector<QRectF> ComponentAreas(View view) {
  const std::span<const NumberedComponent> numbers = NumbersOf(view);
  std::vector<QRectF> areas;
  areas.reserve(2 * numbers.size());
  for (const NumberedComponent& n : numbers) {
    areas.push_back(ComponentBox(n));
    areas.push_back(BadgeBox(n));
  }
  return areas;
}

std::vector<QRect> ComponentAreasOnScreen(View view, const QRect& photo) {
  return OnScreen(ComponentAreas(view), photo);
}

std::vector<QRectF> CloseUpAreas(View view, int number) {
  const std::span<const NumberedComponent> numbers = NumbersOf(view);
  if (number < 1 || number > static_cast<int>(numbers.size())) return {};
  const NumberedComponent& n = numbers[static_cast<std::size_t>(number - 1)];
  // The close-up's view of the scene, as the artwork draws it.
  const overview::SceneWindow window =
      overview::WindowAround(n.targetX, n.targetY, overview::CloseUpZoom(n.radius), overview::kCaptionBand);
  const QPointF centre((n.targetX - window.left) * window.scale, (n.targetY - window.top) * window.scale);
  const double ring = overview::CloseUpRing(n.radius, window.scale);
  double badgeX = 0, badgeY = 0;
  overview::CloseUpBadge(centre.x(), centre.y(), ring, badgeX, badgeY);
  const QPointF badge(badgeX, badgeY);
  const auto box = [&](QPointF at, double radius) {
    return QRectF(at.x() - radius, at.y() - radius, 2 * radius, 2 * radius);
  };
  // The ring's pen is 9 pixels wide, the badge's 2.
  const QRectF ringBox = box(centre, ring + 4.5);
  const QRectF badgeBox = box(badge, overview::kCloseUpBadgeRadius + 1);
  const auto fraction = [&](const QRectF& r) {
    return QRectF(r.left() / overview::kPictureWidth, r.top() / overview::kPictureHeight,
                  r.width() / overview::kPictureWidth, r.height() / overview::kPictureHeight);
  };
  return {fraction(ringBox), fraction(badgeBox)};
}

std::vector<QRect> CloseUpAreasOnScreen(View view, int number, const QRect& photo) {
  return OnScreen(CloseUpAreas(view, number), photo);
}

QPoint ClearPlace(const std::vector<QRect>& avoid, const QRect& screen, const QSize& outer,
                  const QPoint& preferred) {
  const QRect room = screen.marginsRemoved(QMargins(kDescriptionMargin, kDescriptionMargin, kDescriptionMargin,
                                                    kDescriptionMargin));
  // Every place on a grid of a few pixels, nearest to the preferred one first.
  constexpr int kStep = 4;
  const int spanX = std::max(0, room.width() - outer.width());
  const int spanY = std::max(0, room.height() - outer.height());
  QPoint best = room.topLeft();
  long long bestCovered = std::numeric_limits<long long>::max();
  long long bestDistance = std::numeric_limits<long long>::max();
  for (int dy = 0; dy <= spanY; dy += kStep) {
    for (int dx = 0; dx <= spanX; dx += kStep) {
      const QRect place(room.topLeft() + QPoint(dx, dy), outer);
      long long covered = 0;
      for (const QRect& area : avoid) covered += Overlap(place, area);
      const QPoint away = place.topLeft() - preferred;
      const long long distance =
          static_cast<long long>(away.x()) * away.x() + static_cast<long long>(away.y()) * away.y();
      if (covered < bestCovered || (covered == bestCovered && distance < bestDistance)) {
        best = place.topLeft();
        bestCovered = covered;
        bestDistance = distance;
      }
    }
  }
  return best;
}

QPoint DescriptionPlace(View view, const QRect& photo, const QRect& screen, const QSize& size,
                        const QMargins& frame) {
  return ClearPlace(ComponentAreasOnScreen(view, photo), screen, size.grownBy(frame),
                    screen.topLeft() + QPoint(kDescriptionMargin, kDescriptionMargin));
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
  // The frame is known only once the window has been shown; a title bar and
  // thin borders are assumed, or the frame it had where that was larger.
  const QRect outer = description_->frameGeometry();
  const QRect inner = description_->geometry();
  const QMargins frame(std::max(kAssumedFrame.left(), inner.left() - outer.left()),
                       std::max(kAssumedFrame.top(), inner.top() - outer.top()),
                       std::max(kAssumedFrame.right(), outer.right() - inner.right()),
                       std::max(kAssumedFrame.bottom(), outer.bottom() - inner.bottom()));
  description_->move(DescriptionPlace(*station, PhotoOnScreen(), area, description_->size(), frame));
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
    KeepClearOf(ComponentAreasOnScreen(*station, PhotoOnScreen()));
    return;
  }
  const std::string folder = environment_.dataFolder.empty() ? DataFolder() : environment_.dataFolder;
  if (ResolveLiteral(folder, literal).empty()) {
    ShowMessage("Kan het bestand " + PathUnder(folder, literal) + " niet vinden.");
    return;
  }
  fullScreen_->ShowPicture(literal);
  KeepClearOf(CloseUpAreasOnScreen(*station, index, PhotoOnScreen()));
}

QRect StationPhotoViewer::PhotoOnScreen() const {
  return fullScreen_->Image_Show_Fullscreen->geometry().translated(fullScreen_->geometry().topLeft());
}

// Like a search dialog that steps aside from the match: the window moves only
// when it covers what the picture now shows, and then as little as it can.
void StationPhotoViewer::KeepClearOf(const std::vector<QRect>& areas) {
  const QRect window = description_->frameGeometry();
  if (std::none_of(areas.begin(), areas.end(), [&](const QRect& area) { return window.intersects(area); })) return;
  description_->move(ClearPlace(areas, fullScreen_->geometry(), window.size(), window.topLeft()));
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
