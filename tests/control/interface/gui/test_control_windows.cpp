// The control in a host with widgets (offscreen): its trace window, its own
// window and the property page as a user meets them.
#include <sys/stat.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "control/interface/DebugWin.h"
#include "control/interface/HostInterfaces.h"
#include "control/interface/PropertyPage.h"
#include "control/link/WaitPumping.h"
#include "control/interface/ctrl/ControlBench.h"

namespace brimlink::ctrltest {
namespace {

class WidgetApplication : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "control_gui_tests";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] ::testing::Environment* const g_app = ::testing::AddGlobalTestEnvironment(new WidgetApplication);

int TraceWindowCount() {
  int count = 0;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->windowTitle() == "Trace Window") ++count;
  return count;
}

QStringList Lines(control::CDebugWin& win) {
  QStringList lines;
  if (QListWidget* list = win.List())
    for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
  return lines;
}

void DeleteDeferred() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

TEST(ControlWindows, ShowAtStartupOpensTheTraceWindowWithTheControl) {
  IniValues ini;
  ini.showAtStartup = "Y";
  ControlBench bench(ini);
  auto control = bench.Create();
  EXPECT_TRUE(control->DebugWin().HasWindow());
  ASSERT_NE(control->DebugWin().Window(), nullptr);
  EXPECT_TRUE(control->DebugWin().Window()->isVisible());
  control.reset();
  DeleteDeferred();
  EXPECT_EQ(TraceWindowCount(), 0);
}

TEST(ControlWindows, ShowDebugWndTwiceMakesOneWindowAndOkThenShowStartsAFreshList) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  sim::PtyModule* module = bench.AddSerialModule(202, ModuleConfig::Defaults(Model::R6, 1));
  ASSERT_NE(module, nullptr);
  auto control = bench.Create();
  EXPECT_FALSE(control->DebugWin().HasWindow());
  Call(*control, "ShowDebugWnd");
  Call(*control, "ShowDebugWnd");
  EXPECT_EQ(TraceWindowCount(), 1);

  Call(*control, "WriteDebugString", {Str(u"hallo")});
  ASSERT_EQ(Lines(control->DebugWin()).size(), 1);
  EXPECT_TRUE(Lines(control->DebugWin())[0].startsWith("000.0")) << Lines(control->DebugWin())[0].toStdString();
  EXPECT_TRUE(Lines(control->DebugWin())[0].endsWith(":\thallo"));

  ASSERT_EQ(Call(*control, "Connect").I2(), 1);
  const QStringList lines = Lines(control->DebugWin());
  EXPECT_TRUE(lines.filter("USB devices:\t0").size() == 1) << lines.join('\n').toStdString();
  EXPECT_EQ(lines.filter("Brimlink R6:\tModule 1 V1.5 at COM 202").size(), 1) << lines.join('\n').toStdString();
  EXPECT_FALSE(lines.filter("TX COM 202:\tMT1=01").isEmpty()) << lines.join('\n').toStdString();

  auto* ok = control->DebugWin().Window()->findChild<QPushButton*>("ok1");
  ASSERT_NE(ok, nullptr);
  QPointer<QDialog> old = control->DebugWin().Window();
  ok->click();
  EXPECT_FALSE(control->DebugWin().HasWindow());
  DeleteDeferred();
  EXPECT_TRUE(old.isNull());
  EXPECT_EQ(TraceWindowCount(), 0);

  Call(*control, "ShowDebugWnd");
  EXPECT_EQ(TraceWindowCount(), 1);
  EXPECT_TRUE(Lines(control->DebugWin()).isEmpty());
}

TEST(ControlWindows, TheTraceWindowSaysOnceWhyTheSettingsFileWasNotWritten) {
  ControlBench bench;
  const std::string path = bench.IniPath();
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  auto control = bench.Create();
  const std::string why = "Settings: " + path + " is not written back: it is read-only for this user";
  Call(*control, "ShowDebugWnd");
  QStringList lines = Lines(control->DebugWin());
  ASSERT_EQ(lines.size(), 1) << lines.join('\n').toStdString();
  EXPECT_TRUE(lines[0].endsWith(QString::fromStdString(":\t" + why))) << lines[0].toStdString();

  control->DebugWin().Window()->findChild<QPushButton*>("ok1")->click();
  DeleteDeferred();
  Call(*control, "ShowDebugWnd");
  EXPECT_TRUE(Lines(control->DebugWin()).isEmpty()) << "said once";
}

TEST(ControlWindows, TheControlWindowEmbedsInTheHostAndScalesItsPicture) {
  ControlBench bench;
  auto control = bench.Create();
  ba::ComPtr<ba::ControlWindow> windowPart;
  ASSERT_EQ(ba::ComPtr<CBrimlinkCtrl>(control.get()).As(ba::IID_IBrimlinkWindow, windowPart), ba::S_OK);
  {
    QWidget host;
    host.resize(700, 500);
    host.show();
    QWidget* window = windowPart->Window(&host);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->parentWidget(), &host);
    EXPECT_EQ(windowPart->Window(&host), window);
    window->show();
    window->resize(160, 106);
    auto* picture = window->findChild<QLabel*>("4711");
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->geometry(), QRect(0, 0, 160, 106));
    window->resize(640, 424);
    EXPECT_EQ(picture->size(), QSize(640, 424));
  }
  // The host's window took the control's window with it; the control copes.
  windowPart.reset();
  control.reset();
}

TEST(ControlWindows, ThePageEditsTheMostRecentControlAndItsSettingsAreWrittenAtItsEnd) {
  ControlBench bench;
  auto first = bench.Create();
  auto second = bench.Create();
  EXPECT_EQ(control::CurrentPropertyTarget(), static_cast<control::PropertyTarget*>(second.get()));
  {
    control::CBrimlinkPropPage page;
    page.Load();
    auto* search = page.findChild<QLineEdit*>("search213");
    ASSERT_NE(search, nullptr);
    EXPECT_EQ(search->text(), QString(qttest::kOwnComNumbers));
    search->setText(" 201 - 203 , 207");
    page.Save();
  }
  EXPECT_TRUE(second->Modified());
  EXPECT_FALSE(first->Modified());
  EXPECT_EQ(second->CurrentPortSettings().searchCom, "201-203,207");
  second.reset();
  EXPECT_NE(bench.ReadIni().find("SearchCOM=201-203,207"), std::string::npos) << bench.ReadIni();
  // The first control is current again only if it is created again; the page
  // has no control to edit now.
  EXPECT_EQ(control::CurrentPropertyTarget(), nullptr);
  first.reset();
  EXPECT_NE(bench.ReadIni().find("SearchCOM=201-203,207"), std::string::npos);
}

}  // namespace
}  // namespace brimlink::ctrltest
