// Hands functions to the UI thread from any thread, to run there after a delay: a
// mutex-guarded list and a WM_APP message to a message-only window, which starts a
// one-shot window timer per function. The caller never waits.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <functional>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace dd {

class UiThreadQueue {
 public:
  // Create on the UI thread.
  UiThreadQueue();
  ~UiThreadQueue();
  UiThreadQueue(const UiThreadQueue&) = delete;
  UiThreadQueue& operator=(const UiThreadQueue&) = delete;

  // Any thread: runs `fn` on the UI thread about `delayMs` ms from when it gets there.
  void Post(int delayMs, std::function<void()> fn);

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void Drain();
  void Fire(UINT_PTR timer);

  HWND hwnd_ = nullptr;
  std::mutex mutex_;
  std::vector<std::pair<int, std::function<void()>>> pending_;
  std::map<UINT_PTR, std::function<void()>> timers_;  // UI thread only
  UINT_PTR nextTimer_ = 1;
};

// A message-only window of the UI thread with `proc` and `self` in its user data.
HWND CreateMessageWindow(const wchar_t* className, WNDPROC proc, void* self);

}  // namespace dd
