#include "control/interface/AboutDlg.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QRadialGradient>
#include <QVBoxLayout>

#include "control/interface/BrimlinkVersion.h"

namespace brimlink::control {
namespace {

constexpr int kPictureWidth = 320;
constexpr int kPictureHeight = 212;

// Terminal positions: eight screw terminals side by side, right of the USB
// socket, along the top (inputs) and bottom (outputs) edges.
constexpr int kTerminalCount = 8;
constexpr double kTerminalPitch = 27.0;
constexpr double kTerminalLeft = 82.0;

double TerminalCentre(int index) { return kTerminalLeft + kTerminalPitch * (index + 0.5); }

void DrawScrew(QPainter& p, QPointF centre, double radius) {
    QRadialGradient head(centre - QPointF(radius / 3, radius / 3), radius * 1.6);
    head.setColorAt(0.0, QColor(250, 250, 250));
    head.setColorAt(1.0, QColor(130, 134, 140));
    p.setPen(QPen(QColor(80, 82, 88), 1.0));
    p.setBrush(head);
    p.drawEllipse(centre, radius, radius);
    p.setPen(QPen(QColor(70, 72, 78), 1.4));
    p.drawLine(centre + QPointF(-radius * 0.6, radius * 0.35), centre + QPointF(radius * 0.6, -radius * 0.35));
}

// An LED that is off keeps a dim, greyed tint of its colour.
void DrawLed(QPainter& p, QPointF centre, const QColor& litColour, bool lit) {
    const QColor colour = lit ? litColour : QColor::fromHsv(litColour.hsvHue(), 60, 85);
    QRadialGradient lens(centre - QPointF(1.5, 1.5), 6.0);
    lens.setColorAt(0.0, colour.lighter(170));
    lens.setColorAt(0.6, colour);
    lens.setColorAt(1.0, colour.darker(140));
    p.setPen(QPen(colour.darker(200), 1.0));
    p.setBrush(lens);
    p.drawEllipse(centre, 4.0, 4.0);
}

// A green pluggable terminal block with one screw per terminal.
void DrawTerminalBlock(QPainter& p, double top, double height) {
    const QRectF block(kTerminalLeft - 3, top, kTerminalPitch * kTerminalCount + 6, height);
    QLinearGradient body(block.topLeft(), block.bottomLeft());
    body.setColorAt(0.0, QColor(48, 140, 72));
    body.setColorAt(1.0, QColor(26, 96, 46));
    p.setPen(QPen(QColor(18, 64, 32), 1.0));
    p.setBrush(body);
    p.drawRoundedRect(block, 3, 3);
    p.setPen(QPen(QColor(20, 74, 36), 1.0));
    for (int i = 1; i < kTerminalCount; ++i) {
        const double x = kTerminalLeft + kTerminalPitch * i;
        p.drawLine(QPointF(x, top + 2), QPointF(x, top + height - 2));
    }
    for (int i = 0; i < kTerminalCount; ++i) DrawScrew(p, QPointF(TerminalCentre(i), top + height / 2), 7.0);
}

constexpr double kInputRowTop = 44;
constexpr double kOutputRowTop = 140;
constexpr QPointF kPowerLed(33, 138);

double LedY(double rowTop, bool ledAbove) { return ledAbove ? rowTop + 5 : rowTop + 19; }

void DrawLabelRow(QPainter& p, double top, QChar prefix, const QColor& ledColour, bool ledAbove, std::uint8_t lit) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(9);
    font.setBold(true);
    p.setFont(font);
    for (int i = 0; i < kTerminalCount; ++i) {
        const double x = TerminalCentre(i);
        const double textTop = ledAbove ? top + 11 : top;
        DrawLed(p, QPointF(x, LedY(top, ledAbove)), ledColour, (lit >> i & 1) != 0);
        p.setPen(QColor(235, 240, 248));
        p.drawText(QRectF(x - 12, textTop, 24, 12), Qt::AlignCenter, QString(prefix) + QString::number(i + 1));
    }
}

void DrawUsbSocket(QPainter& p, QRectF shell) {
    QLinearGradient metal(shell.topLeft(), shell.bottomRight());
    metal.setColorAt(0.0, QColor(235, 237, 240));
    metal.setColorAt(1.0, QColor(150, 154, 160));
    p.setPen(QPen(QColor(90, 94, 100), 1.0));
    p.setBrush(metal);
    p.drawRoundedRect(shell, 2, 2);
    // The square-ish type B opening with its bevelled top corners.
    const QRectF opening = shell.adjusted(4, 4, -4, -4);
    QPainterPath mouth;
    mouth.moveTo(opening.left(), opening.bottom());
    mouth.lineTo(opening.left(), opening.top() + 4);
    mouth.lineTo(opening.left() + 4, opening.top());
    mouth.lineTo(opening.right() - 4, opening.top());
    mouth.lineTo(opening.right(), opening.top() + 4);
    mouth.lineTo(opening.right(), opening.bottom());
    mouth.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 30, 34));
    p.drawPath(mouth);
    p.setBrush(QColor(245, 245, 245));
    p.drawRect(opening.adjusted(5, 5, -5, -5));
}

}  // namespace

QString FileVersionText() {
    return QString::asprintf("%u.%u.%u.%u", kFileVersion[0], kFileVersion[1], kFileVersion[2], kFileVersion[3]);
}

QPointF FaceInputLed(int index) { return {TerminalCentre(index), LedY(kInputRowTop, true)}; }
QPointF FaceOutputLed(int index) { return {TerminalCentre(index), LedY(kOutputRowTop, false)}; }
QPointF FacePowerLed() { return kPowerLed; }

QImage FacePicture(const FaceLeds& leds) {
    QImage image(kPictureWidth, kPictureHeight, QImage::Format_RGB32);
    image.fill(QColor(236, 238, 242));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // Housing: a blue-grey box with a soft shadow.
    const QRectF housing(8, 26, 304, 160);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawRoundedRect(housing.translated(3, 4), 10, 10);
    QLinearGradient body(housing.topLeft(), housing.bottomLeft());
    body.setColorAt(0.0, QColor(96, 116, 142));
    body.setColorAt(1.0, QColor(58, 74, 98));
    p.setPen(QPen(QColor(36, 46, 62), 1.5));
    p.setBrush(body);
    p.drawRoundedRect(housing, 10, 10);

    // Mounting screws in the four corners.
    for (const QPointF corner : {QPointF(22, 40), QPointF(298, 94), QPointF(22, 172), QPointF(298, 118)})
        DrawScrew(p, corner, 5.0);

    // Inputs along the top, outputs along the bottom.
    DrawTerminalBlock(p, 8, 30);
    DrawLabelRow(p, kInputRowTop, QLatin1Char('I'), QColor(250, 204, 20), true, leds.inputs);
    DrawTerminalBlock(p, 174, 30);
    DrawLabelRow(p, kOutputRowTop, QLatin1Char('O'), QColor(40, 200, 70), false, leds.outputs);

    // Name plate between the two LED rows.
    const QRectF plate(82, 84, 204, 40);
    p.setPen(QPen(QColor(210, 218, 230), 1.0));
    p.setBrush(QColor(28, 60, 120));
    p.drawRoundedRect(plate, 5, 5);
    QFont nameFont(QStringLiteral("DejaVu Sans"));
    nameFont.setPixelSize(22);
    nameFont.setBold(true);
    p.setFont(nameFont);
    p.setPen(Qt::white);
    p.drawText(plate.adjusted(0, 2, 0, -10), Qt::AlignCenter, QStringLiteral("Brimlink"));
    QFont subFont(QStringLiteral("DejaVu Sans"));
    subFont.setPixelSize(8);
    p.setFont(subFont);
    p.setPen(QColor(190, 205, 230));
    p.drawText(plate.adjusted(0, 26, 0, -2), Qt::AlignCenter, QStringLiteral("DIGITAL I/O  8 IN / 8 OUT"));

    // USB socket and power LED on the left.
    DrawUsbSocket(p, QRectF(16, 78, 34, 32));
    QFont smallFont(QStringLiteral("DejaVu Sans"));
    smallFont.setPixelSize(9);
    smallFont.setBold(true);
    p.setFont(smallFont);
    p.setPen(QColor(235, 240, 248));
    p.drawText(QRectF(12, 112, 42, 12), Qt::AlignCenter, QStringLiteral("USB"));
    DrawLed(p, kPowerLed, QColor(235, 40, 30), leds.power);
    p.setPen(QColor(235, 240, 248));
    p.drawText(QRectF(12, 145, 42, 12), Qt::AlignCenter, QStringLiteral("PWR"));

    p.end();
    return image;
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Kavro Brimlink ActiveX Control"));

    auto* text = new QLabel(QStringLiteral("Kavro Brimlink ActiveX Control, Version ") + FileVersionText(), this);
    text->setObjectName(QStringLiteral("text201"));
    auto* secondLine = new QLabel(QStringLiteral("Digital I/O modules on USB and serial ports"), this);
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("picture208"));
    picture->setPixmap(QPixmap::fromImage(FacePicture()));
    picture->setFrameShape(QFrame::StyledPanel);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ok1"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(ok);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(secondLine);
    layout->addSpacing(6);
    layout->addWidget(picture, 0, Qt::AlignHCenter);
    layout->addLayout(buttonRow);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace brimlink::control
