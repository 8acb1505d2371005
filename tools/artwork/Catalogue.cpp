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
      {"Cilinder Dubbelwerkend ADN Bediend.bmp", kComponentFigure, DrawCompactCylinderActuated},
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
