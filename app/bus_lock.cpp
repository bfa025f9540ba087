#include "app/bus_lock.h"

#include <chrono>

namespace dd {

bool BusLock::Acquire(int timeoutMs) {
  if (!open_) return false;
  const auto self = std::this_thread::get_id();
  std::unique_lock lock(mutex_);
  if (depth_ > 0 && owner_ == self) {
    ++depth_;
    return true;
  }
  const auto free = [this] { return depth_ == 0; };
  if (timeoutMs < 0) {
    freed_.wait(lock, free);
  } else if (!freed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), free)) {
    return false;
  }
  owner_ = self;
  depth_ = 1;
  return true;
}

void BusLock::Release() {
  {
    std::lock_guard lock(mutex_);
    if (depth_ == 0 || owner_ != std::this_thread::get_id()) return;  // not ours: ignore
    if (--depth_ > 0) return;
    owner_ = {};
  }
  freed_.notify_one();
}

}  // namespace dd
