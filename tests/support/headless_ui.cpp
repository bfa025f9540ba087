#include "tests/support/headless_ui.h"

#include <algorithm>

namespace dd::test {

HeadlessUi::HeadlessUi() : uiThread_(std::this_thread::get_id()) {}

void HeadlessUi::ShowMessage(MessageIcon icon, const std::string& title, const std::string& text) {
  std::lock_guard lock(mutex_);
  messages_.push_back({icon, title, text});
}

void HeadlessUi::ProcessEvents() {
  std::vector<Pending> due;
  {
    std::lock_guard lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    const auto late = std::stable_partition(pending_.begin(), pending_.end(), [&](const Pending& p) { return p.due <= now; });
    due.assign(std::make_move_iterator(pending_.begin()), std::make_move_iterator(late));
    pending_.erase(pending_.begin(), late);
  }
  for (auto& p : due) p.fn();
}

void HeadlessUi::PostDelayed(int ms, std::function<void()> fn) {
  std::lock_guard lock(mutex_);
  pending_.push_back({std::chrono::steady_clock::now() + std::chrono::milliseconds(ms), std::move(fn)});
}

void HeadlessUi::RunDialog(Control dialog) {
  if (onDialog) onDialog(dialog);
}

void HeadlessUi::CloseDialog(Control dialog) { closedDialogs.push_back(dialog); }

void HeadlessUi::Quit(int exitCode) {
  std::lock_guard lock(mutex_);
  quitCode_ = exitCode;
}

bool HeadlessUi::OnUiThread() const { return std::this_thread::get_id() == uiThread_; }

bool HeadlessUi::RunUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return done();
    ProcessEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void HeadlessUi::Pump(int ms) {
  RunUntil([] { return false; }, ms);
}

std::vector<RecordedMessage> HeadlessUi::Messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

void HeadlessUi::ClearMessages() {
  std::lock_guard lock(mutex_);
  messages_.clear();
}

std::optional<int> HeadlessUi::QuitCode() const {
  std::lock_guard lock(mutex_);
  return quitCode_;
}

}  // namespace dd::test
