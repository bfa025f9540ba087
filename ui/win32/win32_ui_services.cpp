#include "ui/win32/win32_ui_services.h"

#include "app/exit_steps.h"
#include "ui/win32/form_widgets.h"
#include "ui/win32/main_window.h"
#include "ui/win32/wide_text.h"

namespace dd {

Win32UiServices::Win32UiServices() : uiThread_(::GetCurrentThreadId()) {
  presenter_ = [this](MessageIcon icon, const std::string& title, const std::string& text) {
    HWND owner = window_ != nullptr && ::IsWindowVisible(window_->Handle()) ? window_->ActiveWindow() : nullptr;
    ShowMessageBox(owner, icon, title, text);
  };
  // At once: no close handler, no waiting for workers; the system closes the port.
  quitter_ = [](int exitCode) { EndProcessNow(exitCode); };
}

Win32UiServices::~Win32UiServices() = default;

void Win32UiServices::ShowMessageBox(HWND owner, MessageIcon icon, const std::string& title,
                                     const std::string& text) {
  UINT type = MB_OK;
  if (icon == MessageIcon::Error) type |= MB_ICONERROR;
  if (icon == MessageIcon::Information) type |= MB_ICONINFORMATION;
  ::MessageBoxW(owner, Wide(text).c_str(), Wide(title).c_str(), type);
}

void Win32UiServices::ShowMessage(MessageIcon icon, const std::string& title, const std::string& text) {
  presenter_(icon, title, text);
}

void Win32UiServices::ProcessEvents() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // For the loop that waits for it.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    FormWidgets::Deliver(msg);
  }
}

void Win32UiServices::PostDelayed(int ms, std::function<void()> fn) { delayed_.Post(ms, std::move(fn)); }

void Win32UiServices::RunDialog(Control dialog) {
  if (dialog == Control::SettingsDialog && window_ != nullptr) window_->RunSettingsDialog();
}

void Win32UiServices::CloseDialog(Control dialog) {
  if (dialog == Control::SettingsDialog && window_ != nullptr) window_->CloseSettingsDialog();
}

void Win32UiServices::Quit(int exitCode) { quitter_(exitCode); }

bool Win32UiServices::OnUiThread() const { return ::GetCurrentThreadId() == uiThread_; }

}  // namespace dd
