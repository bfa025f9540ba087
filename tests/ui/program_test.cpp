// The whole program in its window, against the simulated drive on a COM link:
// discovery, connection, live values, commands and the close of communication.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <clocale>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "app/control.h"
#include "link/drive_registers.h"
#include "sim/sim_drive.h"
#include "tests/support/fake_sysfs.h"
#include "tests/ui/window_fixture.h"
#include "ui/install_handlers.h"
#include "ui/parameter_file_menu.h"

namespace dd::test {
namespace {

class ProgramTest : public WindowTest {
 protected:
  void SetUp() override {
    SimConfig config;
    config.wireRealism = false;
    drive_ = std::make_unique<SimDrive>(config);
    ASSERT_TRUE(drive_->Start());
    ASSERT_TRUE(drive_->LinkAsCom(3));
    InstallAllHandlers(session);
    window->Load();
    ShowActive();
  }
  void TearDown() override {
    if (window->isVisible()) window->close();
  }

  // Waits with the event loop running, as a user would.
  bool WaitFor(const std::function<bool()>& done, int ms = 10000) { return QTest::qWaitFor(done, ms); }
  std::string Shown(Control name) const {
    auto* edit = qobject_cast<QLineEdit*>(window->Widget(name));
    return edit ? edit->text().toStdString() : std::string();
  }
  // Picks 115200 baud and connects.
  void Connect() {
    auto* combo = As<QComboBox>(Control::BaudList);
    combo->setCurrentIndex(4);
    emit combo->activated(4);
    ASSERT_TRUE(WaitFor([&] { return W(Control::OpenCloseButton)->isEnabled(); }));
    Click(Control::OpenCloseButton);
  }
  // Clicks and lets the window show the outcome (it refreshes at a screen's rate).
  void Click(Control name) {
    QTest::mouseClick(W(name), Qt::LeftButton);
    QTest::qWait(40);
  }

  PortDirectory ports_;
  std::unique_ptr<SimDrive> drive_;
};

// Also run under LC_ALL=de_DE.UTF-8, where the C library writes "1,50": the window must
// keep the decimal points it shows and reads.
TEST_F(ProgramTest, connectMoveSaveRestoreAndClose_againstTheSimulatedDrive) {
  const char* all = std::getenv("LC_ALL");
  if (all != nullptr && std::string(all).rfind("de_DE", 0) == 0) {
    ASSERT_STREQ(std::localeconv()->decimal_point, ",") << "no de_DE locale: run scripts/setup.sh";
  }
  QMenu menu;
  ParameterFileDialogs dialogs;
  const std::string file = ports_.Root() / "axis.txt";
  dialogs.openFile = [&](const QString&) { return QString::fromStdString(file); };
  QString confirmation;
  dialogs.confirmRestore = [&](const QString& text, bool, bool& withNumber) {
    confirmation = text;
    withNumber = false;
    return true;
  };
  ParameterFileMenu fileMenu(session, menu, dialogs);
  EXPECT_FALSE(fileMenu.RestoreAction()->isEnabled());
  auto* ports = As<QComboBox>(Control::PortList);
  ASSERT_EQ(ports->count(), 1);
  EXPECT_EQ(ports->itemText(0).toStdString(), "COM3");
  EXPECT_FALSE(W(Control::OpenCloseButton)->isEnabled());
  ASSERT_NO_FATAL_FAILURE(Connect());
  EXPECT_TRUE(WaitFor([&] { return As<QPushButton>(Control::OpenCloseButton)->text() == "关闭通信"; }));
  ASSERT_TRUE(WaitFor([&] { return W(Control::ParameterPanel)->isEnabled() && Shown(Control::ErrorTextField) == "驱动器正常"; }));
  EXPECT_TRUE(messages.empty()) << messages[0].title << " " << messages[0].text;
  EXPECT_EQ(Shown(Control::PulsesPerRevField), "51,200");
  EXPECT_EQ(Shown(Control::UnitsPerRevField), "400");
  EXPECT_EQ(Shown(Control::DriveCurrentField), "3.00");
  EXPECT_EQ(Shown(Control::StartSpeedField), "58.59375");
  // Display fields look like display fields from the first connection on: the colour
  // the model holds is what the enabled field shows.
  window->SyncNow();
  const QColor buttonFace = QApplication::palette().color(QPalette::Active, QPalette::Button);
  for (const ControlDef& def : MainFormDef().controls) {
    if (def.kind != ControlKind::TextField || session.controls.Color(def.id) != kButtonFace) continue;
    EXPECT_EQ(W(def.id)->palette().color(QPalette::Active, QPalette::Base), buttonFace) << def.id;
  }
  // The first polling cycle shows the error text first and the positions after it.
  EXPECT_TRUE(WaitFor([&] { return !Shown(Control::ActualPositionField).empty(); }));
  EXPECT_TRUE(W(Control::DriveCurrentUnit)->isVisible());

  // A relative move typed and clicked in the window reaches the drive.
  const double before = drive_->TargetPosition();
  QTest::keyClicks(W(Control::MoveDistanceField), "100");
  Click(Control::MoveTowardButton);
  ASSERT_TRUE(WaitFor([&] { return drive_->TargetPosition() != before; }));
  ASSERT_TRUE(WaitFor([&] { return !session.state.MotorMoving && Shown(Control::ActualPositionField) == Shown(Control::TargetPositionField); }));

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
  drive_->ClearLog();
  Click(Control::SaveButton);
  ASSERT_TRUE(WaitFor([&] { return drive_->SaveCount() == 1 && Shown(Control::DriveCurrentField) == "2.50"; }, 20000));
  EXPECT_TRUE(messages.empty()) << messages[0].title << " " << messages[0].text;
  EXPECT_EQ(drive_->Register(reg::kDriveCurrent), 250);
  int startSpeedWrites = 0;
  for (const auto& e : drive_->Log()) startSpeedWrites += e.reg == reg::kStartSpeed && e.function != 3 && e.function != 4;
  EXPECT_EQ(startSpeedWrites, 1);

  // A restore from the file menu: refused while homing runs, then it runs like the save,
  // says every value took, and the connection sequence shows the drive's new values.
  std::ofstream(file) << "format = 1\nmodel = 10500000\nDriveConfig = 16392\n"
                         "InputBandwidth = 150000\nDriveNumber = 1\nCurrentReduction = 60\n"
                         "ReductionDelay = 500\nDriveCurrent = 250\nRunSpeed = 1024\n"
                         "HomingSpeed = 512\nStartSpeed = 40\nCommFilter = 7\nSpeedFilter = 9\n"
                         "HomingFilter = 11\nPulseLength = 256\nSensorConfig = 524288\n";
  emit menu.aboutToShow();
  ASSERT_TRUE(fileMenu.RestoreAction()->isEnabled());
  session.state.HomingIdle = false;
  fileMenu.RestoreAction()->trigger();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].title, "不能操作");
  session.state.HomingIdle = true;
  messages.clear();
  fileMenu.RestoreAction()->trigger();
  ASSERT_TRUE(WaitFor([&] { return !messages.empty(); }, 20000));
  EXPECT_EQ(messages[0].title, "恢复参数");
  EXPECT_EQ(messages[0].icon, MessageIcon::Information) << messages[0].text;
  EXPECT_NE(confirmation.toStdString().find("运行速度：600 rpm → 1200 rpm"), std::string::npos) << confirmation.toStdString();
  EXPECT_EQ(drive_->Register(0x0008), 0x4008);
  EXPECT_EQ(drive_->Register(0x0040), 1024);
  EXPECT_EQ(drive_->Value(0x002A), 256u);
  EXPECT_EQ(drive_->Value(0x0084), 524288u);
  EXPECT_EQ(drive_->SaveCount(), 2u);
  EXPECT_TRUE(WaitFor([&] { return Shown(Control::RunSpeedField) == "1200" && W(Control::ParameterPanel)->isEnabled(); }));
  EXPECT_GT(session.state.WorkerCount.load(), 0);

  Click(Control::OpenCloseButton);
  EXPECT_TRUE(WaitFor([&] { return As<QPushButton>(Control::OpenCloseButton)->text() == "开启通信" && Shown(Control::HomingFilterField).empty(); }));
  EXPECT_EQ(session.state.WorkerCount.load(), 0);
  EXPECT_EQ(session.state.PortHandle.load(), 0);
  for (const Control field : kParameterFields) EXPECT_EQ(Shown(field), "") << field;
  EXPECT_FALSE(W(Control::MotionPanel)->isEnabled());

  // Opening again reads everything afresh.
  Click(Control::OpenCloseButton);
  ASSERT_TRUE(WaitFor([&] { return !Shown(Control::PortStatusField).empty() && W(Control::JogFrame)->isEnabled(); }));
  // Closed while a jog button is held: its release never comes, the close stops the axis.
  QTest::mousePress(W(Control::JogAwayButton), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return drive_->Moving(); }));
  window->close();
  EXPECT_EQ(session.state.WorkerCount.load(), 0);
  EXPECT_EQ(session.state.PortHandle.load(), 0);
  EXPECT_TRUE(drive_->WaitForStandstill(std::chrono::milliseconds(5000)));
  EXPECT_NE(drive_->ControlWord(), 0x0010) << "the jog command still stands";
}

}  // namespace
}  // namespace dd::test
