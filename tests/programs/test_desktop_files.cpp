// The desktop entry and the AppStream metainfo agree with what the build
// makes: the icon the artwork draws, the programs, the version, and the
// screenshots in docs/ at the sizes the metainfo gives. (Their syntax is
// checked by desktop-file-validate and appstreamcli, which ctest runs too.)
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QXmlStreamReader>
#include <map>
#include <set>
#include <string>

#include "control/interface/BrimlinkVersion.h"
#include "tools/artwork/Icon.h"

namespace {

const QString kDesktopId = QStringLiteral("org.brimlink.BrimlinkMiniSorvik");

// The [Desktop Entry] group's keys; empty when the file cannot be read.
std::map<QString, QString> DesktopEntry() {
  std::map<QString, QString> keys;
  QFile file(QStringLiteral(BRIMLINK_DESKTOP_FOLDER "/") + kDesktopId + QStringLiteral(".desktop"));
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return keys;
  bool inEntry = false;
  while (!file.atEnd()) {
    const QString line = QString::fromUtf8(file.readLine()).trimmed();
    if (line.startsWith(QLatin1Char('['))) inEntry = line == QStringLiteral("[Desktop Entry]");
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (inEntry && equals > 0) keys[line.left(equals)] = line.mid(equals + 1);
  }
  return keys;
}

struct Screenshot {
  QString url;
  int width = 0;
  int height = 0;
};

struct Metainfo {
  bool read = false;
  QString id, launchable, release, homepage;
  std::set<QString> binaries, modaliases;
  std::vector<Screenshot> screenshots;
};

Metainfo ReadMetainfo() {
  Metainfo info;
  QFile file(QStringLiteral(BRIMLINK_METAINFO_FILE));
  if (!file.open(QIODevice::ReadOnly)) return info;
  QXmlStreamReader xml(&file);
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    const QString name = xml.name().toString();
    const QXmlStreamAttributes attributes = xml.attributes();
    if (name == QStringLiteral("release")) {
      info.release = attributes.value(QStringLiteral("version")).toString();
    } else if (name == QStringLiteral("image")) {
      const int width = attributes.value(QStringLiteral("width")).toInt();
      const int height = attributes.value(QStringLiteral("height")).toInt();
      info.screenshots.push_back({xml.readElementText(), width, height});
    } else if (name == QStringLiteral("id")) {
      info.id = xml.readElementText();
    } else if (name == QStringLiteral("launchable")) {
      info.launchable = xml.readElementText();
    } else if (name == QStringLiteral("url") && attributes.value(QStringLiteral("type")) == QStringLiteral("homepage")) {
      info.homepage = xml.readElementText();
    } else if (name == QStringLiteral("binary")) {
      info.binaries.insert(xml.readElementText());
    } else if (name == QStringLiteral("modalias")) {
      info.modaliases.insert(xml.readElementText());
    }
  }
  info.read = !xml.hasError();
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  return info;
}

TEST(DesktopFiles, TheEntryStartsTheTrainerWithTheDrawnIcon) {
  const std::map<QString, QString> entry = DesktopEntry();
  ASSERT_FALSE(entry.empty());
  EXPECT_EQ(entry.at(QStringLiteral("Icon")), QString::fromLatin1(brimlink::artwork::kIconName));
  EXPECT_EQ(entry.at(QStringLiteral("Icon")), kDesktopId);
  EXPECT_EQ(entry.at(QStringLiteral("Exec")), QFileInfo(QStringLiteral(BRIMLINK_TRAINER_PROGRAM)).fileName());
  // Dutch for the pupils, English where the desktop speaks anything else.
  for (const char* key : {"Name", "Comment", "GenericName"}) {
    const QString english = entry.count(QString::fromLatin1(key)) ? entry.at(QString::fromLatin1(key)) : QString();
    const QString dutch = QString::fromLatin1(key) + QStringLiteral("[nl]");
    EXPECT_FALSE(english.isEmpty()) << key;
    EXPECT_TRUE(entry.count(dutch) && !entry.at(dutch).isEmpty()) << key;
  }
  EXPECT_NE(entry.at(QStringLiteral("Comment")), entry.at(QStringLiteral("Comment[nl]")));

  // Every icon file the install rules name is there.
  for (const int size : brimlink::artwork::kIconSizes) {
    EXPECT_TRUE(QFileInfo::exists(QStringLiteral(BRIMLINK_DESKTOP_FOLDER "/icons/") +
                                  brimlink::artwork::IconPngPath(size)))
        << size;
  }
  EXPECT_TRUE(QFileInfo::exists(QStringLiteral(BRIMLINK_DESKTOP_FOLDER "/icons/") + brimlink::artwork::IconSvgPath()));
}

TEST(DesktopFiles, TheMetainfoNamesTheEntryTheProgramsAndThisVersion) {
  const Metainfo info = ReadMetainfo();
  ASSERT_TRUE(info.read);
  EXPECT_EQ(info.id, kDesktopId);
  EXPECT_EQ(info.launchable, kDesktopId + QStringLiteral(".desktop"));
  EXPECT_EQ(info.release.toStdString(), std::string(brimlink::control::kVersionText));

  std::set<QString> programs;
  for (const char* path : {BRIMLINK_TRAINER_PROGRAM, BRIMLINK_CLI_PROGRAM, BRIMLINK_REGSVR_PROGRAM,
                           BRIMLINK_SIM_PROGRAM}) {
    programs.insert(QFileInfo(QString::fromUtf8(path)).fileName());
  }
  EXPECT_EQ(info.binaries, programs);
  EXPECT_EQ(info.modaliases, (std::set<QString>{QStringLiteral("usb:v0403p6001d*"), QStringLiteral("usb:v0403p5C40d*"),
                                                QStringLiteral("usb:v0403p5C43d*")}));
}

TEST(DesktopFiles, ScreenshotsAreTheImagesInDocsAtTheirSizes) {
  const Metainfo info = ReadMetainfo();
  ASSERT_TRUE(info.read);
  ASSERT_FALSE(info.screenshots.empty());
  ASSERT_TRUE(info.homepage.startsWith(QStringLiteral("https://"))) << info.homepage.toStdString();
  const QString prefix = info.homepage + QStringLiteral("/docs/");
  for (const Screenshot& screenshot : info.screenshots) {
    SCOPED_TRACE(screenshot.url.toStdString());
    ASSERT_TRUE(screenshot.url.startsWith(prefix));
    const QString file = QStringLiteral(BRIMLINK_SOURCE_FOLDER "/docs/") + screenshot.url.mid(prefix.size());
    QImageReader reader(file);
    ASSERT_TRUE(reader.canRead()) << file.toStdString();
    EXPECT_EQ(reader.size(), QSize(screenshot.width, screenshot.height));
  }
}

}  // namespace
