// The table of every picture the trainer loads: file name, size and the
// function that draws it. Adding a picture is one line here and one drawing
// function.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <vector>

class QPainter;

namespace brimlink::artwork {

struct PictureEntry {
  const char* fileName;  // as the trainer names it, ".bmp" or ".jpg"
  QSize size;
  void (*draw)(QPainter& painter);
};

const std::vector<PictureEntry>& Pictures();

QImage Render(const PictureEntry& entry);

// The file's bytes: a 24-bit Windows bitmap for ".bmp", a baseline JPEG of
// fixed quality for ".jpg". Empty when the encoder fails.
QByteArray Encode(const QImage& image, const QString& fileName);

}  // namespace brimlink::artwork
