// brimlink-artwork OUTDIR [--png-copies DIR]: writes the trainer's pictures
// into OUTDIR/Afbeeldingen and its sounds into OUTDIR/Geluiden. The files
// are the same byte for byte on every run. --png-copies also writes every
// picture as PNG into DIR, for viewers that do not read bitmaps.
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <cstdio>

#include "tools/artwork/Catalogue.h"
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

int Usage() {
  std::fprintf(stderr, "usage: brimlink-artwork OUTDIR [--png-copies DIR]\n");
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  // Drawing needs no screen.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);

  QString outDir;
  QString pngDir;
  const QStringList arguments = app.arguments().mid(1);
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == QStringLiteral("--png-copies") && i + 1 < arguments.size()) {
      pngDir = arguments[++i];
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
  std::printf("brimlink-artwork: %zu pictures and %zu sounds written to %s\n", Pictures().size(), MakeSounds().size(),
              qPrintable(QDir(outDir).absolutePath()));
  return ok ? 0 : kExitFailure;
}
