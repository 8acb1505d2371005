// The about box, the face picture and the control's window that shows it.
#include <QDialog>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>

#include "DialogTestSupport.h"
#include "control/interface/AboutDlg.h"
#include "control/interface/BrimlinkVersion.h"
#include "control/interface/ControlWindow.h"

namespace brimlink::dialogtest {
namespace {

using control::CAboutDlg;
using control::CControlWindow;
using control::FacePicture;
using control::FileVersionText;

TEST(AboutBox, VersionTextHasTheFourPartsOfTheFileVersion) {
    const QString version = FileVersionText();
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^(\\d+)\\.(\\d+)\\.(\\d+)\\.(\\d+)$")).match(version);
    ASSERT_TRUE(match.hasMatch()) << version.toStdString();
    for (int part = 0; part < 4; ++part)
        EXPECT_EQ(match.captured(part + 1).toUInt(), control::kFileVersion[part]) << "part " << part;
}

TEST(AboutBox, TextEndsWithTheVersionAndOkAccepts) {
    TestApp();
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Kavro Brimlink ActiveX Control"));
    auto* text = about.findChild<QLabel*>(QStringLiteral("text201"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text(), QStringLiteral("Kavro Brimlink ActiveX Control, Version ") + FileVersionText());

    // The picture sits below the texts.
    const QLabel* picture = nullptr;
    for (const QLabel* label : about.findChildren<QLabel*>())
        if (!label->pixmap().isNull()) picture = label;
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->pixmap().size(), QSize(320, 212));

    auto* ok = about.findChild<QPushButton*>(QStringLiteral("ok1"));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    about.show();
    EXPECT_GT(picture->geometry().top(), text->geometry().bottom());
    ok->click();
    EXPECT_EQ(about.result(), QDialog::Accepted);
    EXPECT_FALSE(about.isVisible());
}

TEST(FacePicture, IsA320By212DrawingWithItsLeds) {
    TestApp();
    const QImage face = FacePicture();
    ASSERT_EQ(face.size(), QSize(320, 212));
    EXPECT_TRUE(face.format() == QImage::Format_RGB32 || face.format() == QImage::Format_RGB888);

    QSet<QRgb> colours;
    int yellow = 0;
    int green = 0;
    for (int y = 0; y < face.height(); ++y) {
        for (int x = 0; x < face.width(); ++x) {
            const QColor c = face.pixelColor(x, y);
            colours.insert(c.rgb());
            if (c.red() > 200 && c.green() > 170 && c.blue() < 90) ++yellow;
            if (c.green() > 170 && c.red() < 120 && c.blue() < 130) ++green;
        }
    }
    EXPECT_GT(colours.size(), 100) << "a blank or flat picture";
    // Eight LEDs of each colour, a few dozen pixels each.
    EXPECT_GT(yellow, 8 * 20);
    EXPECT_GT(green, 8 * 20);
    EXPECT_EQ(FacePicture(), face) << "drawn differently each time";
}

// Lit or dark, sampled at the centre of each LED.
bool Lit(const QImage& face, QPointF centre) {
    const QColor c = face.pixelColor(centre.toPoint());
    return std::max({c.red(), c.green(), c.blue()}) > 170;
}

TEST(FacePicture, EachLedIsLitByItsOwnBitAndPowerByItsFlag) {
    TestApp();
    for (const control::FaceLeds leds :
         {control::FaceLeds{0x00, 0x00, false}, control::FaceLeds{0xA5, 0x3C, true}, control::FaceLeds{0x01, 0x80, false},
          control::FaceLeds{}}) {
        SCOPED_TRACE(testing::Message() << int(leds.inputs) << " " << int(leds.outputs) << " " << leds.power);
        const QImage face = FacePicture(leds);
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(Lit(face, control::FaceInputLed(i)), (leds.inputs >> i & 1) != 0) << "I" << i + 1;
            EXPECT_EQ(Lit(face, control::FaceOutputLed(i)), (leds.outputs >> i & 1) != 0) << "O" << i + 1;
        }
        EXPECT_EQ(Lit(face, control::FacePowerLed()), leds.power);
    }
}

class ControlWindowTest : public ::testing::Test {
protected:
    QApplication& app_ = TestApp();  // before any widget
    int aboutCalls_ = 0;
    CControlWindow window_{[this] { ++aboutCalls_; }};
};

TEST_F(ControlWindowTest, PictureFillsTheWindowAndFollowsItsSize) {
    QLabel* picture = window_.Picture();
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->objectName(), QStringLiteral("4711"));
    EXPECT_EQ(window_.findChild<QLabel*>(QStringLiteral("4711")), picture);
    EXPECT_FALSE(picture->pixmap().isNull());
    EXPECT_EQ(window_.size(), QSize(320, 212));
    EXPECT_EQ(picture->geometry(), QRect(0, 0, 320, 212));

    window_.show();
    auto* onTop = new QWidget(&window_);
    picture->raise();
    window_.resize(640, 100);
    EXPECT_EQ(picture->geometry(), QRect(0, 0, 640, 100));
    // Back at the bottom of the window order, under the other child.
    EXPECT_EQ(window_.children().indexOf(picture), 0);
    EXPECT_GT(window_.children().indexOf(onTop), 0);

    const QImage shown = picture->grab().toImage();
    EXPECT_EQ(shown.size(), QSize(640, 100));
    window_.resize(100, 300);
    EXPECT_EQ(picture->geometry(), QRect(0, 0, 100, 300));
}

TEST_F(ControlWindowTest, LeftDoubleClickAndRightPressOpenTheAboutBox) {
    SendMouse(&window_, QEvent::MouseButtonPress, Qt::LeftButton);
    EXPECT_EQ(aboutCalls_, 0);
    SendMouse(&window_, QEvent::MouseButtonDblClick, Qt::LeftButton);
    EXPECT_EQ(aboutCalls_, 1);
    SendMouse(&window_, QEvent::MouseButtonPress, Qt::RightButton);
    EXPECT_EQ(aboutCalls_, 2);
    // The second press of a right double click is not another press.
    SendMouse(&window_, QEvent::MouseButtonDblClick, Qt::RightButton);
    EXPECT_EQ(aboutCalls_, 2);
}

TEST_F(ControlWindowTest, ClicksOnThePictureReachTheControl) {
    window_.show();
    SendMouse(window_.Picture(), QEvent::MouseButtonPress, Qt::RightButton);
    EXPECT_EQ(aboutCalls_, 1);
    SendMouse(window_.Picture(), QEvent::MouseButtonDblClick, Qt::LeftButton);
    EXPECT_EQ(aboutCalls_, 2);
}

// A host sets the LEDs by property name; the face is drawn again only for a
// change.
TEST_F(ControlWindowTest, TheLedPropertiesRedrawTheFaceOnlyWhenTheyChange) {
    EXPECT_EQ(window_.Leds(), (control::FaceLeds{0, 0, false}));
    EXPECT_EQ(window_.Picture()->pixmap().toImage(), FacePicture({0, 0, false}).convertToFormat(
                                                         window_.Picture()->pixmap().toImage().format()));
    const int draws = window_.FaceDraws();
    QObject& host = window_;
    EXPECT_TRUE(host.setProperty("inputLeds", 0x12));
    EXPECT_TRUE(host.setProperty("outputLeds", 0x1FF));  // one byte of LEDs
    EXPECT_TRUE(host.setProperty("powerLed", true));
    EXPECT_EQ(window_.Leds(), (control::FaceLeds{0x12, 0xFF, true}));
    EXPECT_EQ(window_.FaceDraws(), draws + 3);
    host.setProperty("inputLeds", 0x12);
    host.setProperty("outputLeds", 0xFF);
    host.setProperty("powerLed", true);
    EXPECT_EQ(window_.FaceDraws(), draws + 3);
    const QImage shown = window_.Picture()->pixmap().toImage();
    EXPECT_EQ(shown, FacePicture({0x12, 0xFF, true}).convertToFormat(shown.format()));
    EXPECT_EQ(host.property("inputLeds").toInt(), 0x12);
}

TEST(ControlWindow, WorksWithoutAnAboutHandler) {
    TestApp();
    CControlWindow window{std::function<void()>()};
    SendMouse(&window, QEvent::MouseButtonPress, Qt::RightButton);
    SendMouse(&window, QEvent::MouseButtonDblClick, Qt::LeftButton);
    EXPECT_EQ(window.Picture()->geometry(), window.rect());
}

}  // namespace
}  // namespace brimlink::dialogtest
