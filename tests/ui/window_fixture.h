// A main window on a fresh session, with messages recorded and the end of the program
// replaced, for widget tests.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "app/session.h"
#include "tests/support/headless_ui.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_ui_services.h"
#include "ui/qt/view_switch.h"
#include "ui/window_layout.h"

namespace dd::test {

class WindowTest : public ::testing::Test {
 protected:
  WindowTest() : session(services) {
    services.SetPresenter([this](MessageIcon icon, const std::string& title, const std::string& text) {
      messages.push_back({icon, title, text});
      if (onMessage) onMessage();
    });
    services.SetQuitter([](int) {});
    DefineControls(session.controls);
    window = std::make_unique<MainWindow>(session);
    services.SetMainWindow(window.get());
    InstallViewSwitch(session, *window);
  }
  ~WindowTest() override { services.SetMainWindow(nullptr); }

  QWidget* W(Control name) const {
    QWidget* w = window->Widget(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  template <typename T>
  T* As(Control name) const { return qobject_cast<T*>(W(name)); }
  void ShowActive() {
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }

  QtUiServices services;
  Session session;
  std::unique_ptr<MainWindow> window;
  std::vector<RecordedMessage> messages;
  std::function<void()> onMessage;
};

}  // namespace dd::test
