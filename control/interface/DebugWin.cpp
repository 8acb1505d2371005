#include "control/interface/DebugWin.h"

#include <QClipboard>
#include <QDialog>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QListWidget>
#include <QPushButton>
#include <QRect>
#include <QStyledItemDelegate>
#include <algorithm>
#include <cmath>

namespace brimlink::control {
namespace {

// The clipboard block holds 256000 UTF-16 units including its terminating NUL.
constexpr int kCopyCapacity = 256000 - 1;

// Dialog units of the window's font: a quarter of the average character
// width across, an eighth of the character height down.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font) {
        const QFontMetricsF metrics(font);
        baseX_ = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
        baseY_ = metrics.height();
    }
    int X(int units) const { return static_cast<int>(std::lround(units * baseX_ / 4.0)); }
    int Y(int units) const { return static_cast<int>(std::lround(units * baseY_ / 8.0)); }
    QRect Rect(int x, int y, int width, int height) const { return {X(x), Y(y), X(width), Y(height)}; }

private:
    double baseX_ = 6.0;
    double baseY_ = 13.0;
};

// Every row as wide as the widest line so far. The list keeps all rows at one
// size, which keeps long listings fast, but takes that size from a single
// sample row; without this a long line in the middle would be cut off
// instead of widening the horizontal scroll range.
class WidestLineDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void Measure(const QListWidget& list, const QModelIndex& index) {
        QStyleOptionViewItem option;
        option.initFrom(&list);
        option.font = list.font();
        option.fontMetrics = QFontMetrics(option.font);
        widest_ = std::max(widest_, QStyledItemDelegate::sizeHint(option, index).width());
    }
    void Reset() { widest_ = 0; }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QSize size = QStyledItemDelegate::sizeHint(option, index);
        return {std::max(size.width(), widest_), size.height()};
    }

private:
    int widest_ = 0;
};

}  // namespace

// The window itself; its buttons act on the owning CDebugWin.
class CDebugWin::Dialog final : public QDialog {
public:
    Dialog(QWidget* parent, CDebugWin& owner) : QDialog(parent), owner_(owner) {
        setWindowTitle(QStringLiteral("Trace Window"));
        const DialogUnits units(font());
        setFixedSize(units.X(266), units.Y(210));

        list_ = new QListWidget(this);
        list_->setObjectName(QStringLiteral("list402"));
        list_->setGeometry(units.Rect(7, 7, 252, 175));
        list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        list_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        // Long listings stay fast only when every row has the same size.
        list_->setUniformItemSizes(true);
        widths_ = new WidestLineDelegate(list_);
        list_->setItemDelegate(widths_);
        list_->setSelectionMode(QAbstractItemView::SingleSelection);

        AddButton(units, QStringLiteral("clear401"), QStringLiteral("Clear"), 9, [this] { Clear(); });
        AddButton(units, QStringLiteral("startStop403"), QStringLiteral("Start/Stop"), 55,
                  [this] { owner_.log_.ToggleTracing(); });
        AddButton(units, QStringLiteral("copy404"), QStringLiteral("Copy"), 101, [this] { Copy(); });
        QPushButton* ok = AddButton(units, QStringLiteral("ok1"), QStringLiteral("OK"), 216, [this] { Close(); });
        ok->setDefault(true);
    }

    QListWidget* List() const { return list_; }

    void Append(const QString& line) {
        list_->addItem(line);
        QListWidgetItem* last = list_->item(list_->count() - 1);
        widths_->Measure(*list_, list_->model()->index(list_->count() - 1, 0));
        list_->setCurrentItem(last);
        list_->scrollToItem(last);
    }

    // Escape and the title bar's close button end the window like OK, so that
    // no hidden window is left that Show would not bring back.
    void reject() override { Close(); }
    void accept() override { Close(); }

private:
    template <typename Handler>
    QPushButton* AddButton(const DialogUnits& units, const QString& name, const QString& text, int x,
                           Handler handler) {
        auto* button = new QPushButton(text, this);
        button->setObjectName(name);
        button->setGeometry(units.Rect(x, 189, 43, 14));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, handler);
        return button;
    }

    void Clear() {
        list_->clear();
        widths_->Reset();
        owner_.log_.RestartTimeBase();
    }

    void Copy() {
        QStringList lines;
        lines.reserve(list_->count());
        for (int i = 0; i < list_->count(); ++i) lines.append(list_->item(i)->text());
        QGuiApplication::clipboard()->setText(CopyText(lines));
    }

    void Close() {
        CDebugWin& owner = owner_;
        // The owner normally destroys the window from here; if it did not,
        // the window must not linger as the log's view.
        if (owner.notifyClosed_) owner.notifyClosed_();
        if (owner.window_ == this) owner.DestroyWindow();
    }

    CDebugWin& owner_;
    QListWidget* list_ = nullptr;
    WidestLineDelegate* widths_ = nullptr;
};

CDebugWin::CDebugWin(link::TraceLog& log, std::function<void()> notifyClosed)
    : log_(log), notifyClosed_(std::move(notifyClosed)) {}

CDebugWin::~CDebugWin() {
    if (log_.View() == this) log_.AttachView(nullptr);
    if (window_) delete window_.data();
}

bool CDebugWin::HasWindow() const { return !window_.isNull(); }

void CDebugWin::Show(QWidget* parent) {
    if (window_) return;
    window_ = new Dialog(parent, *this);
    log_.WindowCreated();
    log_.AttachView(this);
    window_->show();
}

void CDebugWin::DestroyWindow() {
    Dialog* window = window_.data();
    if (window == nullptr) return;
    if (log_.View() == this) log_.AttachView(nullptr);
    window_ = nullptr;
    window->hide();
    window->deleteLater();
}

void CDebugWin::AppendLine(std::string_view line) {
    if (window_) window_->Append(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
}

QString CDebugWin::CopyText(const QStringList& lines) {
    QString text;
    for (const QString& line : lines) {
        text += line;
        if (text.size() > kCopyLimit) break;
        text += QLatin1Char('\n');
    }
    if (text.size() > kCopyCapacity) text.truncate(kCopyCapacity);
    return text;
}

QDialog* CDebugWin::Window() const { return window_.data(); }

QListWidget* CDebugWin::List() const { return window_ ? window_->List() : nullptr; }

}  // namespace brimlink::control
