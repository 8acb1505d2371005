// The trainer's station pictures, and the overview photographs built from the
// same assemblies, are the station scenes in their default state: drawn now
// they are byte for byte the files committed in trainer/data, so giving the
// scenes their moving parts changed no picture.
#include <gtest/gtest.h>

#include <QFile>
#include <QString>

#include "tools/artwork/Catalogue.h"

namespace brimlink::stationview {
namespace {

bool DrawnFromStationScenes(const QString& file) {
  return file.endsWith(QLatin1String(" org.bmp")) || file == QLatin1String("TransHandling.bmp") ||
         file.contains(QLatin1String(" cijfers"));
}

TEST(StationPictures, AreTheScenesInTheirDefaultState) {
  int compared = 0;
  for (const artwork::PictureEntry& entry : artwork::Pictures()) {
    const QString name = QString::fromUtf8(entry.fileName);
    if (!DrawnFromStationScenes(name)) continue;
    QFile committed(QStringLiteral(BRIMLINK_PICTURE_FILES "/") + name);
    ASSERT_TRUE(committed.open(QIODevice::ReadOnly)) << entry.fileName;
    EXPECT_TRUE(committed.readAll() == artwork::Encode(artwork::Render(entry), name))
        << entry.fileName << " differs from the committed file (scripts/make-artwork after a deliberate change)";
    ++compared;
  }
  EXPECT_GE(compared, 4 + 3);  // the four station pictures and at least the three overviews
}

}  // namespace
}  // namespace brimlink::stationview
