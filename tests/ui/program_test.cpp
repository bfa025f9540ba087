// The whole program in its window, against the simulated drive on a COM link:
// discovery, connection, live values, commands and the close of communication.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "app/control.h"
#include "link/drive_registers.h"
#include "sim/sim_drive.h"
#include "tests/support/fake_sysfs.h"
#include "tests/ui/window_fixture.h"
#include "ui/install_handlers.h"
#include "ui/qt/parameter_file_menu.h"

namespace dd::test {
namespace {

// Also run under LC_ALL=de_DE.UTF-8, where the C library writes "1,50": the window must
// keep the decimal points it shows and reads.
TEST_F(WindowTest, programAgainstTheSimulatedDrive_connectMoveSaveRestoreAndClose) {
  const char* all = std::getenv("LC_ALL");
  if (all != nullptr && std::string(all).rfind("de_DE", 0) == 0) {
    ASSERT_STREQ(std::localeconv()->decimal_point, ",") << "no de_DE locale: run scripts/setup.sh";
  }
  PortDirectory portDir;
  SimDrive drive(SimConfig{.wireRealism = false});
  ASSERT_TRUE(drive.Start() && drive.LinkAsCom(3));
  struct CloseFirst {  // the window's workers end before the drive goes
    QWidget* window;
    ~CloseFirst() { window->close(); }
  } closeFirst{window.get()};
  InstallAllHandlers(session);
  window->Load();
  ShowActive();
  // Waits with the event loop running, as a user would.
  const auto waitFor = [](const std::function<bool()>& done, int ms = 10000) { return QTest::qWaitFor(done, ms); };
  const auto shown = [&](Control name) {
    auto* edit = qobject_cast<QLineEdit*>(window->Widget(name));
    return edit ? edit->text().toStdString() : std::string();
  };
  // Clicks and lets the window show the outcome (it refreshes at a screen's rate).
  const auto click = [&](Control name) {
    QTest::mouseClick(W(name), Qt::LeftButton);
    QTest::qWait(40);
  };
  const auto connect = [&] {  // 115200 baud
    auto* combo = As<QComboBox>(Control::BaudList);
    combo->setCurrentIndex(4);
    emit combo->activated(4);
    ASSERT_TRUE(waitFor([&] { return W(Control::OpenCloseButton)->isEnabled(); }));
    click(Control::OpenCloseButton);
  };
  QMenu menu;
  ParameterFileDialogs dialogs;
  const std::string file = portDir.Root() / "axis.txt";
  dialogs.openFile = [&](const std::string&) { return file; };
  std::string confirmation;
  bool silenceOnConfirm = false;  // the drive stops answering while the operator reads
  dialogs.confirmRestore = [&](const std::string& text, bool, bool& withNumber) {
    confirmation = text;
    withNumber = false;
    if (silenceOnConfirm) drive.ScriptFault(SimFault::Silent, -1);
    return true;
  };
  ParameterFileMenu fileMenu(session, menu, dialogs);
  EXPECT_FALSE(fileMenu.RestoreAction()->isEnabled());
  auto* ports = As<QComboBox>(Control::PortList);
  ASSERT_EQ(ports->count(), 1);
  EXPECT_EQ(ports->itemText(0).toStdString(), "COM3");
  EXPECT_FALSE(W(Control::OpenCloseButton)->isEnabled());
  ASSERT_NO_FATAL_FAILURE(connect());
  ASSERT_TRUE(waitFor([&] { return W(Control::ParameterPanel)->isEnabled() && shown(Control::ErrorTextField) == "驱动器正常"; }));
  EXPECT_TRUE(messages.empty()) << messages[0].title << " " << messages[0].text;
  EXPECT_EQ(shown(Control::PulsesPerRevField), "51,200");
  EXPECT_EQ(shown(Control::UnitsPerRevField), "400");
  EXPECT_EQ(shown(Control::DriveCurrentField), "3.00");
  EXPECT_EQ(shown(Control::StartSpeedField), "58.59375");
  // Display fields look like display fields from the first connection on: the colour
  // the model holds is what the enabled field shows.
  window->SyncNow();
  const QColor buttonFace = QApplication::palette().color(QPalette::Active, QPalette::Button);
  for (const ControlDef& def : MainFormDef().controls) {
    if (def.kind != ControlKind::TextField || session.controls.Color(def.id) != kButtonFace) continue;
    EXPECT_EQ(W(def.id)->palette().color(QPalette::Active, QPalette::Base), buttonFace) << def.id;
  }
  // The first polling cycle shows the error text first and the positions after it.
  EXPECT_TRUE(waitFor([&] { return !shown(Control::ActualPositionField).empty(); }));
  EXPECT_TRUE(W(Control::DriveCurrentUnit)->isVisible());

  // A relative move typed and clicked in the window reaches the drive.
  const double before = drive.TargetPosition();
  QTest::keyClicks(W(Control::MoveDistanceField), "100");
  click(Control::MoveTowardButton);
  ASSERT_TRUE(waitFor([&] { return drive.TargetPosition() != before; }));
  ASSERT_TRUE(waitFor([&] { return !session.state.MotorMoving && shown(Control::ActualPositionField) == shown(Control::TargetPositionField); }));

  // The first save of a factory drive passes every field's check and writes each value once.
  for (Control field : {Control::StartSpeedField, Control::HomingSpeedField, Control::RunSpeedField,
                        Control::DriveCurrentField}) {
    W(field)->setFocus();
    QTest::keyClick(W(field), Qt::Key_Tab);
    QTest::qWait(20);
  }
  auto* current = qobject_cast<QLineEdit*>(W(Control::DriveCurrentField));
  current->setFocus();
  current->selectAll();
  QTest::keyClicks(current, "2.5");
  drive.ClearLog();
  click(Control::SaveButton);
  ASSERT_TRUE(waitFor([&] { return drive.SaveCount() == 1 && shown(Control::DriveCurrentField) == "2.50"; }, 20000));
  EXPECT_TRUE(messages.empty()) << messages[0].title << " " << messages[0].text;
  EXPECT_EQ(drive.Register(reg::kDriveCurrent), 250);
  int startSpeedWrites = 0;
  for (const auto& e : drive.Log()) startSpeedWrites += e.reg == reg::kStartSpeed && e.function != 3 && e.function != 4;
  EXPECT_EQ(startSpeedWrites, 1);

  // Backup, compare and restore from the file menu: refused while homing runs. A
  // comparison reads the drive with polling going on between its transactions. Then a
  // restore runs like the save, says every value took, and the connection sequence
  // shows the drive's new values.
  std::ofstream(file) << "format = 1\nmodel = 10500000\nDriveConfig = 16392\n"
                         "InputBandwidth = 150000\nDriveNumber = 1\nCurrentReduction = 60\n"
                         "ReductionDelay = 500\nDriveCurrent = 250\nRunSpeed = 1024\n"
                         "HomingSpeed = 512\nStartSpeed = 40\nCommFilter = 7\nSpeedFilter = 9\n"
                         "HomingFilter = 11\nPulseLength = 256\nSensorConfig = 524288\n";
  emit menu.aboutToShow();
  ASSERT_TRUE(fileMenu.RestoreAction()->isEnabled());
  session.state.HomingIdle = false;
  bool compared = false;
  dialogs.saveFile = [](const std::string&, const std::string&) { return std::string(); };
  dialogs.showComparison = [&](const std::vector<ComparisonRow>&) { return !(compared = true); };
  ParameterFileMenu busyMenu(session, menu, dialogs);
  for (QAction* action : {busyMenu.BackupAction(), busyMenu.CompareAction(), busyMenu.RestoreAction()}) {
    action->trigger();
  }
  QTest::qWait(300);
  ASSERT_EQ(messages.size(), 3u);
  for (const auto& m : messages) EXPECT_EQ(m.title, "不能操作");
  session.state.HomingIdle = true;
  drive.ClearLog();
  busyMenu.CompareAction()->trigger();
  ASSERT_TRUE(waitFor([&] { return compared; }));
  const auto log = drive.Log();
  const auto at = [&](uint16_t reg, bool last) {
    const auto match = [reg](const SimLogEntry& e) { return e.reg == reg; };
    return last ? std::find_if(log.rbegin(), log.rend(), match).base() : std::find_if(log.begin(), log.end(), match);
  };
  EXPECT_NE(std::find_if(at(reg::kDriveModel, false), at(reg::kPulseLength, true),
                         [](const SimLogEntry& e) { return e.reg == reg::kErrorCode; }),
            at(reg::kPulseLength, true));
  messages.clear();
  fileMenu.RestoreAction()->trigger();
  ASSERT_TRUE(waitFor([&] { return !messages.empty(); }, 20000));
  EXPECT_EQ(messages[0].title, "恢复参数");
  EXPECT_EQ(messages[0].icon, MessageIcon::Information) << messages[0].text;
  EXPECT_NE(confirmation.find("运行速度：600 rpm → 1200 rpm"), std::string::npos) << confirmation;
  EXPECT_EQ(drive.Register(0x0040), 1024);  // the restore itself: the parameter tests
  EXPECT_EQ(drive.SaveCount(), 2u);
  EXPECT_TRUE(waitFor([&] { return shown(Control::RunSpeedField) == "1200" && W(Control::ParameterPanel)->isEnabled(); }));
  EXPECT_GT(session.state.WorkerCount.load(), 0);

  // A damaged file: compare says what is wrong with it, naming the field as the window does.
  const std::string restored = [&] { std::stringstream t; t << std::ifstream(file).rdbuf(); return t.str(); }();
  std::ofstream(file) << "format = 1\nmodel = 10500000\nRunSpeed = x\n";
  messages.clear();
  fileMenu.CompareAction()->trigger();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].text.find("运行速度（RunSpeed）"), std::string::npos) << messages[0].text;
  EXPECT_NE(messages[0].text.find("文件有误，未作比较"), std::string::npos) << messages[0].text;
  // A drive silent after the confirmation: refused before any panel is disabled.
  std::string edited = restored;
  edited.replace(edited.find("RunSpeed = 1024"), 15, "RunSpeed = 512");
  std::ofstream(file) << edited;
  messages.clear();
  silenceOnConfirm = true;
  fileMenu.RestoreAction()->trigger();
  ASSERT_TRUE(waitFor([&] { return !messages.empty() || !W(Control::ParameterPanel)->isEnabled(); }, 20000));
  ASSERT_FALSE(messages.empty());
  EXPECT_NE(messages[0].text.find("驱动器无应答，未写入任何参数"), std::string::npos) << messages[0].text;
  EXPECT_EQ(drive.SaveCount(), 2u);
  drive.ClearFaults();

  click(Control::OpenCloseButton);
  EXPECT_TRUE(waitFor([&] { return As<QPushButton>(Control::OpenCloseButton)->text() == "开启通信" && shown(Control::HomingFilterField).empty(); }));
  EXPECT_EQ(session.state.WorkerCount.load(), 0);
  for (const Control field : kParameterFields) EXPECT_EQ(shown(field), "") << field;
  EXPECT_FALSE(W(Control::MotionPanel)->isEnabled());

  // Opening again reads everything afresh.
  click(Control::OpenCloseButton);
  ASSERT_TRUE(waitFor([&] { return !shown(Control::PortStatusField).empty() && W(Control::JogFrame)->isEnabled(); }));
  // Closed while a jog button is held: its release never comes, the close stops the axis.
  QTest::mousePress(W(Control::JogAwayButton), Qt::LeftButton);
  ASSERT_TRUE(waitFor([&] { return drive.Moving(); }));
  window->close();
  EXPECT_EQ(session.state.WorkerCount.load(), 0);
  EXPECT_EQ(session.state.PortHandle.load(), 0);
  EXPECT_TRUE(drive.WaitForStandstill(std::chrono::milliseconds(5000)));
  EXPECT_NE(drive.ControlWord(), 0x0010) << "the jog command still stands";
}

}  // namespace
}  // namespace dd::test
