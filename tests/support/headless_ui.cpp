#include "tests/support/headless_ui.h"

#include <algorithm>

namespace dd::test {

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

bool HeadlessUi::RunUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return done();
    ProcessEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace dd::test
