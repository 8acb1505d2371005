#include "trainer/presentation/HelpAndVideos.h"

#include <QDesktopServices>
#include <QUrl>
#include <array>
#include <initializer_list>

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

std::optional<std::string_view> VideoFor(View view) {
  switch (view) {
    case View::Transportband:
      return BRIMLINK_VIDEO_TRANSPORTBAND;
    case View::Stationhandling:
      return BRIMLINK_VIDEO_STATIONHANDLING;
    case View::StapelMagazijn:
      return BRIMLINK_VIDEO_STAPELMAGAZIJN;
    default:
      return std::nullopt;
  }
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
    if (const auto url = VideoFor(view)) openwebsite(std::string(*url));
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
