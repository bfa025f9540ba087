// A main window on a fresh session, with messages recorded and the end of the
// program replaced, for widget tests.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/session.h"
#include "ui/main_window.h"
#include "ui/qt_ui_services.h"
#include "ui/view_switch.h"
#include "ui/window_layout.h"

namespace dd::test {

struct ShownMessage {
  MessageIcon icon;
  std::string title;
  std::string text;
};

class WindowTest : public ::testing::Test {
 protected:
  WindowTest() : session(services) {
    services.SetPresenter([this](MessageIcon icon, const std::string& title,
                                 const std::string& text) {
      messages.push_back({icon, title, text});
      if (onMessage) onMessage();
    });
    services.SetQuitter([this](int code) { quitCode = code; });
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
  T* As(Control name) const {
    return qobject_cast<T*>(W(name));
  }
  void ShowActive() {
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }
  // Runs queued events and shows what is pending at once (the window would show it with
  // its next refresh, within a frame).
  void Settle() {
    QCoreApplication::processEvents();
    window->SyncNow();
  }

  QtUiServices services;
  Session session;
  std::unique_ptr<MainWindow> window;
  std::vector<ShownMessage> messages;
  std::function<void()> onMessage;
  std::optional<int> quitCode;
};

}  // namespace dd::test
