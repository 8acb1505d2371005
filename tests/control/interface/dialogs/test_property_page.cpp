// The property page "General" and its frame: loading from the current
// control, the list fields' enabling by "COM", normalised saving, the
// modified flag and the frame's OK, Cancel and Apply.
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <functional>
#include <vector>

#include "DialogTestSupport.h"
#include "control/interface/PropertyPage.h"

namespace brimlink::dialogtest {
namespace {

using control::CBrimlinkPropPage;
using control::PropertyTarget;

// A control as far as the page sees it; current while it lives.
class FakeControl final : public PropertyTarget {
public:
    explicit FakeControl(link::PortSettings settings) : settings_(std::move(settings)) {
        control::SetCurrentPropertyTarget(this);
    }
    ~FakeControl() { control::ClearCurrentPropertyTarget(this); }
    FakeControl(const FakeControl&) = delete;
    FakeControl& operator=(const FakeControl&) = delete;

    link::PortSettings CurrentPortSettings() const override { return settings_; }
    void StorePortSettings(const link::PortSettings& settings) override {
        settings_ = settings;
        ++stores_;
        modified_ = true;
    }

    const link::PortSettings& Settings() const { return settings_; }
    int Stores() const { return stores_; }
    bool Modified() const { return modified_; }

private:
    link::PortSettings settings_;
    int stores_ = 0;
    bool modified_ = false;
};

link::PortSettings Settings(int useUsb, int useSerial, std::string search, std::string exclude, int showAtStartup) {
    link::PortSettings s;
    s.useUsb = useUsb;
    s.useSerial = useSerial;
    s.searchCom = std::move(search);
    s.excludeCom = std::move(exclude);
    s.showAtStartup = showAtStartup;
    return s;
}

// The page's fields by their names.
struct PageFields {
    explicit PageFields(const QWidget* page)
        : usb(page->findChild<QCheckBox*>(QStringLiteral("usb211"))),
          com(page->findChild<QCheckBox*>(QStringLiteral("com212"))),
          search(page->findChild<QLineEdit*>(QStringLiteral("search213"))),
          showAtStartup(page->findChild<QCheckBox*>(QStringLiteral("showAtStartup214"))),
          exclude(page->findChild<QLineEdit*>(QStringLiteral("exclude217"))) {}
    bool Complete() const { return usb && com && search && showAtStartup && exclude; }

    QCheckBox* usb;
    QCheckBox* com;
    QLineEdit* search;
    QCheckBox* showAtStartup;
    QLineEdit* exclude;
};

class PropertyPageTest : public ::testing::Test {
protected:
    PropertyPageTest() { TestApp(); }
};

TEST_F(PropertyPageTest, ShowsTheFixedTextsAndLoadsTheCurrentControl) {
    FakeControl control(Settings(0, 1, "1-4,12", "7", 1));
    CBrimlinkPropPage page;
    EXPECT_EQ(page.windowTitle(), QStringLiteral("General"));
    PageFields f(&page);
    ASSERT_TRUE(f.Complete());
    EXPECT_EQ(f.usb->text(), QStringLiteral("USB"));
    EXPECT_EQ(f.com->text(), QStringLiteral("COM"));
    EXPECT_EQ(f.showAtStartup->text(), QStringLiteral("Show Debug Window at startup"));
    EXPECT_FALSE(f.usb->isChecked());
    EXPECT_TRUE(f.com->isChecked());
    EXPECT_TRUE(f.showAtStartup->isChecked());
    EXPECT_EQ(f.search->text(), QStringLiteral("1-4,12"));
    EXPECT_EQ(f.exclude->text(), QStringLiteral("7"));
    EXPECT_TRUE(f.search->isEnabled());
    EXPECT_TRUE(f.exclude->isEnabled());
    EXPECT_FALSE(page.IsModified());

    QStringList texts;
    for (const QLabel* label : page.findChildren<QLabel*>()) texts.append(label->text());
    EXPECT_TRUE(texts.contains(QStringLiteral(
        "Assign here, which serial ports should be searched for connected Brimlink modules and which ports should "
        "be excluded from the search. Enter the serial port numbers and/or ranges, separated by commas, e.g. 1-4, "
        "12, 14.")));
    EXPECT_TRUE(texts.contains(QStringLiteral("COM")));
}

TEST_F(PropertyPageTest, ComUncheckedDisablesBothListsWhichAreStillSaved) {
    FakeControl control(Settings(1, 0, "3-5", "4", 0));
    CBrimlinkPropPage page;
    PageFields f(&page);
    ASSERT_TRUE(f.Complete());
    EXPECT_FALSE(f.search->isEnabled());
    EXPECT_FALSE(f.exclude->isEnabled());
    page.Save();
    EXPECT_EQ(control.Stores(), 1);
    EXPECT_EQ(control.Settings().useSerial, 0);
    EXPECT_EQ(control.Settings().searchCom, "3-5");
    EXPECT_EQ(control.Settings().excludeCom, "4");
}

TEST_F(PropertyPageTest, EveryClickOnComSwitchesBothLists) {
    FakeControl control(Settings(1, 0, "1-255", "", 0));
    CBrimlinkPropPage page;
    PageFields f(&page);
    ASSERT_TRUE(f.Complete());
    f.com->click();
    EXPECT_TRUE(f.search->isEnabled());
    EXPECT_TRUE(f.exclude->isEnabled());
    f.com->click();
    EXPECT_FALSE(f.search->isEnabled());
    EXPECT_FALSE(f.exclude->isEnabled());
    // Loading again follows the control's flag, not the last click.
    control.StorePortSettings(Settings(1, 1, "1-255", "", 0));
    page.Load();
    EXPECT_TRUE(f.search->isEnabled());
}

TEST_F(PropertyPageTest, SaveNormalisesBothListsAndShowsTheResult) {
    FakeControl control(Settings(1, 1, "1-255", "", 0));
    CBrimlinkPropPage page;
    PageFields f(&page);
    ASSERT_TRUE(f.Complete());
    f.search->setText(QStringLiteral(" 1 - 4 , 12"));
    f.exclude->setText(QStringLiteral(" 9-8 ,, x, 3 "));
    f.usb->click();
    f.showAtStartup->click();
    page.Save();
    EXPECT_EQ(control.Stores(), 1);
    EXPECT_TRUE(control.Modified());
    const link::PortSettings& stored = control.Settings();
    EXPECT_EQ(stored.searchCom, "1-4,12");
    EXPECT_EQ(stored.excludeCom, "8-9,3");
    EXPECT_EQ(stored.useUsb, 0);
    EXPECT_EQ(stored.useSerial, 1);
    EXPECT_EQ(stored.showAtStartup, 1);
    EXPECT_EQ(f.search->text(), QStringLiteral("1-4,12"));
    EXPECT_EQ(f.exclude->text(), QStringLiteral("8-9,3"));
}

TEST_F(PropertyPageTest, OnlyTheUsersEditsSetTheModifiedFlag) {
    FakeControl control(Settings(1, 1, "1-255", "", 0));
    CBrimlinkPropPage page;
    PageFields f(&page);
    ASSERT_TRUE(f.Complete());
    std::vector<bool> changes;
    QObject::connect(&page, &CBrimlinkPropPage::modifiedChanged, [&changes](bool m) { changes.push_back(m); });

    page.Load();
    EXPECT_FALSE(page.IsModified());
    EXPECT_TRUE(changes.empty());

    TypeInto(f.exclude, QStringLiteral("5"));
    EXPECT_EQ(f.exclude->text(), QStringLiteral("5"));
    EXPECT_TRUE(page.IsModified());
    TypeInto(f.search, QStringLiteral(",9"));
    EXPECT_EQ(changes, std::vector<bool>{true});

    page.Save();
    EXPECT_FALSE(page.IsModified());
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));
    EXPECT_EQ(control.Settings().searchCom, "1-255,9");

    for (QCheckBox* box : {f.usb, f.com, f.showAtStartup}) {
        box->click();
        EXPECT_TRUE(page.IsModified()) << box->objectName().toStdString();
        page.Load();
        EXPECT_FALSE(page.IsModified());
    }
}

TEST_F(PropertyPageTest, WithoutACurrentControlNothingIsLoadedOrStored) {
    CBrimlinkPropPage page;
    PageFields f(&page);
    ASSERT_TRUE(f.Complete());
    EXPECT_FALSE(f.search->isEnabled());
    f.com->click();
    f.search->setText(QStringLiteral(" 2 ,3-"));
    page.Save();
    EXPECT_EQ(f.search->text(), QStringLiteral("2,3"));
    EXPECT_FALSE(page.IsModified());
}

TEST_F(PropertyPageTest, TheMostRecentControlIsCurrentUntilItGoes) {
    FakeControl first(Settings(1, 1, "1", "", 0));
    {
        FakeControl second(Settings(1, 1, "2", "", 0));
        EXPECT_EQ(control::CurrentPropertyTarget(), &second);
        control::ClearCurrentPropertyTarget(&first);  // not current: no effect
        EXPECT_EQ(control::CurrentPropertyTarget(), &second);
        CBrimlinkPropPage page;
        EXPECT_EQ(PageFields(&page).search->text(), QStringLiteral("2"));
    }
    // The first control is not current again by itself.
    EXPECT_EQ(control::CurrentPropertyTarget(), nullptr);
}

// Runs the modal frame; `act` gets it once it is up and must close it. A
// timer closes it anyway after a while, so that a failing step cannot hang.
void WithPropertyFrame(const std::function<void(QDialog&)>& act) {
    bool reached = false;
    QTimer::singleShot(0, [&] {
        auto* frame = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (frame == nullptr) return;
        reached = true;
        act(*frame);
        if (frame->isVisible()) {
            ADD_FAILURE() << "the frame is still open";
            frame->reject();
        }
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    watchdog.start(10'000);
    control::ShowPropertyFrame(nullptr);
    EXPECT_TRUE(reached) << "no modal frame";
}

QPushButton* FrameButton(QDialog& frame, const char* name) {
    return frame.findChild<QPushButton*>(QString::fromLatin1(name));
}

TEST_F(PropertyPageTest, FrameHoldsThePageAndAppliesOnlyAChangedPage) {
    FakeControl control(Settings(1, 1, "1-255", "", 0));
    WithPropertyFrame([&](QDialog& frame) {
        auto* tabs = frame.findChild<QTabWidget*>();
        QPushButton* ok = FrameButton(frame, "ok");
        QPushButton* cancel = FrameButton(frame, "cancel");
        QPushButton* apply = FrameButton(frame, "apply");
        auto* page = frame.findChild<CBrimlinkPropPage*>();
        if (!tabs || !ok || !cancel || !apply || !page) {
            ADD_FAILURE() << "frame incomplete";
            frame.reject();
            return;
        }
        EXPECT_EQ(tabs->count(), 1);
        EXPECT_EQ(tabs->tabText(0), QStringLiteral("General"));
        EXPECT_FALSE(apply->isEnabled());

        PageFields f(page);
        TypeInto(f.exclude, QStringLiteral(" 3"));
        EXPECT_TRUE(apply->isEnabled());
        apply->click();
        EXPECT_EQ(control.Stores(), 1);
        EXPECT_EQ(control.Settings().excludeCom, "3");
        EXPECT_FALSE(apply->isEnabled());

        TypeInto(f.exclude, QStringLiteral(",4"));
        EXPECT_TRUE(apply->isEnabled());
        cancel->click();
    });
    EXPECT_EQ(control.Stores(), 1) << "Cancel stored";
    EXPECT_EQ(control.Settings().excludeCom, "3");
}

TEST_F(PropertyPageTest, FrameOkStoresAChangedPageOnly) {
    FakeControl control(Settings(1, 1, "1-255", "", 0));
    WithPropertyFrame([](QDialog& frame) {
        if (QPushButton* ok = FrameButton(frame, "ok")) ok->click();
    });
    EXPECT_EQ(control.Stores(), 0);
    EXPECT_FALSE(control.Modified());

    WithPropertyFrame([](QDialog& frame) {
        auto* page = frame.findChild<CBrimlinkPropPage*>();
        QPushButton* ok = FrameButton(frame, "ok");
        if (!page || !ok) return;
        PageFields(page).usb->click();
        ok->click();
    });
    EXPECT_EQ(control.Stores(), 1);
    EXPECT_EQ(control.Settings().useUsb, 0);
}

}  // namespace
}  // namespace brimlink::dialogtest
