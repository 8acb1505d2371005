// brimlink-artwork OUTDIR [--png-copies DIR] [--icons DIR]: writes the
// trainer's pictures into OUTDIR/Afbeeldingen and its sounds into
// OUTDIR/Geluiden. The files are the same byte for byte on every run.
// --png-copies also writes every picture as PNG into DIR, for viewers that do
// not read bitmaps; --icons writes the application icon into DIR in the
// layout of an icon theme (48x48/NAME.png ... scalable/NAME.svg).
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <cstdio>

#include "tools/artwork/Catalogue.h"
#include "tools/artwork/Icon.h"
#include "tools/artwork/Sounds.h"

namespace {

using namespace brimlink::artwork;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
    std::fprintf(stderr, "brimlink-artwork: cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

bool WriteIcons(const QString& iconDir) {
  const QDir root(iconDir);
  bool ok = true;
  for (const int size : kIconSizes) {
    const QString path = root.filePath(IconPngPath(size));
    const QByteArray bytes = IconPng(size);
    ok = QDir().mkpath(QFileInfo(path).path()) && !bytes.isEmpty() && WriteFile(path, bytes) && ok;
  }
  const QString svg = root.filePath(IconSvgPath());
  ok = QDir().mkpath(QFileInfo(svg).path()) && WriteFile(svg, IconSvg()) && ok;
  if (!ok) std::fprintf(stderr, "brimlink-artwork: the icons in %s are incomplete\n", qPrintable(iconDir));
  return ok;
}

int Usage() {
  std::fprintf(stderr, "usage: brimlink-artwork OUTDIR [--png-copies DIR] [--icons DIR]\n");
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  // Drawing needs no screen.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);

  QString outDir;
  QString pngDir;
  QString iconDir;
  const QStringList arguments = app.arguments().mid(1);
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == QStringLiteral("--png-copies") && i + 1 < arguments.size()) {
      pngDir = arguments[++i];
    } else if (arguments[i] == QStringLiteral("--icons") && i + 1 < arguments.size()) {
      iconDir = arguments[++i];
    } else if (arguments[i].startsWith(QLatin1Char('-')) || !outDir.isEmpty()) {
      return Usage();
    } else {
      outDir = arguments[i];
    }
  }
  if (outDir.isEmpty()) return Usage();

  // Another font would change every picture; say so rather than differ quietly.
  if (!QFontDatabase::families().contains(QStringLiteral("DejaVu Sans"))) {
    std::fprintf(stderr, "brimlink-artwork: the font DejaVu Sans is not installed (fonts-dejavu-core)\n");
    return kExitFailure;
  }

  const QDir root(outDir);
  const QString pictureDir = root.filePath(QStringLiteral("Afbeeldingen"));
  const QString soundDir = root.filePath(QStringLiteral("Geluiden"));
  for (const QString& dir : {pictureDir, soundDir, pngDir}) {
    if (!dir.isEmpty() && !QDir().mkpath(dir)) {
      std::fprintf(stderr, "brimlink-artwork: cannot create %s\n", qPrintable(dir));
      return kExitFailure;
    }
  }

  bool ok = true;
  for (const PictureEntry& entry : Pictures()) {
    const QString name = QString::fromUtf8(entry.fileName);
    const QImage image = Render(entry);
    const QByteArray bytes = Encode(image, name);
    ok = !bytes.isEmpty() && WriteFile(QDir(pictureDir).filePath(name), bytes) && ok;
    if (!pngDir.isEmpty()) {
      const QString png = QDir(pngDir).filePath(name.section(QLatin1Char('.'), 0, -2) + QStringLiteral(".png"));
      ok = image.save(png, "PNG") && ok;
    }
  }
  for (const Sound& sound : MakeSounds()) {
    const std::vector<std::uint8_t> bytes = EncodeWave(sound.samples);
    ok = WriteFile(QDir(soundDir).filePath(QString::fromStdString(sound.fileName)),
                   QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()))) &&
         ok;
  }
  if (!iconDir.isEmpty()) ok = WriteIcons(iconDir) && ok;
  std::printf("brimlink-artwork: %zu pictures and %zu sounds written to %s\n", Pictures().size(), MakeSounds().size(),
              qPrintable(QDir(outDir).absolutePath()));
  return ok ? 0 : kExitFailure;
}
