#include "ui/win32/settings_dialog.h"

#include "app/session.h"
#include "ui/win32/wide_text.h"
#include "ui/window_layout.h"

namespace dd {
namespace {

constexpr wchar_t kClass[] = L"DriveDeskSettings";
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

}  // namespace

SettingsDialog::SettingsDialog(Session& session, HWND owner) : session_(session), owner_(owner) {
  static const ATOM registered = [] {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClass;
    return ::RegisterClassW(&wc);
  }();
  (void)registered;
  const FormDef& form = SettingsFormDef();
  hwnd_ = ::CreateWindowExW(kExStyle, kClass, Wide(form.title).c_str(), kStyle, 0, 0, 100, 100, owner, nullptr,
                            ::GetModuleHandleW(nullptr), nullptr);
  ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  const int dpi = static_cast<int>(::GetDpiForWindow(owner));
  controls_ = std::make_unique<FormWidgets>(session_, form, hwnd_, dpi);
  RECT r = {0, 0, controls_->Pixels(form.client.width), controls_->Pixels(form.client.height)};
  ::AdjustWindowRectExForDpi(&r, kStyle, FALSE, kExStyle, static_cast<UINT>(dpi));
  // Centred over the main window.
  RECT main;
  ::GetWindowRect(owner, &main);
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  ::SetWindowPos(hwnd_, nullptr, (main.left + main.right - width) / 2, (main.top + main.bottom - height) / 2,
                 width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

SettingsDialog::~SettingsDialog() {
  controls_.reset();
  ::DestroyWindow(hwnd_);
}

void SettingsDialog::Show() {
  ::ShowWindow(hwnd_, SW_SHOW);
  ::SetActiveWindow(hwnd_);
}

void SettingsDialog::Finish() {
  if (finished_) return;
  finished_ = true;
  session_.events.Dispatch(Control::SettingsDialog, UiEvent::Close);
  ::EnableWindow(owner_, TRUE);  // before hiding, so the focus goes back to the main window
  ::ShowWindow(hwnd_, SW_HIDE);
}

LRESULT CALLBACK SettingsDialog::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<SettingsDialog*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  LRESULT result = 0;
  if (self->controls_ && self->controls_->OnContainerMessage(msg, wParam, lParam, result)) return result;
  if (msg == WM_CLOSE) {
    self->Finish();
    return 0;
  }
  // The dialog has no cancel button: Escape (IDCANCEL from the dialog keys) does not close it.
  if (msg == WM_COMMAND && lParam == 0 && (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK)) return 0;
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace dd
