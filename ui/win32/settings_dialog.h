// The homing settings dialog, built from the layout table. Its behaviour (load, key
// filter, save) is installed on the router by the motion logic; the main window runs
// its modal loop.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <memory>

#include "ui/win32/form_widgets.h"

namespace dd {

struct Session;

class SettingsDialog {
 public:
  SettingsDialog(Session& session, HWND owner);
  ~SettingsDialog();
  SettingsDialog(const SettingsDialog&) = delete;
  SettingsDialog& operator=(const SettingsDialog&) = delete;

  HWND Handle() const { return hwnd_; }
  FormWidgets& Controls() { return *controls_; }
  void Show();
  // Ends the dialog (the form's close handler runs once).
  void Finish();
  bool Finished() const { return finished_; }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  Session& session_;
  HWND owner_;
  HWND hwnd_ = nullptr;
  std::unique_ptr<FormWidgets> controls_;
  bool finished_ = false;
};

}  // namespace dd
