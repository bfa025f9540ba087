// Hands functions to the UI thread from any thread, to run there after a delay. The
// caller never waits; the hand-over goes through a plain mutex-guarded list and a
// queued signal, so nothing a worker built is read without a visible lock.
#pragma once

#include <QObject>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

namespace dd {

class UiThreadQueue : public QObject {
  Q_OBJECT

 public:
  // Create on the UI thread.
  explicit UiThreadQueue(QObject* parent = nullptr);
  // Any thread: runs `fn` on the UI thread about `delayMs` ms from when it gets there.
  void Post(int delayMs, std::function<void()> fn);

 signals:
  void Posted();

 private:
  void Drain();

  std::mutex mutex_;
  std::vector<std::pair<int, std::function<void()>>> pending_;
};

}  // namespace dd
