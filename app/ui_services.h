// What logic needs from the window system besides control state: modal messages,
// event processing, delayed calls on the UI thread, dialogs and ending the program.
// The Qt window implements it; tests use a headless implementation (tests/support).
#pragma once

#include <functional>
#include <string>

#include "app/control.h"

namespace dd {

enum class MessageIcon { None, Error, Information };

class UiServices {
 public:
  virtual ~UiServices() = default;
  // Modal message box with an OK button. UI thread only. Lines are joined by "\r\n".
  virtual void ShowMessage(MessageIcon icon, const std::string& title, const std::string& text) = 0;
  // Handles pending window events once. UI thread only.
  virtual void ProcessEvents() = 0;
  // Runs `fn` on the UI thread from the event loop, `ms` milliseconds from now (a
  // one-shot window timer). Any thread; never waits for the UI thread.
  virtual void PostDelayed(int ms, std::function<void()> fn) = 0;
  // Shows a dialog (Control::SettingsDialog) modally; returns when it is closed. UI
  // thread only.
  virtual void RunDialog(Control dialog) = 0;
  // Closes a dialog that RunDialog shows. UI thread only.
  virtual void CloseDialog(Control dialog) = 0;
  // Ends the program at once with `exitCode` (no close handler runs).
  virtual void Quit(int exitCode) = 0;
  virtual bool OnUiThread() const = 0;
};

}  // namespace dd
