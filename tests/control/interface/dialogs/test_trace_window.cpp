// The trace window: time stamps after Show and Clear, Start/Stop, Copy and its
// length limit, and the window's life from Show to OK and to the end of its
// owner.
//
// This file also owns the application object's lifetime for the program.
#include <QClipboard>
#include <QDialog>
#include <QGuiApplication>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <memory>
#include <string>

#include "DialogTestSupport.h"
#include "control/interface/DebugWin.h"

namespace brimlink::dialogtest {
namespace {

using control::CDebugWin;

class AppEnvironment : public ::testing::Environment {
public:
    void TearDown() override { AppSlot().reset(); }
};
[[maybe_unused]] ::testing::Environment* const g_appEnvironment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

// A control's worth of trace: the log on the fake clock and its window
// object, whose OK does what the control does (destroy the window).
class TraceWindowTest : public ::testing::Test {
protected:
    TraceWindowTest() {
        TestApp();
        FakeNow() = 50'000;
    }
    ~TraceWindowTest() override { RunDeferredDeletes(); }

    QPushButton* Button(const char* name) const {
        QDialog* window = win_.Window();
        return window != nullptr ? window->findChild<QPushButton*>(QString::fromLatin1(name)) : nullptr;
    }
    void Click(const char* name) {
        QPushButton* button = Button(name);
        ASSERT_NE(button, nullptr) << name;
        button->click();
    }
    QStringList Lines() const {
        QStringList lines;
        if (QListWidget* list = win_.List())
            for (int i = 0; i < list->count(); ++i) lines.append(list->item(i)->text());
        return lines;
    }
    void AddAt(std::uint32_t ms, std::string_view text) {
        FakeNow() = ms;
        log_.AddLine(text);
    }

    link::TraceLog log_{&FakeClock};
    int closedNotices_ = 0;
    CDebugWin win_{log_, [this] {
                       ++closedNotices_;
                       win_.DestroyWindow();
                   }};
};

TEST_F(TraceWindowTest, ShowCreatesTheWindowAsTheLogsViewWithTracingOn) {
    EXPECT_FALSE(win_.HasWindow());
    EXPECT_EQ(win_.List(), nullptr);
    win_.Show(nullptr);
    ASSERT_TRUE(win_.HasWindow());
    QDialog* window = win_.Window();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Trace Window"));
    EXPECT_EQ(log_.View(), &win_);
    EXPECT_TRUE(log_.Tracing());
    ASSERT_NE(window->findChild<QListWidget*>(QStringLiteral("list402")), nullptr);
    const std::pair<const char*, const char*> buttons[] = {
        {"clear401", "Clear"}, {"startStop403", "Start/Stop"}, {"copy404", "Copy"}, {"ok1", "OK"}};
    for (const auto& [name, text] : buttons) {
        QPushButton* button = Button(name);
        ASSERT_NE(button, nullptr) << name;
        EXPECT_EQ(button->text(), QString::fromLatin1(text));
        // Inside the window and clear of the list.
        EXPECT_TRUE(window->rect().contains(button->geometry())) << name;
        EXPECT_GT(button->geometry().top(), win_.List()->geometry().bottom()) << name;
    }
}

TEST_F(TraceWindowTest, FirstLineAfterShowStartsAtZeroAndLaterLinesCount) {
    AddAt(1'000, "before the window");  // tracing is off until the window exists
    win_.Show(nullptr);
    AddAt(7'000, "first");
    AddAt(8'250, "second\twith a tab");
    AddAt(70'001, "Gr\xC3\xBC\xC3\x9F" "e");
    EXPECT_EQ(Lines(), (QStringList{QStringLiteral("000.000:\tfirst"), QStringLiteral("001.250:\tsecond\twith a tab"),
                                    QStringLiteral("063.001:\tGr\u00FC\u00DFe")}));
    // The newest line is selected, so the list follows it.
    EXPECT_EQ(win_.List()->currentRow(), 2);
}

TEST_F(TraceWindowTest, ClearEmptiesTheListAndRestartsTheTimeBase) {
    win_.Show(nullptr);
    AddAt(1'000, "a");
    AddAt(3'000, "b");
    Click("clear401");
    EXPECT_TRUE(Lines().isEmpty());
    AddAt(9'500, "after clear");
    AddAt(9'750, "next");
    EXPECT_EQ(Lines(), (QStringList{QStringLiteral("000.000:\tafter clear"), QStringLiteral("000.250:\tnext")}));
    EXPECT_TRUE(log_.Tracing());
}

TEST_F(TraceWindowTest, ALongLineAmongShortOnesWidensTheScrollRangeUntilClear) {
    win_.Show(nullptr);
    QScrollBar* across = win_.List()->horizontalScrollBar();
    AddAt(0, "short");
    AddAt(1, std::string(400, 'w'));
    for (int i = 0; i < 50; ++i) AddAt(2 + i, "short again");
    QCoreApplication::processEvents();
    EXPECT_GT(across->maximum(), 0);
    Click("clear401");
    for (int i = 0; i < 5; ++i) AddAt(100 + i, "short");
    QCoreApplication::processEvents();
    EXPECT_EQ(across->maximum(), 0);
}

TEST_F(TraceWindowTest, StartStopTwiceDropsLinesWhileOffAndKeepsTheTimeBase) {
    win_.Show(nullptr);
    AddAt(1'000, "on");
    Click("startStop403");
    EXPECT_FALSE(log_.Tracing());
    AddAt(2'000, "while off");
    EXPECT_EQ(Lines().size(), 1);
    Click("startStop403");
    EXPECT_TRUE(log_.Tracing());
    AddAt(3'500, "on again");
    EXPECT_EQ(Lines(), (QStringList{QStringLiteral("000.000:\ton"), QStringLiteral("002.500:\ton again")}));
}

TEST_F(TraceWindowTest, CopyOfAnEmptyListPutsEmptyText) {
    win_.Show(nullptr);
    QGuiApplication::clipboard()->setText(QStringLiteral("left over"));
    Click("copy404");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString());
}

TEST_F(TraceWindowTest, CopyOfThreeLinesEndsEachWithALineFeed) {
    win_.Show(nullptr);
    AddAt(0, "TX COM 3:\tMT1=10");
    AddAt(20, "RX COM 3:\tOK");
    AddAt(1'020, "\xC2\xB5s");
    Click("copy404");
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral("000.000:\tTX COM 3:\tMT1=10\n000.020:\tRX COM 3:\tOK\n001.020:\t\u00B5s\n"));
}

TEST(TraceWindowCopyText, EmptyAndShortListsEndEveryLineWithALineFeed) {
    EXPECT_EQ(CDebugWin::CopyText({}), QString());
    EXPECT_EQ(CDebugWin::CopyText({QString()}), QStringLiteral("\n"));
    EXPECT_EQ(CDebugWin::CopyText({QStringLiteral("a"), QString(), QStringLiteral("b")}), QStringLiteral("a\n\nb\n"));
}

TEST(TraceWindowCopyText, StopsAtTheLineThatCrossesTheLimitWithoutItsLineFeed) {
    // 1000-character lines: the 250th brings the text to 250249 characters.
    QStringList lines;
    for (int i = 0; i < 300; ++i) lines.append(QString(1000, QChar(u'a' + i % 26)));
    const QString text = CDebugWin::CopyText(lines);
    EXPECT_EQ(text.size(), 250 * 1001 - 1);
    EXPECT_EQ(text.count(QLatin1Char('\n')), 249);
    EXPECT_TRUE(text.endsWith(lines[249]));
}

TEST(TraceWindowCopyText, ALineEndingExactlyAtTheLimitKeepsItsLineFeed) {
    const QString atLimit(CDebugWin::kCopyLimit, QLatin1Char('x'));
    EXPECT_EQ(CDebugWin::CopyText({atLimit, QStringLiteral("y"), QStringLiteral("z")}),
              atLimit + QStringLiteral("\ny"));
    const QString pastLimit(CDebugWin::kCopyLimit + 1, QLatin1Char('x'));
    EXPECT_EQ(CDebugWin::CopyText({pastLimit, QStringLiteral("y")}), pastLimit);
}

TEST(TraceWindowCopyText, AHugeLineIsCutToTheClipboardBlock) {
    const QString huge(300'000, QLatin1Char('h'));
    const QString text = CDebugWin::CopyText({QStringLiteral("short"), huge, QStringLiteral("never")});
    EXPECT_EQ(text.size(), 256'000 - 1);
    EXPECT_TRUE(text.startsWith(QStringLiteral("short\nhhh")));
    EXPECT_FALSE(text.contains(QStringLiteral("never")));
}

TEST_F(TraceWindowTest, OkHidesAndDeletesTheWindowAndDetachesTheView) {
    win_.Show(nullptr);
    AddAt(100, "line");
    QPointer<QDialog> window = win_.Window();
    Click("ok1");
    EXPECT_EQ(closedNotices_, 1);
    EXPECT_FALSE(win_.HasWindow());
    EXPECT_EQ(log_.View(), nullptr);
    // Tracing is the log's, not the window's: it stays on.
    EXPECT_TRUE(log_.Tracing());
    ASSERT_FALSE(window.isNull()) << "deleted under its own button handler";
    EXPECT_FALSE(window->isVisible());
    RunDeferredDeletes();
    EXPECT_TRUE(window.isNull());
    AddAt(200, "after the window");  // formatted and dropped
    EXPECT_EQ(win_.List(), nullptr);
}

TEST(TraceWindowClose, OkEndsTheWindowEvenWhenTheOwnerDoesNotDestroyIt) {
    TestApp();
    link::TraceLog log(&FakeClock);
    for (const bool withNotice : {true, false}) {
        int notices = 0;
        std::function<void()> notice;
        if (withNotice) notice = [&notices] { ++notices; };
        CDebugWin win(log, notice);
        win.Show(nullptr);
        QPointer<QDialog> window = win.Window();
        QPushButton* ok = window->findChild<QPushButton*>(QStringLiteral("ok1"));
        ASSERT_NE(ok, nullptr);
        ok->click();
        EXPECT_EQ(notices, withNotice ? 1 : 0);
        EXPECT_FALSE(win.HasWindow());
        EXPECT_EQ(log.View(), nullptr);
        RunDeferredDeletes();
        EXPECT_TRUE(window.isNull());
    }
}

TEST_F(TraceWindowTest, ClosingTheWindowOtherwiseEndsItLikeOk) {
    win_.Show(nullptr);
    QPointer<QDialog> window = win_.Window();
    window->reject();  // Escape or the title bar's close button
    EXPECT_EQ(closedNotices_, 1);
    EXPECT_FALSE(win_.HasWindow());
    RunDeferredDeletes();
    EXPECT_TRUE(window.isNull());
}

TEST_F(TraceWindowTest, ShowTwiceKeepsTheOneWindowAndItsListing) {
    win_.Show(nullptr);
    QDialog* first = win_.Window();
    AddAt(1'000, "one");
    AddAt(2'000, "two");
    win_.Show(nullptr);
    EXPECT_EQ(win_.Window(), first);
    AddAt(4'000, "three");
    EXPECT_EQ(Lines(), (QStringList{QStringLiteral("000.000:\tone"), QStringLiteral("001.000:\ttwo"),
                                    QStringLiteral("003.000:\tthree")}));
}

TEST_F(TraceWindowTest, ShowAfterOkStartsANewEmptyListAtZero) {
    win_.Show(nullptr);
    AddAt(1'000, "old");
    Click("startStop403");  // the new window switches tracing on again
    Click("ok1");
    RunDeferredDeletes();
    win_.Show(nullptr);
    ASSERT_TRUE(win_.HasWindow());
    EXPECT_TRUE(Lines().isEmpty());
    EXPECT_TRUE(log_.Tracing());
    AddAt(90'000, "new");
    EXPECT_EQ(Lines(), QStringList{QStringLiteral("000.000:\tnew")});
}

TEST_F(TraceWindowTest, DestroyWindowLeavesAnotherViewAttached) {
    struct OtherView : link::TraceView {
        void AppendLine(std::string_view) override {}
    } other;
    win_.Show(nullptr);
    log_.AttachView(&other);
    win_.DestroyWindow();
    EXPECT_FALSE(win_.HasWindow());
    EXPECT_EQ(log_.View(), &other);
    win_.DestroyWindow();  // no window: nothing
    log_.AttachView(nullptr);
}

TEST(TraceWindowLifetime, TheOwnersEndDeletesTheWindowAtOnce) {
    TestApp();
    link::TraceLog log(&FakeClock);
    QPointer<QDialog> window;
    {
        CDebugWin win(log, {});
        win.Show(nullptr);
        window = win.Window();
        ASSERT_FALSE(window.isNull());
    }
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(log.View(), nullptr);
    log.AddLine("no view left");
}

TEST(TraceWindowLifetime, AParentThatGoesFirstTakesTheWindowWithIt) {
    TestApp();
    link::TraceLog log(&FakeClock);
    CDebugWin win(log, {});
    auto parent = std::make_unique<QWidget>();
    win.Show(parent.get());
    ASSERT_TRUE(win.HasWindow());
    EXPECT_EQ(win.Window()->parentWidget(), parent.get());
    parent.reset();
    EXPECT_FALSE(win.HasWindow());
    log.AddLine("still the view, without a window");
    win.Show(nullptr);
    EXPECT_TRUE(win.HasWindow());
    EXPECT_EQ(win.List()->count(), 0);
}

}  // namespace
}  // namespace brimlink::dialogtest
