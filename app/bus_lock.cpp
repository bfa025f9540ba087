#include "app/bus_lock.h"

#include <chrono>

namespace dd {

bool BusLock::Acquire(int timeoutMs) {
  if (!open_) return false;
  if (timeoutMs < 0) {
    mutex_.lock();
    return true;
  }
  return mutex_.try_lock_for(std::chrono::milliseconds(timeoutMs));
}

void BusLock::Release() { mutex_.unlock(); }

}  // namespace dd
