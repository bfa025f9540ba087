#include "ui/win32/ui_thread_queue.h"

namespace dd {
namespace {

constexpr UINT kPosted = WM_APP + 10;

}  // namespace

HWND CreateMessageWindow(const wchar_t* className, WNDPROC proc, void* self) {
  WNDCLASSW wc = {};
  if (!::GetClassInfoW(::GetModuleHandleW(nullptr), className, &wc)) {
    wc.lpfnWndProc = proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = className;
    ::RegisterClassW(&wc);
  }
  HWND hwnd = ::CreateWindowExW(0, className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                ::GetModuleHandleW(nullptr), nullptr);
  ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  return hwnd;
}

UiThreadQueue::UiThreadQueue() { hwnd_ = CreateMessageWindow(L"DriveDeskQueue", Proc, this); }

UiThreadQueue::~UiThreadQueue() { ::DestroyWindow(hwnd_); }

void UiThreadQueue::Post(int delayMs, std::function<void()> fn) {
  bool first = false;
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    first = pending_.empty();
    pending_.emplace_back(delayMs, std::move(fn));
  }
  if (first) ::PostMessageW(hwnd_, kPosted, 0, 0);
}

void UiThreadQueue::Drain() {
  std::vector<std::pair<int, std::function<void()>>> due;
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    due.swap(pending_);
  }
  for (auto& [ms, fn] : due) {
    const UINT_PTR timer = nextTimer_++;
    timers_.emplace(timer, std::move(fn));
    ::SetTimer(hwnd_, timer, static_cast<UINT>(ms < USER_TIMER_MINIMUM ? USER_TIMER_MINIMUM : ms), nullptr);
  }
}

void UiThreadQueue::Fire(UINT_PTR timer) {
  ::KillTimer(hwnd_, timer);
  auto it = timers_.find(timer);
  if (it == timers_.end()) return;
  std::function<void()> fn = std::move(it->second);
  timers_.erase(it);
  fn();
}

LRESULT CALLBACK UiThreadQueue::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<UiThreadQueue*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self != nullptr && msg == kPosted) {
    self->Drain();
    return 0;
  }
  if (self != nullptr && msg == WM_TIMER) {
    self->Fire(wParam);
    return 0;
  }
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace dd
