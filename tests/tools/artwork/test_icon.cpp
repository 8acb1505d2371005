// The application icon as installed: the committed PNGs at every size and
// the SVG show the icon the artwork draws now (scripts/make-artwork was run
// after the last change), at the sizes their folders name, on a transparent
// ground, and the SVG renders like the pixels.
#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSet>
#include <QSvgRenderer>
#include <algorithm>
#include <cstdlib>

#include "ArtworkApplication.h"
#include "tools/artwork/Icon.h"

namespace {

namespace art = brimlink::artwork;

using brimlink::artworktest::Application;

QString Committed(const QString& relative) {
  return QStringLiteral(BRIMLINK_ICON_FOLDER "/") + relative;
}

struct Difference {
  int largest = 0;      // of any channel of any pixel
  double mean = 0;      // over every channel of every pixel
};

Difference Compare(const QImage& a, const QImage& b) {
  Difference result;
  const QImage x = a.convertToFormat(QImage::Format_ARGB32);
  const QImage y = b.convertToFormat(QImage::Format_ARGB32);
  double sum = 0;
  for (int row = 0; row < x.height(); ++row) {
    for (int column = 0; column < x.width(); ++column) {
      const QRgb p = x.pixel(column, row);
      const QRgb q = y.pixel(column, row);
      for (const int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q), qAlpha(p) - qAlpha(q)}) {
        result.largest = std::max(result.largest, std::abs(d));
        sum += std::abs(d);
      }
    }
  }
  result.mean = sum / (4.0 * x.width() * x.height());
  return result;
}

class Icon : public ::testing::Test {
 protected:
  void SetUp() override { Application(); }
};

TEST_F(Icon, EverySizeIsDrawnAtItsSizeOnATransparentGround) {
  for (const int size : art::kIconSizes) {
    SCOPED_TRACE(size);
    const QString path = Committed(art::IconPngPath(size));
    EXPECT_TRUE(path.contains(QStringLiteral("/%1x%1/").arg(size))) << path.toStdString();
    const QImage image(path);
    ASSERT_FALSE(image.isNull()) << path.toStdString();
    EXPECT_EQ(image.size(), QSize(size, size));
    EXPECT_TRUE(image.hasAlphaChannel());

    // Outside the rounded tile the icon is see-through, inside it is solid,
    // and it is a picture, not a flat fill.
    for (const QPoint corner : {QPoint(0, 0), QPoint(size - 1, 0), QPoint(0, size - 1), QPoint(size - 1, size - 1)}) {
      EXPECT_EQ(qAlpha(image.pixel(corner)), 0) << corner.x() << "," << corner.y();
    }
    EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255);
    QSet<QRgb> colours;
    int opaque = 0;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        colours.insert(image.pixel(x, y));
        if (qAlpha(image.pixel(x, y)) == 255) ++opaque;
      }
    }
    EXPECT_GT(colours.size(), 100);
    EXPECT_GT(opaque, size * size * 3 / 4);
  }
}

TEST_F(Icon, CommittedFilesShowTheCurrentDrawing) {
  for (const int size : art::kIconSizes) {
    SCOPED_TRACE(size);
    const QImage committed(Committed(art::IconPngPath(size)));
    ASSERT_EQ(committed.size(), QSize(size, size));
    const Difference difference = Compare(committed, art::RenderIcon(size));
    EXPECT_LE(difference.largest, 2) << "run scripts/make-artwork";
  }

  QSvgRenderer svg(Committed(art::IconSvgPath()));
  ASSERT_TRUE(svg.isValid());
  EXPECT_EQ(svg.viewBox(), QRect(0, 0, art::kIconDesign, art::kIconDesign));
  EXPECT_EQ(svg.defaultSize(), QSize(art::kIconDesign, art::kIconDesign));
  for (const int size : art::kIconSizes) {
    SCOPED_TRACE(size);
    QImage rendered(size, size, QImage::Format_ARGB32_Premultiplied);
    rendered.fill(Qt::transparent);
    {
      QPainter painter(&rendered);
      svg.render(&painter);
    }
    // The SVG's gradients are sampled into stops, so a few values differ
    // by a step or two; a changed part differs by far more.
    const Difference difference = Compare(rendered, art::RenderIcon(size));
    EXPECT_LT(difference.mean, 0.5);
    EXPECT_LE(difference.largest, 16);
  }
}

TEST_F(Icon, TheSvgIsTheSameOnEveryRun) {
  const QByteArray first = art::IconSvg();
  ASSERT_FALSE(first.isEmpty());
  EXPECT_EQ(art::IconSvg(), first);
  EXPECT_TRUE(first.contains("<svg width=\"256\" height=\"256\"\n")) << first.left(200).toStdString();
  EXPECT_EQ(art::IconPng(48), art::IconPng(48));
}

}  // namespace
