#include "ui/win32/control_mirror.h"

#include <algorithm>

#include "app/control_model.h"
#include "ui/win32/form_widgets.h"
#include "ui/win32/ui_thread_queue.h"

namespace dd {
namespace {

constexpr UINT kBatchPending = WM_APP + 11;
constexpr UINT_PTR kFrameTimer = 1;

}  // namespace

ControlMirror::ControlMirror(ControlModel& model) : model_(model), link_(std::make_shared<Link>()) {
  hwnd_ = CreateMessageWindow(L"DriveDeskMirror", Proc, this);
  link_->target = hwnd_;
  model_.SetObserver([link = link_] {
    const std::lock_guard<std::mutex> hold(link->mutex);
    if (link->target != nullptr) ::PostMessageW(link->target, kBatchPending, 0, 0);
  });
  // Whatever was pending before the forms existed is shown by their first full apply;
  // taking it ends that batch so the next change notifies again.
  model_.TakeChanges();
}

ControlMirror::~ControlMirror() {
  {
    const std::lock_guard<std::mutex> hold(link_->mutex);
    link_->target = nullptr;
  }
  model_.SetObserver(nullptr);
  ::DestroyWindow(hwnd_);
}

void ControlMirror::Attach(FormWidgets* form) {
  if (std::find(forms_.begin(), forms_.end(), form) == forms_.end()) forms_.push_back(form);
}

void ControlMirror::Detach(FormWidgets* form) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
}

void ControlMirror::OnBatchPending() {
  const ULONGLONG since = ::GetTickCount64() - lastSync_;
  if (since >= kFrameMs) {
    Sync();
  } else if (!framePending_) {
    framePending_ = true;
    ::SetTimer(hwnd_, kFrameTimer, static_cast<UINT>(kFrameMs - since), nullptr);
  }
}

void ControlMirror::Sync() {
  if (framePending_) ::KillTimer(hwnd_, kFrameTimer);
  framePending_ = false;
  lastSync_ = ::GetTickCount64();
  const auto changes = model_.TakeChanges();
  if (changes.empty()) return;
  ++batches_;
  for (const auto& [id, state] : changes) {
    for (FormWidgets* form : forms_) form->Apply(id, state);
  }
}

LRESULT CALLBACK ControlMirror::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<ControlMirror*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self != nullptr && msg == kBatchPending) {
    self->OnBatchPending();
    return 0;
  }
  if (self != nullptr && msg == WM_TIMER) {
    self->Sync();
    return 0;
  }
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace dd
