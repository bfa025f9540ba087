// A window system without a window: records messages, runs delayed calls from its own
// little event loop, so logic and workers can be driven in tests without widgets.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/ui_services.h"

namespace dd::test {

struct RecordedMessage {
  MessageIcon icon;
  std::string title;
  std::string text;
};

class HeadlessUi : public UiServices {
 public:
  HeadlessUi() : uiThread_(std::this_thread::get_id()) {}  // the constructing thread is the UI thread

  void ShowMessage(MessageIcon icon, const std::string& title, const std::string& text) override;
  void ProcessEvents() override;
  void PostDelayed(int ms, std::function<void()> fn) override;
  void RunDialog(Control dialog) override { if (onDialog) onDialog(dialog); }
  void CloseDialog(Control dialog) override { closedDialogs.push_back(dialog); }
  void Quit(int exitCode) override {
    std::lock_guard lock(mutex_);
    quitCode_ = exitCode;
  }
  bool OnUiThread() const override { return std::this_thread::get_id() == uiThread_; }

  // Runs the event loop until `done` is true or `timeoutMs` passed; returns `done()`.
  bool RunUntil(const std::function<bool()>& done, int timeoutMs);
  // Runs the event loop for about `ms` milliseconds.
  void Pump(int ms) { RunUntil([] { return false; }, ms); }

  std::vector<RecordedMessage> Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  void ClearMessages() {
    std::lock_guard lock(mutex_);
    messages_.clear();
  }
  std::optional<int> QuitCode() const {
    std::lock_guard lock(mutex_);
    return quitCode_;
  }

  // Called by RunDialog while the dialog "is open"; the dialog closes when it returns
  // or when CloseDialog is called from inside it.
  std::function<void(Control dialog)> onDialog;
  std::vector<Control> closedDialogs;

 private:
  struct Pending {
    std::chrono::steady_clock::time_point due;
    std::function<void()> fn;
  };
  std::thread::id uiThread_;
  mutable std::mutex mutex_;
  std::vector<Pending> pending_;
  std::vector<RecordedMessage> messages_;
  std::optional<int> quitCode_;
};

}  // namespace dd::test
