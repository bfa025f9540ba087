#include "ui/qt/ui_thread_queue.h"

#include <QTimer>

namespace dd {

UiThreadQueue::UiThreadQueue(QObject* parent) : QObject(parent) {
  connect(this, &UiThreadQueue::Posted, this, &UiThreadQueue::Drain, Qt::QueuedConnection);
}

void UiThreadQueue::Post(int delayMs, std::function<void()> fn) {
  bool first = false;
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    first = pending_.empty();
    pending_.emplace_back(delayMs, std::move(fn));
  }
  if (first) emit Posted();
}

void UiThreadQueue::Drain() {
  std::vector<std::pair<int, std::function<void()>>> due;
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    due.swap(pending_);
  }
  for (auto& [ms, fn] : due) QTimer::singleShot(ms < 0 ? 0 : ms, this, std::move(fn));
}

}  // namespace dd
