#include "trainer/presentation/HelpAndVideos.h"

#include <QDesktopServices>
#include <QUrl>
#include <array>
#include <initializer_list>
#include <memory>

#include "tools/station_view/StationFilm.h"
#include "trainer/core/Main.h"

namespace brimlink::trainer {

namespace {

// Each line ends in one CR; an empty entry is the second CR of a blank line.
std::string Lines(std::initializer_list<std::string_view> lines) {
  std::string text;
  for (const std::string_view line : lines) {
    text += line;
    text += '\r';
  }
  return text;
}

}  // namespace

std::optional<HelpText> HelpFor(View view) {
  switch (view) {
    case View::StapelMagazijn:
      return HelpText{"Stapelmagazijn",
                      Lines({"Op het scherm staat het stapelmagazijn.", "", "Het stapelmagazijn heeft als doel...", "",
                             "- een deksel uit magazijn schuiven.",
                             "- doorschuiven tot het op het onderste deel van het bakje ligt.",
                             "- het deksel 10 seconden aandrukken."})};
    case View::Transportband:
      return HelpText{"Transportband",
                      Lines({"Op het scherm staat de transportband.", "", "De transportband heeft als doel...", "",
                             "- transporteren van bakjes.", "- verchroomde bakjes herkennen.",
                             "- geselecteerde bakjes afvoeren."})};
    case View::Stationhandling:
      return HelpText{"Station handling",
                      Lines({"Op het scherm staat het station handling.", "", "Het station handling heeft als doel...",
                             "", "- oppakken van een deksel.", "- verplaatsen van een deksel.",
                             "- het deksel op potje drukken.", "- verplaatsen van het product."})};
    case View::Interfacing:
      return HelpText{"Brimlink mini",
                      Lines({"Op het scherm staat de Brimlink Mini interface van Kavro.", "",
                             "Deze interface kun je op een van de onderstaande modules aansluiten en aansturen.", "",
                             "- Stapelmagazijn.", "- Transportband.", "- Staton Handling.", "",
                             "Lees in je boek wat je moet doen."})};
    case View::TransHandling:
      return std::nullopt;
  }
  return std::nullopt;
}

bool IsPlaceholderAddress(std::string_view address) {
  // fromUserInput also finds the host of an address written without scheme.
  QString host = QUrl::fromUserInput(QString::fromUtf8(address.data(), static_cast<qsizetype>(address.size())))
                     .host()
                     .toLower();
  if (host.endsWith(QLatin1Char('.'))) host.chop(1);
  const auto under = [&](QLatin1StringView name) {
    return host == name || host.endsWith(QLatin1Char('.') + name);
  };
  for (const QLatin1StringView name : {QLatin1StringView("example.org"), QLatin1StringView("example.com"),
                                       QLatin1StringView("example.net"), QLatin1StringView("example"),
                                       QLatin1StringView("invalid"), QLatin1StringView("test")})
    if (under(name)) return true;
  return false;
}

std::optional<std::string_view> VideoFor(View view) {
  std::string_view address;
  switch (view) {
    case View::Transportband:
      address = BRIMLINK_VIDEO_TRANSPORTBAND;
      break;
    case View::Stationhandling:
      address = BRIMLINK_VIDEO_STATIONHANDLING;
      break;
    case View::StapelMagazijn:
      address = BRIMLINK_VIDEO_STAPELMAGAZIJN;
      break;
    default:
      return std::nullopt;
  }
  if (address.empty() || IsPlaceholderAddress(address)) return std::nullopt;
  return address;
}

stationview::StationFilm& ShowStationFilm(QWidget& owner, View view, const QString& title) {
  using stationview::StationKind;
  const QString name = QStringLiteral("film-%1").arg(static_cast<int>(view));
  auto* film = owner.findChild<stationview::StationFilm*>(name, Qt::FindDirectChildrenOnly);
  if (!film) {
    StationKind kind = StationKind::BeltHandling;
    switch (view) {
      case View::StapelMagazijn:
        kind = StationKind::Stack;
        break;
      case View::Transportband:
        kind = StationKind::Belt;
        break;
      case View::Stationhandling:
        kind = StationKind::Handling;
        break;
      default:
        break;
    }
    // A child of the main window so that it closes with it; deleted when
    // closed, so the next click starts the film from the beginning.
    auto owned = std::make_unique<stationview::StationFilm>(kind, &owner);
    film = owned.release();
    film->setObjectName(name);
    film->setWindowFlag(Qt::Window);
    film->setAttribute(Qt::WA_DeleteOnClose);
    film->resize(film->sizeHint());
  }
  film->setWindowTitle(title);
  film->show();
  film->raise();
  film->activateWindow();
  return *film;
}

void Main::CMD_Help_Click() {
  // The help table is tested in the order of SelectedView.
  const std::optional<View> view = SelectedView();
  if (!view) return;
  const std::optional<HelpText> help = HelpFor(*view);
  if (!help) return;
  if (environment_.showInformation) {
    environment_.showInformation(help->title, help->text);
  } else {
    ShowMessage(help->title, help->text);
  }
}

void Main::CMD_Filmpje_Click() {
  for (const View view : {View::Transportband, View::Stationhandling, View::StapelMagazijn}) {
    if (BackColour(StationButton(view)) != KleurStation) continue;
    if (const auto url = VideoFor(view)) {
      openwebsite(std::string(*url));
    } else if (const auto station = SingleStationOf(view, BuildNameTables())) {
      const std::string_view caption = station->filmpjeCaption;
      ShowStationFilm(*this, view, QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
    }
    return;
  }
}

void Main::openwebsite(const std::string& url) {
  // A refused open is ignored, as the shell's answer always was.
  if (environment_.openUrl) {
    environment_.openUrl(url);
    return;
  }
  QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

}  // namespace brimlink::trainer
