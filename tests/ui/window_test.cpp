// The main window driven offscreen: built from the layout table, mirroring from workers,
// the view switch, key filters, validation on leaving a field, the hidden context menu,
// the settings dialog, and the bus log and curves windows.
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <fstream>
#include <set>
#include <thread>

#include "app/bus_log.h"
#include "app/control.h"
#include "tests/ui/window_fixture.h"
#include "ui/qt/bus_log_window.h"
#include "ui/qt/curves_window.h"
#include "ui/qt/lamp_widget.h"
#include "ui/qt/qt_translations.h"
#include "ui/qt/settings_dialog.h"

namespace dd::test {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

TEST_F(WindowTest, layoutTable_everyControlOnce_everyWidgetAsTheTableSays_coloursTwipsAndWorkerChanges) {
  std::set<Control> seen;
  for (const FormDef* form : {&MainFormDef(), &SettingsFormDef()}) {
    std::set<Control> parents = {form->id};
    for (const ControlDef& c : form->controls) {
      EXPECT_TRUE(seen.insert(c.id).second) << c.id;
      EXPECT_TRUE(parents.count(c.parent)) << c.id << " before its parent " << c.parent;
      parents.insert(c.id);
      EXPECT_TRUE(c.rect.width > 0 && c.rect.height > 0) << c.id;
    }
  }
  EXPECT_EQ(seen.size() + 2, static_cast<std::size_t>(kControlCount));  // all but the two windows
  for (const ControlDef& def : MainFormDef().controls) {
    QWidget* w = W(def.id);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->objectName(), Q(std::string(ControlName(def.id))));
    EXPECT_EQ(w->isHidden(), !def.visible) << def.id;
    EXPECT_EQ(w->isEnabledTo(w->parentWidget()), def.enabled) << def.id;
    if (def.kind != ControlKind::Label) {
      EXPECT_EQ(w->geometry(), window->Controls().Pixels(def.rect)) << def.id;
    } else {
      EXPECT_EQ(w->x(), window->Controls().PixelsX(def.rect.left)) << def.id;
      EXPECT_EQ(w->width(), window->Controls().PixelsX(def.rect.width)) << def.id;
    }
    EXPECT_EQ(w->toolTip(), Q(def.toolTip)) << def.id;
    const char* caption = qobject_cast<QGroupBox*>(w) ? "title" : "text";
    if (w->property(caption).isValid()) { EXPECT_EQ(w->property(caption).toString(), Q(def.text)) << def.id; }
    if (auto* c = qobject_cast<QCheckBox*>(w)) { EXPECT_FALSE(c->isChecked()); }
    if (auto* c = qobject_cast<QComboBox*>(w)) {
      EXPECT_TRUE(!c->isEditable() && c->currentIndex() == -1) << def.id;
      ASSERT_EQ(c->count(), static_cast<int>(def.items.size())) << def.id;
      for (int i = 0; i < c->count(); ++i) {
        const ComboItem& item = def.items[static_cast<size_t>(i)];
        EXPECT_TRUE(c->itemText(i) == Q(item.text) && c->itemData(i).toInt() == item.data) << def.id << " " << i;
      }
    }
  }
  // The panels are disabled, so nothing in them can be used.
  EXPECT_FALSE(W(Control::SaveButton)->isEnabled());
  EXPECT_TRUE(W(Control::BaudList)->isEnabled());
  EXPECT_EQ(window->windowTitle(), "DriveDesk");
  const QPalette palette = QApplication::palette();
  EXPECT_EQ(static_cast<LampWidget*>(W(Control::CommLamp))->Fill(), QColor(0xE0, 0xE0, 0xE0));
  EXPECT_EQ(W(Control::ActualPositionField)->palette().color(QPalette::Base), palette.color(QPalette::Button));
  EXPECT_EQ(W(Control::DriveCurrentField)->palette().color(QPalette::Base), palette.color(QPalette::Base));
  EXPECT_EQ(W(Control::RunSpeedUnit)->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  // Changes from a worker reach the widgets in one batch.
  const int before = window->Mirror().Batches();
  std::thread([this] {
    for (int i = 0; i < 10000; ++i) session.controls.SetText(Control::ActualPositionField, std::to_string(i));
    session.controls.SetColor(Control::MovingLamp, kRed);
    session.controls.SetVisible(Control::LiveCurrentUnit, true);
  }).join();
  QCoreApplication::processEvents();
  EXPECT_EQ(window->Mirror().Batches() - before, 1);
  EXPECT_EQ(As<QLineEdit>(Control::ActualPositionField)->text(), "9999");
  EXPECT_EQ(static_cast<LampWidget*>(W(Control::MovingLamp))->Fill(), QColor(255, 0, 0));
  EXPECT_FALSE(W(Control::LiveCurrentUnit)->isHidden());
  session.controls.SetColor(Control::HomingButton, kRed);
  window->SyncNow();
  EXPECT_EQ(W(Control::HomingButton)->palette().color(QPalette::Button), QColor(255, 0, 0));
  // Fifteen twips to a pixel at 96 dpi; the client area of the full view is 10185 x 8535
  // twips, below the menu bar.
  const int dpi = window->logicalDpiX();
  EXPECT_EQ(window->Controls().PixelsX(1440), dpi);
  if (dpi == 96) { EXPECT_EQ(window->Controls().PixelsX(615), 41); }
  EXPECT_EQ(window->FormArea()->size(), QSize(window->Controls().PixelsX(10185), window->Controls().PixelsY(8535)));
  EXPECT_EQ(window->FormArea()->y(), window->MenuBar()->height());
  EXPECT_EQ(window->height(), window->FormArea()->height() + window->MenuBar()->height());
  // A fixed size offers no maximise button; the menus open with Alt and their letter; Qt's
  // own buttons speak Chinese.
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(window->FileMenu()->title(), "文件(&F)");
  EXPECT_EQ(window->ToolsMenu()->title(), "工具(&T)");
  EXPECT_EQ(window->HelpMenu()->title(), "帮助(&H)");
  ASSERT_TRUE(InstallQtChinese(*QCoreApplication::instance()));
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "取消");
}

TEST_F(WindowTest, viewSwitchTwice_restoresGeometryAndVisibility_keepsStatesSetMeanwhile) {
  session.controls.SetEnabled(Control::MotionPanel, true);
  ShowActive();
  window->SyncNow();
  const Control group[] = {Control::PortCaption, Control::BaudCaption, Control::PortList, Control::BaudList,
                           Control::CommLamp, Control::OpenCloseButton, Control::ParameterPanel,
                           Control::StatusCaption, Control::StatusText};
  const QRect panel = W(Control::MotionPanel)->geometry();
  const QSize full = window->size();

  QTest::mouseClick(W(Control::ViewButton), Qt::LeftButton);
  EXPECT_EQ(W(Control::MotionPanel)->geometry(), panel.translated(window->Controls().PixelsX(240) - panel.x(), 0));
  for (const Control name : group) EXPECT_TRUE(W(name)->isHidden()) << name;
  EXPECT_EQ(window->FormArea()->size(), QSize(window->Controls().PixelsX(6015 - 90), window->Controls().PixelsY(3690 - 435)));
  EXPECT_EQ(window->height(), window->FormArea()->height() + window->MenuBar()->height());
  EXPECT_EQ(As<QPushButton>(Control::ViewButton)->text(), "完全版");
  EXPECT_FALSE(session.controls.Visible(Control::ParameterPanel));
  session.controls.SetText(Control::DriveCurrentField, "1.50");
  session.controls.SetEnabled(Control::ParameterPanel, true);
  QCoreApplication::processEvents();
  window->SyncNow();

  QTest::mouseClick(W(Control::ViewButton), Qt::LeftButton);
  EXPECT_EQ(W(Control::MotionPanel)->geometry(), panel);
  for (const Control name : group) EXPECT_FALSE(W(name)->isHidden()) << name;
  EXPECT_TRUE(window->size() == full && As<QPushButton>(Control::ViewButton)->text() == "简洁版");
  EXPECT_EQ(As<QLineEdit>(Control::DriveCurrentField)->text(), "1.50");
  EXPECT_TRUE(W(Control::DriveCurrentField)->isEnabled());
}

// Keys pass the field's own filter before the field; a failed check on leaving a field
// keeps the focus and its text and stops the click that would have taken the focus.
TEST_F(WindowTest, keysAndValidation_filteredPerField_failedCheckKeepsFocusAndStopsTheClick) {
  std::u32string keys, other;
  session.events.SetKeyFilter(Control::DriveCurrentField, [&keys](char32_t c) {
    keys.push_back(c);
    return (c >= U'0' && c <= U'9') || c == 8;
  });
  session.events.SetKeyFilter(Control::MoveDistanceField, [&other](char32_t c) { return other.push_back(c), false; });
  int validations = 0, saves = 0;
  bool accept = false;
  session.events.SetValidator(Control::CurrentReductionField, [&] {
    ++validations;
    if (!accept) services.ShowMessage(MessageIcon::Error, "不能输入", "    小于允许输入的下限，请修改；");
    return accept;
  });
  session.events.On(Control::SaveButton, UiEvent::Click, [&](int) { ++saves; });
  session.controls.SetEnabled(Control::ParameterPanel, true);
  session.controls.SetEnabled(Control::MotionPanel, true);
  ShowActive();
  window->SyncNow();
  auto* field = As<QLineEdit>(Control::DriveCurrentField);
  field->setFocus();
  QTest::keyClicks(field, "1a2.");
  EXPECT_EQ(session.controls.Text(Control::DriveCurrentField), "12");
  for (Qt::Key key : {Qt::Key_Backspace, Qt::Key_Return, Qt::Key_Escape}) QTest::keyClick(field, key);
  QApplication::clipboard()->setText("99");
  QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);  // code 22, dropped
  EXPECT_EQ(keys, U"1a2.\b\r\x1b\x16");
  EXPECT_EQ(field->text(), "1");
  W(Control::MoveDistanceField)->setFocus();
  QTest::keyClicks(W(Control::MoveDistanceField), "7");
  EXPECT_EQ(other, U"7");
  EXPECT_EQ(As<QLineEdit>(Control::MoveDistanceField)->text(), "");

  field = As<QLineEdit>(Control::CurrentReductionField);
  field->setFocus();
  field->setText("29");
  QTest::mouseClick(W(Control::CurrentReductionCaption), Qt::LeftButton);
  EXPECT_EQ(validations, 0);  // a label takes no focus
  onMessage = [this] {  // a click while the box is up: no second check
    onMessage = nullptr;
    QTest::mouseClick(W(Control::SaveButton), Qt::LeftButton);
  };
  QTest::mouseClick(W(Control::SaveButton), Qt::LeftButton);
  EXPECT_EQ(validations, 1);
  EXPECT_EQ(saves, 0);
  EXPECT_EQ(field->text(), "29");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].title, "不能输入");
  QTest::mouseClick(W(Control::ReductionDelayField), Qt::LeftButton);
  QTest::keyClick(field, Qt::Key_Tab);
  EXPECT_EQ(validations, 3);
  EXPECT_EQ(QApplication::focusWidget(), field);
  W(Control::ReductionDelayField)->setFocus();  // by the program: the focus comes back
  EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == field && validations == 4; }, 5000));
  accept = true;
  QTest::mouseClick(W(Control::SaveButton), Qt::LeftButton);
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(QApplication::focusWidget(), W(Control::SaveButton));
}

// Mouse, list and check box input reach the model; the text fields' context menu is
// swallowed; the close is routed once; posted calls run on the UI thread.
TEST_F(WindowTest, userInput_reachesTheModel_contextMenuSwallowed_closeAndPostedCalls) {
  std::vector<std::pair<UiEvent, int>> seen;
  for (UiEvent e : {UiEvent::MouseDown, UiEvent::MouseUp}) {
    session.events.On(Control::JogAwayButton, e, [&seen, e](int arg) { seen.emplace_back(e, arg); });
  }
  int clicks = 0, closes = 0;
  session.events.On(Control::BaudList, UiEvent::Click, [&clicks](int) { ++clicks; });
  session.events.On(Control::MainWindow, UiEvent::Close, [&](int) {
    ++closes;
    window->close();  // asked again while the handler runs: ignored
    QCoreApplication::processEvents();
  });
  ShowActive();
  QWidget* jog = W(Control::JogAwayButton);
  for (Control panel : {Control::MotionPanel, Control::JogFrame, Control::ParameterPanel}) session.controls.SetEnabled(panel, true);
  window->SyncNow();
  for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
    QTest::mousePress(jog, button);
    QTest::mouseRelease(jog, button);
  }
  const std::vector<std::pair<UiEvent, int>> want = {
      {UiEvent::MouseDown, 1}, {UiEvent::MouseUp, 1}, {UiEvent::MouseDown, 2},
      {UiEvent::MouseUp, 2},   {UiEvent::MouseDown, 4}, {UiEvent::MouseUp, 4}};
  EXPECT_EQ(seen, want);

  auto* combo = As<QComboBox>(Control::BaudList);
  combo->setFocus();
  QTest::keyClick(combo, Qt::Key_Down);
  EXPECT_EQ(session.controls.ComboIndex(Control::BaudList), combo->currentIndex());
  // A selection by the program is shown but not routed back as a click.
  session.controls.SetComboIndex(Control::BaudList, 4);
  window->SyncNow();
  EXPECT_EQ(combo->currentText(), "115200");
  EXPECT_EQ(clicks, 1);
  QTest::mouseClick(W(Control::StartReleasedCheck), Qt::LeftButton);
  EXPECT_TRUE(session.controls.Checked(Control::StartReleasedCheck));
  session.controls.SetChecked(Control::StartReleasedCheck, false);
  window->SyncNow();
  EXPECT_FALSE(As<QCheckBox>(Control::StartReleasedCheck)->isChecked());

  QLineEdit plain;  // without the filter the same event opens the standard menu
  plain.show();
  for (QWidget* field : {W(Control::DriveCurrentField), W(Control::ErrorTextField), W(Control::MoveDistanceField),
                         W(Control::ActualPositionField), static_cast<QWidget*>(&plain)}) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), field->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(field, &event);
    QWidget* popup = QApplication::activePopupWidget();
    EXPECT_EQ(popup != nullptr, field == &plain) << field->objectName().toStdString();
    if (popup != nullptr) popup->close();
  }

  EXPECT_EQ(QtUiServices::DisplayText("a；\r\nb；"), "a；\nb；");
  std::atomic<QThread*> ranOn{nullptr};  // the worker never waits for the UI thread
  std::thread([&] { services.PostDelayed(10, [&] { ranOn = QThread::currentThread(); }); }).join();
  EXPECT_TRUE(QTest::qWaitFor([&] { return ranOn.load() == QCoreApplication::instance()->thread(); }, 5000));
  EXPECT_TRUE(window->close());
  EXPECT_EQ(closes, 1);
  EXPECT_FALSE(window->isVisible());
}

// The settings dialog: built fresh on each opening from the table, loaded by its
// handler, reporting the option buttons and typed text into the model.
TEST_F(WindowTest, settingsDialog_loadsPicksSavesFilteredTextAndReopensFromTheTable) {
  int loads = 0, closes = 0;
  std::string saved;
  session.events.On(Control::SettingsDialog, UiEvent::Close, [&](int) { ++closes; });
  session.events.On(Control::SettingsDialog, UiEvent::Load, [&](int) {
    if (loads++ > 0) return;
    session.controls.SetChecked(Control::FarLimitModeOption, true);
    session.controls.SetText(Control::HomingOffsetField, "3");
  });
  session.events.SetKeyFilter(Control::HomingOffsetField, [](char32_t c) { return (c >= U'0' && c <= U'9') || c == 8; });
  session.events.On(Control::SaveSettingsButton, UiEvent::Click, [&](int) {
    saved = session.controls.Text(Control::HomingOffsetField);
    services.CloseDialog(Control::SettingsDialog);
  });
  ShowActive();
  // Runs `inside` while the dialog is open, then closes it unless `inside` did.
  const auto run = [&](const std::function<void(SettingsDialog&)>& inside) {
    QTimer::singleShot(0, window.get(), [&] {
      ASSERT_NE(window->OpenDialog(), nullptr);
      inside(*window->OpenDialog());
      if (window->OpenDialog() != nullptr) services.CloseDialog(Control::SettingsDialog);
    });
    services.RunDialog(Control::SettingsDialog);
  };
  bool stillOpen = true;
  run([&](SettingsDialog& d) {
    const auto in = [&d](Control name) { return d.Controls().Widget(name); };
    EXPECT_TRUE(d.isModal() && d.windowTitle() == "设定");
    EXPECT_EQ(d.size(), QSize(d.Controls().PixelsX(3285), d.Controls().PixelsY(2745)));
    EXPECT_EQ(qobject_cast<QPushButton*>(in(Control::SaveSettingsButton))->text(), "保存");
    EXPECT_TRUE(qobject_cast<QRadioButton*>(in(Control::FarLimitModeOption))->isChecked());
    QTest::mouseClick(in(Control::NearLimitModeOption), Qt::LeftButton);
    EXPECT_TRUE(session.controls.Checked(Control::NearLimitModeOption));
    EXPECT_FALSE(session.controls.Checked(Control::FarLimitModeOption) || session.controls.Checked(Control::OriginModeOption));
    auto* text = qobject_cast<QLineEdit*>(in(Control::HomingOffsetField));
    EXPECT_EQ(text->text(), "3");
    text->setFocus();
    text->selectAll();
    QTest::keyClicks(text, "0a07");
    QTest::keyClick(text, Qt::Key_Return);  // dropped: does not press the save button
    EXPECT_TRUE(saved.empty());
    QTest::keyClick(text, Qt::Key_Escape);  // no cancel button
    EXPECT_TRUE(d.isVisible());
    QTest::mouseClick(in(Control::SaveSettingsButton), Qt::LeftButton);
    stillOpen = window->OpenDialog() != nullptr && d.isVisible();
  });
  EXPECT_EQ(saved, "007");
  EXPECT_FALSE(stillOpen);
  run([&](SettingsDialog& d) { EXPECT_EQ(qobject_cast<QLineEdit*>(d.Controls().Widget(Control::HomingOffsetField))->text(), ""); });
  EXPECT_EQ(loads + closes, 4);
}

// The windows beside the main one: "通信日志" and the curves.
// A polling read that succeeds, one that times out and its successful retry, a write
// that is confirmed and one whose reply is corrupt.
void PushTraffic(BusLog& log) {
  static const uint8_t readError[] = {0x01, 0x04, 0x00, 0x02, 0x00, 0x01, 0x90, 0x0A};
  static const uint8_t errorReply[] = {0x01, 0x04, 0x02, 0x00, 0x00, 0xB9, 0x30};
  static const uint8_t writeRunSpeed[] = {0x01, 0x06, 0x00, 0x40, 0x01, 0x2C, 0x88, 0x53};
  static const uint8_t corrupt[] = {0x01, 0x06, 0x00, 0x40, 0x01, 0x2C, 0x88, 0x00};
  const auto push = [&](std::span<const uint8_t> request, std::span<const uint8_t> reply, CommandResult result,
                        int attempt) {
    const auto now = std::chrono::steady_clock::now();
    log.Push(TransactionRecord{.sent = now, .received = now, .sentWall = std::chrono::system_clock::now(),
                               .request = request, .reply = reply, .result = result, .attempt = attempt,
                               .operation = request[1] == 4 ? "ReadErrorCode" : "WriteRunSpeed"});
  };
  push(readError, errorReply, kOk, 1);
  push(readError, {}, kShortReply, 1);
  push(readError, errorReply, kOk, 2);
  push(writeRunSpeed, writeRunSpeed, kOk, 1);
  push(writeRunSpeed, corrupt, kBadCrc, 1);
}

TEST(BusLogWindowTest, filtersPauseClearAndSave_showWhatTheOperatorAsked) {
  BusLog log;
  // 1 speed unit is 1.171875 rpm at 51,200 pulses a turn: 300 is 351.5625 rpm.
  log.SetUnits({1, 51200});
  PushTraffic(log);
  BusLogWindow window(log);
  window.show();
  // Rows: read 2, timed-out read 2 (TX, --), retry 2, write 2, corrupt write 3; in the
  // window's names and the form's units.
  EXPECT_EQ(window.ShownRows(), 11);
  EXPECT_EQ(window.RowText(6, 3).toStdString(), "写 运行速度 = 351.5625 rpm（原始值 300）");
  EXPECT_EQ(window.RowText(3, 2).toStdString(), "超时");
  EXPECT_EQ(window.RowText(5, 3).toStdString(), "错误代码 = 驱动器正常（原始值 0）");
  const std::string counters = window.CountersText().toStdString();
  for (const char* part : {"请求 5", "重试 1", "校验错误 1", "超时 1"}) EXPECT_NE(counters.find(part), std::string::npos) << counters;
  QTest::mouseClick(window.HidePollingBox(), Qt::LeftButton);
  EXPECT_EQ(window.ShownRows(), 5);
  QTest::mouseClick(window.FailuresOnlyBox(), Qt::LeftButton);
  EXPECT_EQ(window.ShownRows(), 3);
  QTest::mouseClick(window.HidePollingBox(), Qt::LeftButton);
  EXPECT_EQ(window.ShownRows(), 5);

  // Saved: the shown records only, in the log file's format.
  QTemporaryDir dir;
  ASSERT_TRUE(window.SaveShown(dir.filePath("log.txt").toStdString()));
  std::ifstream saved(dir.filePath("log.txt").toStdString());
  std::vector<std::string> lines;
  for (std::string line; std::getline(saved, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_TRUE(lines[0].ends_with(" TX 01 04 00 02 00 01 90 0A") && lines[1].ends_with(" -- Timeout"));
  EXPECT_TRUE(lines[3].ends_with(" RX 01 06 00 40 01 2C 88 00") && lines[4].ends_with(" -- BadCrc"));
  EXPECT_FALSE(window.SaveShown("/nonexistent-dir/x.txt"));

  // Paused: new traffic waits, the counters go on (two polling cycles a batch); continued:
  // it appears.
  QTest::mouseClick(window.FailuresOnlyBox(), Qt::LeftButton);
  QTest::mouseClick(window.PauseButton(), Qt::LeftButton);
  log.SetUnits({1, 25600});  // a save changed the pulses a turn
  PushTraffic(log);
  window.TakeNewRecords();
  EXPECT_EQ(window.ShownRows(), 11);
  EXPECT_FALSE(window.CountersText().contains("轮询 0 次/秒")) << window.CountersText().toStdString();
  QTest::mouseClick(window.PauseButton(), Qt::LeftButton);
  EXPECT_EQ(window.ShownRows(), 22);
  // Each record in the units it was logged in, also after a filter rebuilt the rows.
  QTest::mouseClick(window.HidePollingBox(), Qt::LeftButton);
  QTest::mouseClick(window.HidePollingBox(), Qt::LeftButton);
  EXPECT_EQ(window.RowText(6, 3).toStdString(), "写 运行速度 = 351.5625 rpm（原始值 300）");
  EXPECT_EQ(window.RowText(17, 3).toStdString(), "写 运行速度 = 703.125 rpm（原始值 300）");
  QTest::mouseClick(window.ClearButton(), Qt::LeftButton);
  EXPECT_EQ(window.ShownRows(), 0);
  EXPECT_TRUE(window.CountersText().contains("请求 0"));
}

// It draws what the history holds; a pause freezes the picture while the history fills
// on; a zoom shows its span in detail and the CSV export writes that span.
TEST(CurvesWindowTest, opensPausesZoomsExportsAndCloses) {
  auto history = std::make_shared<SampleHistory>();
  CurvesWindow window(history);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  // Every 10 ms in the 5 s up to now, which the last 10 s show; timed from after the
  // window came up, which takes seconds on a loaded machine.
  const double now = history->Now();
  const auto at = [now](int i) { return now + i / 100.0; };
  const auto feed = [&](int from, int to) {
    for (int i = from; i < to; ++i) history->Add(Sample{.time = at(i), .values = {i * 1.0, 1000, i / 100.0, 60, 1.5}});
  };
  feed(-500, 0);
  window.Refresh();
  const int drawn = window.PointsDrawn(Quantity::ActualPosition);
  EXPECT_GT(drawn, 100);
  EXPECT_NEAR(window.VisibleTo() - window.VisibleFrom(), 10, 1e-6);
  window.SetPaused(true);
  const double pausedTo = window.VisibleTo();
  feed(0, 50);
  QTest::qWait(600);  // refresh ticks pass, and the clock passes the new samples
  EXPECT_EQ(window.PointsDrawn(Quantity::ActualPosition), drawn);
  EXPECT_EQ(window.VisibleTo(), pausedTo);
  window.SetPaused(false);
  // Live again: up to now, the new samples with it (seconds may have passed on a loaded
  // machine, so older ones may have left the view).
  EXPECT_GE(window.VisibleTo(), at(49));
  EXPECT_EQ(window.PointsDrawn(Quantity::ActualPosition),
            static_cast<int>(history->Between(window.VisibleFrom(), window.VisibleTo()).size()));
  window.SetQuantityShown(Quantity::Deviation, false);
  EXPECT_EQ(window.PointsDrawn(Quantity::Deviation), 0);
  window.ZoomTo(at(-300), at(-200));
  EXPECT_TRUE(window.Paused());
  EXPECT_GT(window.PointsDrawn(Quantity::ActualPosition), 90);
  QTemporaryDir dir;
  ASSERT_TRUE(window.ExportCsv(dir.filePath("span.csv")));
  QFile csv(dir.filePath("span.csv"));
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  EXPECT_EQ(csv.readAll().split('\n').size(), 1 + 101 + 1);  // header, -3.00 to -2.00, nothing after the last line
  EXPECT_FALSE(window.ExportCsv(dir.filePath("no/such/dir/span.csv")));
  window.ResetView();
  EXPECT_FALSE(window.Paused());
}

}  // namespace
}  // namespace dd::test
