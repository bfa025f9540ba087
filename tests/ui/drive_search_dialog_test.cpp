// The address in the title and the search dialog over a simulated bus linked as COM3.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTableWidget>
#include <QTemporaryDir>
#include <cstdlib>

#include "app/drive_address.h"
#include "sim/sim_drive.h"
#include "tests/ui/window_fixture.h"
#include "ui/qt/drive_search_dialog.h"

namespace dd::test {
namespace {

TEST_F(WindowTest, addressInTheTitle_searchDialogListsTheBusAndPicksADrive_badRangeRefused) {
  QTemporaryDir ports;
  ::setenv("DRIVEDESK_PORT_DIR", ports.path().toUtf8().constData(), 1);
  SimConfig bus;
  bus.moreDrives = {{38, 0}};
  SimDrive sim(bus);
  ASSERT_TRUE(sim.Start());
  ASSERT_TRUE(sim.LinkAsCom(3));
  session.controls.SetItems(Control::PortList, {{"COM3", 3, ""}});
  InstallDriveAddressMenu(session, *window);
  QStringList items;
  for (const QAction* a : window->ToolsMenu()->actions()) items << a->text();
  EXPECT_TRUE(items.contains("驱动器地址(&A)…") && items.contains("搜索驱动器(&S)…")) << items.join(",").toStdString();

  DriveSearchDialog dialog(session, window.get());
  dialog.RangeField()->setText("9-3");
  EXPECT_FALSE(dialog.Start());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "    地址范围的起点大于终点；");
  dialog.RangeField()->setText("30-40");
  dialog.PortChoice()->setCurrentIndex(dialog.PortChoice()->findText("COM3"));
  dialog.BaudChoice()->setCurrentIndex(dialog.BaudChoice()->findText("115200"));
  ASSERT_TRUE(dialog.Start());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.Running(); }, 20000));
  ASSERT_EQ(dialog.Table()->rowCount(), 1);
  QStringList row;
  for (int c = 0; c < 5; ++c) row << dialog.Table()->item(0, c)->text();
  EXPECT_EQ(row.join(" ").toStdString(), "COM3 115200 38 10500000 38");
  EXPECT_EQ(dialog.StatusLabel()->text().toStdString(), "搜索完成，找到 1 台驱动器；");
  EXPECT_TRUE(dialog.UseRow(0));
  EXPECT_EQ(session.controls.ComboText(Control::PortList), "COM3");
  EXPECT_EQ(session.controls.ComboText(Control::BaudList), "115200");
  EXPECT_EQ(session.state.DriveAddress.load(), 38);
  window->SyncNow();
  EXPECT_EQ(window->windowTitle().toStdString(), "DriveDesk - 驱动器地址 38");
  ::unsetenv("DRIVEDESK_PORT_DIR");
}

}  // namespace
}  // namespace dd::test
