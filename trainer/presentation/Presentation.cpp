// The presentation procedures of Main: the station buttons follow the mouse
// and the layout is captured for scaling. The lesson text and its scrolling
// (LessonText, SheetScroller) and the component figures (Figures) have their
// own files.
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>

#include <array>
#include <string>

#include "trainer/core/Layout.h"
#include "trainer/core/Main.h"
#include "trainer/presentation/DesignGeometry.h"

namespace brimlink::trainer {

namespace {

constexpr std::array kAllViews{View::StapelMagazijn, View::Transportband, View::Stationhandling, View::TransHandling,
                               View::Interfacing};

}  // namespace

void Main::KleurBeheer(int aktieCijfer) {
  switch (aktieCijfer) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 5:
      // The button under the mouse turns white; the others fall back to
      // button face. The selected station keeps its colour throughout.
      for (const View view : kAllViews) {
        QPushButton* button = StationButton(view);
        if (BackColour(button) == KleurStation) continue;
        SetBackColour(button, MouseCode(view) == aktieCijfer ? vb::kWhite : vb::kButtonFace);
      }
      break;
    case 10:
      for (const View view : kAllViews) {
        QPushButton* button = StationButton(view);
        if (BackColour(button) == vb::kWhite) SetBackColour(button, vb::kButtonFace);
      }
      MuisStation = -1;
      break;
    case 15: {
      // After a full reset: the first six points are named for the view again.
      const std::optional<View> view = SelectedView();
      if (!view || *view == View::TransHandling) break;
      const std::optional<SingleStation> station = SingleStationOf(*view, tables);
      for (int i = 0; i < 6; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const std::string output = station ? (*station->outputs)[k] : GenericOutputName(i);
        const std::string input = station ? (*station->inputs)[k] : GenericInputName(i);
        CMD_SetReset[k]->setText(QString::fromStdString(output));
        Label_Ingang[k]->setText(QString::fromStdString(input));
      }
      break;
    }
    default:
      break;
  }
}

// The window is built at its design, so the design is what is captured:
// every later resize is computed from it, never from rounded pixels.
void Main::ReloadPos() { designGeometry_ = std::make_unique<DesignGeometry>(*this); }

}  // namespace brimlink::trainer
