// The "About" frame's badge: the committed file is what the artwork draws
// now, and it shows a white "i" on a blue disc over the light ground.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <algorithm>

#include "ArtworkApplication.h"
#include "tools/artwork/Catalogue.h"

namespace {

namespace art = brimlink::artwork;

const art::PictureEntry* Entry(const char* name) {
  for (const art::PictureEntry& entry : art::Pictures())
    if (QLatin1String(entry.fileName) == QLatin1String(name)) return &entry;
  return nullptr;
}

TEST(AboutBadge, TheCommittedFileIsTheDrawingOfNow) {
  brimlink::artworktest::Application();
  const art::PictureEntry* entry = Entry("About.bmp");
  ASSERT_NE(entry, nullptr);
  // tests/tools/artwork/<this file> -> trainer/data/Afbeeldingen.
  const QString sources = QFileInfo(QStringLiteral(__FILE__)).absoluteDir().absoluteFilePath(QStringLiteral("../../.."));
  QFile committed(sources + QStringLiteral("/trainer/data/Afbeeldingen/About.bmp"));
  ASSERT_TRUE(committed.open(QIODevice::ReadOnly)) << "run scripts/make-artwork";
  EXPECT_EQ(committed.readAll(), art::Encode(art::Render(*entry), QStringLiteral("About.bmp")));
}

TEST(AboutBadge, AWhiteLetterOnABlueDiscOverTheGround) {
  brimlink::artworktest::Application();
  const art::PictureEntry* entry = Entry("About.bmp");
  ASSERT_NE(entry, nullptr);
  const QImage image = art::Render(*entry);
  ASSERT_EQ(image.size(), QSize(64, 64));
  const auto white = [](const QColor& c) { return std::min({c.red(), c.green(), c.blue()}) > 220; };
  const auto blue = [](const QColor& c) { return c.blue() > c.red() + 60 && c.blue() > c.green() + 30; };
  // The dot and the stem of the "i", the disc left and right of it and
  // below, the ground in the corners.
  EXPECT_TRUE(white(image.pixelColor(32, 21)));
  EXPECT_TRUE(white(image.pixelColor(32, 36)));
  EXPECT_TRUE(blue(image.pixelColor(20, 36)));
  EXPECT_TRUE(blue(image.pixelColor(44, 36)));
  EXPECT_TRUE(blue(image.pixelColor(32, 50)));
  EXPECT_FALSE(blue(image.pixelColor(1, 1)));
  EXPECT_FALSE(blue(image.pixelColor(62, 1)));
}

}  // namespace
