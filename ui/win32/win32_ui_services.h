// The window services for the Win32 program: message boxes through MessageBoxW, event
// processing, delayed calls on the UI thread, the settings dialog and ending the
// program. Message presentation and ending are replaceable, so tests record instead.
#pragma once

#include <functional>
#include <string>

#include "app/ui_services.h"
#include "ui/win32/ui_thread_queue.h"

namespace dd {

class MainWindow;

class Win32UiServices : public UiServices {
 public:
  using Presenter = std::function<void(MessageIcon icon, const std::string& title, const std::string& text)>;
  using Quitter = std::function<void(int exitCode)>;

  // Create on the UI thread.
  Win32UiServices();
  ~Win32UiServices() override;

  void SetPresenter(Presenter presenter) { presenter_ = std::move(presenter); }
  void SetQuitter(Quitter quitter) { quitter_ = std::move(quitter); }
  void SetMainWindow(MainWindow* window) { window_ = window; }

  void ShowMessage(MessageIcon icon, const std::string& title, const std::string& text) override;
  void ProcessEvents() override;
  void PostDelayed(int ms, std::function<void()> fn) override;
  void RunDialog(Control dialog) override;
  void CloseDialog(Control dialog) override;
  void Quit(int exitCode) override;
  bool OnUiThread() const override;

  // The program's modal message box; `owner` may be nullptr.
  static void ShowMessageBox(HWND owner, MessageIcon icon, const std::string& title, const std::string& text);

 private:
  UiThreadQueue delayed_;
  DWORD uiThread_;
  Presenter presenter_;
  Quitter quitter_;
  MainWindow* window_ = nullptr;
};

}  // namespace dd
