#include "tools/artwork/Catalogue.h"

#include <QBuffer>
#include <QPainter>

#include "tools/artwork/Drawing.h"
#include "tools/artwork/Pictures.h"

namespace brimlink::artwork {

const std::vector<PictureEntry>& Pictures() {
  static const std::vector<PictureEntry> table = {
      {"Brimlink mini.bmp", kStationPhoto, DrawBrimlinkMini},
      {"Brimlink R16.bmp", kStationPhoto, DrawBrimlinkR16},
      {"Brimlink R8A.bmp", kStationPhoto, DrawBrimlinkR8A},
      {"Stapel magazijn org.bmp", kStationPhoto, DrawStackMagazine},
      {"Transportband org.bmp", kStationPhoto, DrawConveyor},
      {"Station handling org.bmp", kStationPhoto, DrawHandlingStation},
      {"TransHandling.bmp", kStationPhoto, DrawConveyorWithHandling},
      {"Multi Connector.bmp", kComponentFigure, DrawMultiConnector},
      {"About.bmp", kAboutPicture, DrawAboutBadge},
      {"Cilinder Dubbelwerkend ADN Bediend.bmp", kComponentFigure, DrawCompactCylinderActuated},
      {"Cilinder Dubbelwerkend ADN.bmp", kComponentFigure, DrawCompactCylinder},
      {"Cilinder dubbelwerkend.bmp", kComponentFigure, DrawDoubleActingCylinder},
      {"Cilinder enkelwerkend.bmp", kComponentFigure, DrawSingleActingCylinder},
      {"Stapel magazijn 4-2 Ventiel Mono stabiel.bmp", kComponentFigure, DrawValveMonostable},
      {"Stapel magazijn 4-2 Ventiel Bistabiel.bmp", kComponentFigure, DrawValveBistable},
      {"Station handling Grijper.bmp", kComponentFigure, DrawGripper},
      {"Stapel magazijn Magnetische Sensor.bmp", kComponentFigure, DrawMagneticSensor},
      {"Transportband Inductieve Sensor.bmp", kComponentFigure, DrawInductiveSensor},
      {"Transportband Optische Sensor.bmp", kComponentFigure, DrawOpticalSensor},
      {"Transportband Elektro Motor.bmp", kComponentFigure, DrawDcMotor},
      {"Transportband Relais.bmp", kComponentFigure, DrawRelay},
      {"Transportband Magneetspoel Stopper.bmp", kComponentFigure, DrawSolenoidStopper},
      // Overview photographs, and the close-up of each number the
      // description window offers ("cijfers 01" .. "cijfers 11").
      {"Station Stapel Magazijn cijfers.jpg", kOverviewPhoto, DrawOverviewOf<Overview::StackMagazine>},
      {"Station Stapel Magazijn cijfers 01.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::StackMagazine, 1>},
      {"Station Stapel Magazijn cijfers 02.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::StackMagazine, 2>},
      {"Station Stapel Magazijn cijfers 03.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::StackMagazine, 3>},
      {"Station Stapel Magazijn cijfers 04.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::StackMagazine, 4>},
      {"Station Stapel Magazijn cijfers 05.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::StackMagazine, 5>},
      {"Station Stapel Magazijn cijfers 06.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::StackMagazine, 6>},
      {"Station Stapel Magazijn cijfers 07.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::StackMagazine, 7>},
      {"Station Stapel Magazijn cijfers 08.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::StackMagazine, 8>},
      {"Station Stapel Magazijn cijfers 09.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::StackMagazine, 9>},
      {"Station Stapel Magazijn cijfers 10.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::StackMagazine, 10>},
      {"Station Stapel Magazijn cijfers 11.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::StackMagazine, 11>},
      {"Station Transportband cijfers.jpg", kOverviewPhoto, DrawOverviewOf<Overview::Conveyor>},
      {"Station Transportband cijfers 01.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::Conveyor, 1>},
      {"Station Transportband cijfers 02.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::Conveyor, 2>},
      {"Station Transportband cijfers 03.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::Conveyor, 3>},
      {"Station Transportband cijfers 04.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::Conveyor, 4>},
      {"Station Transportband cijfers 05.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::Conveyor, 5>},
      {"Station Transportband cijfers 06.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::Conveyor, 6>},
      {"Station Transportband cijfers 07.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::Conveyor, 7>},
      {"Station Transportband cijfers 08.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::Conveyor, 8>},
      {"Station Handling cijfers.jpg", kOverviewPhoto, DrawOverviewOf<Overview::Handling>},
      {"Station Handling cijfers 01.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::Handling, 1>},
      {"Station Handling cijfers 02.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::Handling, 2>},
      {"Station Handling cijfers 03.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::Handling, 3>},
      {"Station Handling cijfers 04.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::Handling, 4>},
      {"Station Handling cijfers 05.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::Handling, 5>},
      {"Station Handling cijfers 06.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::Handling, 6>},
      {"Station Handling cijfers 07.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::Handling, 7>},
      {"Station Handling cijfers 08.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::Handling, 8>},
      {"Station Handling cijfers 09.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::Handling, 9>},
      {"Station Handling cijfers 10.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::Handling, 10>},
      {"Station Handling cijfers 11.jpg", kOverviewPhoto, DrawCloseUpOf<Overview::Handling, 11>},
  };
  return table;
}

QImage Render(const PictureEntry& entry) {
  QImage image = NewPicture(entry.size);
  {
    QPainter painter(&image);
    Prepare(painter);
    entry.draw(painter);
  }
  return image;
}

QByteArray Encode(const QImage& image, const QString& fileName) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  const bool jpeg = fileName.endsWith(QStringLiteral(".jpg"), Qt::CaseInsensitive);
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  if (!rgb.save(&buffer, jpeg ? "JPEG" : "BMP", jpeg ? 90 : -1)) return {};
  return bytes;
}

}  // namespace brimlink::artwork
