// The one lock of the program: whoever holds it may use the port.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace dd {

class BusLock {
 public:
  // Waits at most `timeoutMs` (negative: no limit). Recursive: a holder may take it
  // again and must release it as often. Fails at once while the lock is closed.
  bool Acquire(int timeoutMs);
  void Release();
  // Closed at the window's close, or to reproduce a lock that could not be created.
  void Close() { open_ = false; }
  void Open() { open_ = true; }

 private:
  // Built from a plain mutex and a condition variable (not recursive_timed_mutex) so
  // that ThreadSanitizer sees every hand-over of the bus.
  std::mutex mutex_;
  std::condition_variable freed_;
  std::thread::id owner_;
  int depth_ = 0;
  std::atomic<bool> open_{true};
};

// Holds BusLock for a scope if it could be taken in time.
class BusHold {
 public:
  BusHold(BusLock& lock, int timeoutMs) : lock_(lock), held_(lock.Acquire(timeoutMs)) {}
  ~BusHold() {
    if (held_) lock_.Release();
  }
  BusHold(const BusHold&) = delete;
  BusHold& operator=(const BusHold&) = delete;
  explicit operator bool() const { return held_; }

 private:
  BusLock& lock_;
  bool held_;
};

inline constexpr int kBusWaitMs = 3000;
inline constexpr int kNoLimit = -1;

}  // namespace dd
