// The main window driven offscreen: start states, mirroring from workers, the view
// switch, key filters, validation on leaving a field, and the hidden context menu.
#include <QCheckBox>
#include <QComboBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QThread>
#include <atomic>
#include <thread>

#include "app/control_names.h"
#include "tests/ui/window_fixture.h"
#include "ui/lamp_widget.h"

namespace dd::test {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

TEST_F(WindowTest, startStates_everyWidgetAsTheTableSays) {
  for (const ControlDef& def : MainFormDef().controls) {
    QWidget* w = W(def.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->objectName(), Q(def.name));
    EXPECT_EQ(w->isHidden(), !def.visible) << def.name;
    EXPECT_EQ(w->isEnabledTo(w->parentWidget()), def.enabled) << def.name;
    if (def.kind != ControlKind::Label) {
      EXPECT_EQ(w->geometry(), window->Controls().Pixels(def.rect)) << def.name;
    } else {
      EXPECT_EQ(w->x(), window->Controls().PixelsX(def.rect.left)) << def.name;
      EXPECT_EQ(w->width(), window->Controls().PixelsX(def.rect.width)) << def.name;
    }
    EXPECT_EQ(w->toolTip(), Q(def.toolTip)) << def.name;
    if (auto* b = qobject_cast<QPushButton*>(w)) { EXPECT_EQ(b->text(), Q(def.text)); }
    if (auto* l = qobject_cast<QLabel*>(w)) { EXPECT_EQ(l->text(), Q(def.text)); }
    if (auto* f = qobject_cast<QLineEdit*>(w)) { EXPECT_EQ(f->text(), Q(def.text)); }
    if (auto* g = qobject_cast<QGroupBox*>(w)) { EXPECT_EQ(g->title(), Q(def.text)); }
    if (auto* c = qobject_cast<QCheckBox*>(w)) {
      EXPECT_EQ(c->text(), Q(def.text));
      EXPECT_FALSE(c->isChecked());
    }
    if (auto* c = qobject_cast<QComboBox*>(w)) {
      EXPECT_FALSE(c->isEditable()) << def.name;
      EXPECT_EQ(c->currentIndex(), -1) << def.name;
      ASSERT_EQ(c->count(), static_cast<int>(def.items.size())) << def.name;
      for (int i = 0; i < c->count(); ++i) {
        EXPECT_EQ(c->itemText(i), Q(def.items[static_cast<size_t>(i)].text));
        EXPECT_EQ(c->itemData(i).toInt(), def.items[static_cast<size_t>(i)].data);
      }
    }
  }
  // The panels are disabled, so nothing in them can be used.
  EXPECT_FALSE(W("Command3")->isEnabled());
  EXPECT_FALSE(W("Command10")->isEnabled());
  EXPECT_FALSE(W("Command1")->isEnabled());
  EXPECT_TRUE(W("Combo2")->isEnabled());
  EXPECT_EQ(window->windowTitle(), "DriveDesk");
}

TEST_F(WindowTest, startColours_lampsFieldsAndUnitLabels) {
  const QPalette palette = QApplication::palette();
  EXPECT_EQ(static_cast<LampWidget*>(W("Shape1"))->Fill(), QColor(0xE0, 0xE0, 0xE0));
  EXPECT_EQ(static_cast<LampWidget*>(W("Shape4"))->Fill(), palette.color(QPalette::Button));
  EXPECT_EQ(W("Text2(19)")->palette().color(QPalette::Base), palette.color(QPalette::Button));
  EXPECT_EQ(W("Text3")->palette().color(QPalette::Base), palette.color(QPalette::Button));
  EXPECT_EQ(W("Text2(0)")->palette().color(QPalette::Base), palette.color(QPalette::Base));
  EXPECT_EQ(W("Label1(24)")->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_EQ(W("Label1(24)")->font().pointSize(), 12);
  EXPECT_EQ(W("Label1(32)")->font().pointSize(), W("Label1(0)")->font().pointSize());
}

TEST_F(WindowTest, buttonColour_redWhileSet_buttonFaceAgainAfter) {
  session.controls.SetColor("Command2", kRed);
  window->SyncNow();
  EXPECT_EQ(W("Command2")->palette().color(QPalette::Button), QColor(255, 0, 0));
  session.controls.SetColor("Command2", kButtonFace);
  window->SyncNow();
  EXPECT_EQ(W("Command2")->palette().color(QPalette::Button),
            QApplication::palette().color(QPalette::Button));
}

TEST_F(WindowTest, twips_fifteenToAPixelAt96Dpi) {
  const int dpi = window->logicalDpiX();
  EXPECT_EQ(window->Controls().PixelsX(1440), dpi);
  if (dpi == 96) { EXPECT_EQ(window->Controls().PixelsX(615), 41); }
  // Client area of the full view as designed: 10185 x 8535 twips.
  EXPECT_EQ(window->FormArea()->size(), QSize(window->Controls().PixelsX(10185),
                                             window->Controls().PixelsY(8535)));
  // The menu bar sits above the form and adds its height to the window.
  EXPECT_EQ(window->FormArea()->y(), window->MenuBar()->height());
  EXPECT_EQ(window->height(), window->FormArea()->height() + window->MenuBar()->height());
}

TEST_F(WindowTest, modelChangesFromWorker_reachWidgetsInOneBatch) {
  const int before = window->Mirror().Batches();
  std::thread worker([this] {
    for (int i = 0; i < 10000; ++i) session.controls.SetText("Text3", std::to_string(i));
    session.controls.SetColor("Shape5", kRed);
    session.controls.SetVisible("Label1(23)", true);
  });
  worker.join();
  QCoreApplication::processEvents();
  EXPECT_EQ(window->Mirror().Batches() - before, 1);
  EXPECT_EQ(As<QLineEdit>("Text3")->text(), "9999");
  EXPECT_EQ(static_cast<LampWidget*>(W("Shape5"))->Fill(), QColor(255, 0, 0));
  EXPECT_FALSE(W("Label1(23)")->isHidden());
}

TEST_F(WindowTest, workerUpdatesWhileUiRuns_fewBatchesAndLastValueShown) {
  const int before = window->Mirror().Batches();
  std::atomic<bool> done{false};
  std::thread worker([this, &done] {
    for (int i = 0; i < 10000; ++i) session.controls.SetText("Text4", std::to_string(i));
    done = true;
  });
  while (!done) QCoreApplication::processEvents();
  worker.join();
  // The last batch is shown with the next screen refresh.
  QElapsedTimer waited;
  waited.start();
  while (As<QLineEdit>("Text4")->text() != "9999" && waited.elapsed() < 2000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  EXPECT_EQ(As<QLineEdit>("Text4")->text(), "9999");
  EXPECT_LT(window->Mirror().Batches() - before, 2000);  // coalesced, not one per change
}

TEST_F(WindowTest, viewSwitchTwice_restoresGeometryAndVisibility) {
  session.controls.SetEnabled("Picture1", true);
  ShowActive();
  window->SyncNow();
  const char* group[] = {"Label6", "Label2", "Combo1", "Combo2", "Shape1", "Command1",
                         "Picture2", "Text6(0)", "Text6(1)"};
  const QRect panel = W("Picture1")->geometry();
  const QSize full = window->size();

  QTest::mouseClick(W("Command10"), Qt::LeftButton);
  EXPECT_EQ(W("Picture1")->geometry(),
            panel.translated(window->Controls().PixelsX(240) - panel.x(), 0));
  for (const char* name : group) EXPECT_TRUE(W(name)->isHidden()) << name;
  EXPECT_EQ(window->FormArea()->size(), QSize(window->Controls().PixelsX(6015 - 90),
                                             window->Controls().PixelsY(3690 - 435)));
  EXPECT_EQ(window->height(), window->FormArea()->height() + window->MenuBar()->height());
  EXPECT_EQ(As<QPushButton>("Command10")->text(), "完全版");
  EXPECT_EQ(session.controls.Text("Command10"), "完全版");
  EXPECT_FALSE(session.controls.Visible("Picture2"));

  QTest::mouseClick(W("Command10"), Qt::LeftButton);
  EXPECT_EQ(W("Picture1")->geometry(), panel);
  for (const char* name : group) EXPECT_FALSE(W(name)->isHidden()) << name;
  EXPECT_EQ(window->size(), full);
  EXPECT_EQ(As<QPushButton>("Command10")->text(), "简洁版");
}

TEST_F(WindowTest, compactView_keepsStatesSetMeanwhile) {
  session.controls.SetEnabled("Picture1", true);
  window->SyncNow();
  SwitchView(session, *window);
  session.controls.SetText("Text2(0)", "1.50");
  session.controls.SetEnabled("Picture2", true);
  Settle();
  SwitchView(session, *window);
  EXPECT_EQ(As<QLineEdit>("Text2(0)")->text(), "1.50");
  EXPECT_TRUE(W("Text2(0)")->isEnabled());
}

class KeyTest : public WindowTest {
 protected:
  void SetUp() override {
    session.events.SetKeyFilter("Text2(0)", [this](char32_t c) {
      keys.push_back(c);
      return (c >= U'0' && c <= U'9') || c == 8;
    });
    session.controls.SetEnabled("Picture2", true);
    ShowActive();
    window->SyncNow();
    field = As<QLineEdit>("Text2(0)");
    field->setFocus();
  }
  std::u32string keys;
  QLineEdit* field = nullptr;
};

TEST_F(KeyTest, typedCharacters_reachTheFilter_droppedOnesNeverTheField) {
  QTest::keyClicks(field, "1a2.");
  EXPECT_EQ(field->text(), "12");
  EXPECT_EQ(session.controls.Text("Text2(0)"), "12");
  QTest::keyClick(field, Qt::Key_Backspace);
  EXPECT_EQ(field->text(), "1");
  QTest::keyClick(field, Qt::Key_Return);
  QTest::keyClick(field, Qt::Key_Escape);
  EXPECT_EQ(keys, U"1a2.\b\r\x1b");
  EXPECT_EQ(field->text(), "1");
}

TEST_F(KeyTest, ctrlV_isCode22_droppedPasteLeavesTheField) {
  QApplication::clipboard()->setText("99");
  QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(keys, U"\x16");
  EXPECT_EQ(field->text(), "");
}

TEST_F(KeyTest, shiftInsert_pastesUnfiltered) {
  QApplication::clipboard()->setText("9x");
  QTest::keyClick(field, Qt::Key_Insert, Qt::ShiftModifier);
  EXPECT_TRUE(keys.empty());
  if (QApplication::clipboard()->text() == "9x") { EXPECT_EQ(field->text(), "9x"); }
}

TEST_F(KeyTest, keysOfOtherFields_goToTheirOwnFilter) {
  std::u32string other;
  session.events.SetKeyFilter("Text5", [&other](char32_t c) {
    other.push_back(c);
    return false;
  });
  session.controls.SetEnabled("Picture1", true);
  window->SyncNow();
  W("Text5")->setFocus();
  QTest::keyClicks(W("Text5"), "7");
  EXPECT_EQ(other, U"7");
  EXPECT_TRUE(keys.empty());
  EXPECT_EQ(As<QLineEdit>("Text5")->text(), "");
}

class ValidationTest : public WindowTest {
 protected:
  void SetUp() override {
    session.events.SetValidator("Text2(1)", [this] {
      ++validations;
      if (accept) return true;
      services.ShowMessage(MessageIcon::Error, "不能输入", "    小于允许输入的下限，请修改；");
      return false;
    });
    session.events.On("Command3", UiEvent::Click, [this](int) { ++saves; });
    session.controls.SetEnabled("Picture2", true);
    ShowActive();
    window->SyncNow();
    field = As<QLineEdit>("Text2(1)");
    field->setFocus();
    field->setText("29");
  }
  int validations = 0;
  int saves = 0;
  bool accept = false;
  QLineEdit* field = nullptr;
};

TEST_F(ValidationTest, failedCheck_keepsFocusAndText_saveClickNotCarriedOut) {
  QTest::mouseClick(W("Command3"), Qt::LeftButton);
  EXPECT_EQ(validations, 1);
  EXPECT_EQ(saves, 0);
  EXPECT_EQ(QApplication::focusWidget(), field);
  EXPECT_EQ(field->text(), "29");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].title, "不能输入");
}

TEST_F(ValidationTest, passedCheck_letsTheClickAct) {
  accept = true;
  QTest::mouseClick(W("Command3"), Qt::LeftButton);
  EXPECT_EQ(validations, 1);
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(QApplication::focusWidget(), W("Command3"));
}

TEST_F(ValidationTest, failedCheck_tabDoesNotMoveTheFocus) {
  QTest::keyClick(field, Qt::Key_Tab);
  EXPECT_EQ(validations, 1);
  EXPECT_EQ(QApplication::focusWidget(), field);
  accept = true;
  QTest::keyClick(field, Qt::Key_Tab);
  EXPECT_EQ(validations, 2);
  EXPECT_NE(QApplication::focusWidget(), field);
}

TEST_F(ValidationTest, failedCheck_clickOnAnotherFieldKeepsFocus) {
  QTest::mouseClick(W("Text2(2)"), Qt::LeftButton);
  EXPECT_EQ(validations, 1);
  EXPECT_EQ(QApplication::focusWidget(), field);
}

TEST_F(ValidationTest, programmaticFocusChange_failedCheckTakesTheFocusBack) {
  W("Text2(2)")->setFocus();
  EXPECT_TRUE(QTest::qWaitFor([this] { return QApplication::focusWidget() == field && validations > 0; }, 5000));
  EXPECT_EQ(validations, 1);
  EXPECT_EQ(messages.size(), 1u);
}

TEST_F(ValidationTest, clickWhileMessageIsOpen_noSecondCheckAndNoSave) {
  onMessage = [this] {
    onMessage = nullptr;
    QTest::mouseClick(W("Command3"), Qt::LeftButton);  // re-entry while the box is up
  };
  QTest::mouseClick(W("Command3"), Qt::LeftButton);
  EXPECT_EQ(validations, 1);
  EXPECT_EQ(saves, 0);
  EXPECT_EQ(QApplication::focusWidget(), field);
}

TEST_F(ValidationTest, clickOnLabel_noCheck) {
  QTest::mouseClick(W("Label1(5)"), Qt::LeftButton);
  EXPECT_EQ(validations, 0);
  EXPECT_EQ(QApplication::focusWidget(), field);
}

TEST_F(WindowTest, rightClickMenuOfTextFields_isSwallowed) {
  session.controls.SetEnabled("Picture2", true);
  ShowActive();
  window->SyncNow();
  for (const char* name : {"Text2(0)", "Text2(19)", "Text5", "Text3"}) {
    QWidget* field = W(name);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), field->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(field, &event);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << name;
  }
  // Without the filter the same event opens the standard menu.
  QLineEdit plain;
  plain.show();
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), plain.mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(&plain, &event);
  QWidget* popup = QApplication::activePopupWidget();
  EXPECT_NE(popup, nullptr);
  if (popup != nullptr) popup->close();
}

TEST_F(WindowTest, jogButtons_reportPressAndReleaseWithTheMouseButton) {
  std::vector<std::pair<UiEvent, int>> seen;
  for (UiEvent e : {UiEvent::MouseDown, UiEvent::MouseUp}) {
    session.events.On("Command5(0)", e, [&seen, e](int arg) { seen.emplace_back(e, arg); });
  }
  ShowActive();
  QWidget* jog = W("Command5(0)");
  QTest::mousePress(jog, Qt::LeftButton);
  QTest::mouseRelease(jog, Qt::LeftButton);
  EXPECT_TRUE(seen.empty());  // the frame is disabled at start
  session.controls.SetEnabled("Picture1", true);
  session.controls.SetEnabled("Frame1", true);
  window->SyncNow();
  QTest::mousePress(jog, Qt::LeftButton);
  QTest::mouseRelease(jog, Qt::LeftButton);
  QTest::mousePress(jog, Qt::RightButton);
  QTest::mouseRelease(jog, Qt::RightButton);
  QTest::mousePress(jog, Qt::MiddleButton);
  QTest::mouseRelease(jog, Qt::MiddleButton);
  const std::vector<std::pair<UiEvent, int>> want = {
      {UiEvent::MouseDown, 1}, {UiEvent::MouseUp, 1}, {UiEvent::MouseDown, 2},
      {UiEvent::MouseUp, 2},   {UiEvent::MouseDown, 4}, {UiEvent::MouseUp, 4}};
  EXPECT_EQ(seen, want);
}

TEST_F(WindowTest, listPickedByUser_modelFollowsAndClickIsRouted) {
  int clicks = 0;
  session.events.On("Combo2", UiEvent::Click, [&clicks](int) { ++clicks; });
  ShowActive();
  auto* combo = As<QComboBox>("Combo2");
  combo->setFocus();
  QTest::keyClick(combo, Qt::Key_Down);
  EXPECT_EQ(session.controls.ComboIndex("Combo2"), combo->currentIndex());
  EXPECT_EQ(clicks, 1);
  // A selection by the program is shown but not routed back as a click.
  session.controls.SetComboIndex("Combo2", 4);
  window->SyncNow();
  EXPECT_EQ(combo->currentText(), "115200");
  EXPECT_EQ(clicks, 1);
}

TEST_F(WindowTest, checkBoxTickedByUser_reportsToTheModel) {
  session.controls.SetEnabled("Picture2", true);
  ShowActive();
  window->SyncNow();
  QTest::mouseClick(W("Check2"), Qt::LeftButton);
  EXPECT_TRUE(session.controls.Checked("Check2"));
  session.controls.SetChecked("Check2", false);
  window->SyncNow();
  EXPECT_FALSE(As<QCheckBox>("Check2")->isChecked());
}

TEST_F(WindowTest, loadAndClose_routedOnce_closeAcceptedAfterHandler) {
  int loads = 0;
  int closes = 0;
  session.events.On("Form1", UiEvent::Load, [&](int) {
    ++loads;
    session.controls.SetText("Text6(1)", "loaded");
  });
  session.events.On("Form1", UiEvent::Close, [&](int) {
    ++closes;
    window->close();  // asked again while the handler runs: ignored
    QCoreApplication::processEvents();
  });
  window->Load();
  EXPECT_EQ(As<QLineEdit>("Text6(1)")->text(), "loaded");
  ShowActive();
  EXPECT_TRUE(window->close());
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(closes, 1);
  EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowTest, messages_recordedWithIconTitleText_crlfShownAsLineBreak) {
  session.Message(MessageIcon::Error, "不能操作", "a；\r\nb；");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(messages[0].text, "a；\r\nb；");
  EXPECT_EQ(QtUiServices::DisplayText("a；\r\nb；"), "a；\nb；");
}

TEST_F(WindowTest, postDelayedFromWorker_runsLaterOnTheUiThread) {
  std::atomic<bool> posted{false};
  std::atomic<bool> ran{false};
  std::atomic<QThread*> ranOn{nullptr};
  std::thread worker([&] {
    services.PostDelayed(10, [&] {
      ranOn = QThread::currentThread();
      ran = true;
    });
    posted = true;
  });
  // The worker is not joined before the call runs: it never waits for the UI thread.
  EXPECT_TRUE(QTest::qWaitFor([&] { return ran.load(); }, 5000));
  EXPECT_TRUE(posted.load());
  worker.join();
  EXPECT_EQ(ranOn.load(), QCoreApplication::instance()->thread());
  EXPECT_TRUE(services.OnUiThread());
}

}  // namespace
}  // namespace dd::test
