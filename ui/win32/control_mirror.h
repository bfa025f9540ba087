// Brings control changes from the model to the controls. The model reports a batch
// from whatever thread changed it; the mirror posts one message to its message-only
// window on the UI thread, which takes the whole batch at once. A worker never waits for
// the UI thread, and the controls are refreshed at most at a screen's rate.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <memory>
#include <mutex>
#include <vector>

namespace dd {

class ControlModel;
class FormWidgets;

class ControlMirror {
 public:
  explicit ControlMirror(ControlModel& model);
  ~ControlMirror();
  ControlMirror(const ControlMirror&) = delete;
  ControlMirror& operator=(const ControlMirror&) = delete;

  void Attach(FormWidgets* form);
  void Detach(FormWidgets* form);
  // Takes the pending batch from the model and applies it (UI thread).
  void Sync();
  int Batches() const { return batches_; }

 private:
  // Shared with the observer, which may run on a worker after the mirror is gone.
  struct Link {
    std::mutex mutex;
    HWND target = nullptr;
  };
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  // A batch that comes sooner than a frame after the last one waits for that frame.
  void OnBatchPending();
  static constexpr ULONGLONG kFrameMs = 16;

  ControlModel& model_;
  std::shared_ptr<Link> link_;
  HWND hwnd_ = nullptr;
  ULONGLONG lastSync_ = 0;
  bool framePending_ = false;
  std::vector<FormWidgets*> forms_;
  int batches_ = 0;
};

}  // namespace dd
