#include "ui/win32/main_window.h"

#include "app/session.h"
#include "app/version.h"
#include "ui/win32/bus_log_window.h"
#include "ui/win32/curves_window.h"
#include "ui/win32/settings_dialog.h"
#include "ui/win32/wide_text.h"
#include "ui/win32/win32_ui_services.h"
#include "ui/window_layout.h"

namespace dd {
namespace {

constexpr wchar_t kClass[] = L"DriveDeskMainWindow";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;
constexpr UINT kFirstCommand = 1000;

}  // namespace

MainWindow::MainWindow(Session& session)
    : session_(session), mirror_(std::make_unique<ControlMirror>(session.controls)) {
  static const ATOM registered = [] {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = Proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hIcon = ::LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));
    if (wc.hIcon == nullptr) wc.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClass;
    return ::RegisterClassExW(&wc);
  }();
  (void)registered;
  const FormDef& form = MainFormDef();
  HMENU bar = ::CreateMenu();
  fileMenu_ = ::CreatePopupMenu();
  toolsMenu_ = ::CreatePopupMenu();
  helpMenu_ = ::CreatePopupMenu();
  ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(fileMenu_), L"文件(&F)");
  ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(toolsMenu_), L"工具(&T)");
  ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(helpMenu_), L"帮助(&H)");
  hwnd_ = ::CreateWindowExW(kExStyle, kClass, Wide(form.title).c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            100, 100, nullptr, bar, ::GetModuleHandleW(nullptr), this);
  Session* s = &session_;
  const HWND owner = hwnd_;
  // In the Qt window's order.
  AddMenuItem(toolsMenu_, "实时曲线(&C)", [s, owner] { CurvesWindow::ShowFor(owner, *s); });
  AddMenuItem(toolsMenu_, "通信日志(&L)", [s, owner] { BusLogWindow::ShowFor(owner, *s); });
  AddMenuItem(helpMenu_, "关于 DriveDesk(&A)", [this] { ShowAbout(); });
  controls_ = std::make_unique<FormWidgets>(session_, form, hwnd_, static_cast<int>(::GetDpiForWindow(hwnd_)));
  mirror_->Attach(controls_.get());
  SetOuterSize(form.outerWidth, form.outerHeight);
}

MainWindow::~MainWindow() {
  mirror_->Detach(controls_.get());
  if (hwnd_ != nullptr) {
    quitOnDestroy_ = false;
    ::DestroyWindow(hwnd_);
  }
}

HWND MainWindow::ActiveWindow() const {
  if (dialog_ != nullptr) return dialog_->Handle();
  return modal_ != nullptr ? modal_ : hwnd_;
}

UINT MainWindow::AddMenuItem(HMENU menu, const std::string& text, std::function<void()> action) {
  const UINT id = kFirstCommand + static_cast<UINT>(menuActions_.size());
  menuActions_.push_back(std::move(action));
  ::AppendMenuW(menu, MF_STRING, id, Wide(text).c_str());
  return id;
}

void MainWindow::Load() {
  session_.events.Dispatch(Control::MainWindow, UiEvent::Load);
  mirror_->Sync();
}

void MainWindow::Show() {
  ::ShowWindow(hwnd_, SW_SHOW);
  ::UpdateWindow(hwnd_);
  ::SetForegroundWindow(hwnd_);
}

void MainWindow::SetOuterSize(int widthTwips, int heightTwips) {
  // Window frames differ between systems and themes; the designed frame is taken off
  // instead, so each view always gets the same client area.
  outerWidth_ = widthTwips;
  outerHeight_ = heightTwips;
  const FormDef& form = MainFormDef();
  RECT r = {0, 0, controls_->Pixels(widthTwips - (form.outerWidth - form.client.width)),
            controls_->Pixels(heightTwips - (form.outerHeight - form.client.height))};
  ::AdjustWindowRectExForDpi(&r, kStyle, TRUE, kExStyle, static_cast<UINT>(controls_->Dpi()));
  ::SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::ShowAbout() {
  Win32UiServices::ShowMessageBox(hwnd_, MessageIcon::Information, "关于 DriveDesk",
                                  std::string("DriveDesk ") + kVersion + "\r\n构建：" + kBuildCommit + "（" +
                                      kBuildDate + "）\r\n\r\n闭环步进驱动器调试工具");
}

void MainWindow::RunSettingsDialog() {
  if (dialog_ != nullptr) return;
  // The dialog keeps nothing between openings.
  ResetControls(session_.controls, SettingsFormDef());
  SettingsDialog dialog(session_, hwnd_);
  dialog_ = &dialog;
  mirror_->Attach(&dialog.Controls());
  mirror_->Sync();
  dialog.Controls().ApplyAll();
  session_.events.Dispatch(Control::SettingsDialog, UiEvent::Load);
  mirror_->Sync();
  if (!dialog.Finished()) {
    ::EnableWindow(hwnd_, FALSE);
    dialog.Show();
    MSG msg;
    while (!dialog.Finished()) {
      const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
      if (got <= 0) {
        if (got == 0) ::PostQuitMessage(static_cast<int>(msg.wParam));  // for the outer loop
        dialog.Finish();
        break;
      }
      FormWidgets::Deliver(msg);
    }
    ::EnableWindow(hwnd_, TRUE);
    ::SetActiveWindow(hwnd_);
  }
  mirror_->Detach(&dialog.Controls());
  dialog_ = nullptr;
}

void MainWindow::CloseSettingsDialog() {
  if (dialog_ != nullptr) dialog_->Finish();
}

void MainWindow::OnClose() {
  // A second request while the handler still waits for the workers is dropped; the
  // first one closes the window when the handler returns.
  if (closing_) return;
  if (closeAction_) {
    closeAction_();
    return;
  }
  closing_ = true;
  session_.events.Dispatch(Control::MainWindow, UiEvent::Close);
  mirror_->Sync();
  closing_ = false;
  // The tool windows go with the program's window.
  for (HWND tool : {BusLogWindow::Current(), CurvesWindow::Current()}) {
    if (tool != nullptr) ::DestroyWindow(tool);
  }
  ::DestroyWindow(hwnd_);
}

LRESULT CALLBACK MainWindow::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr || self->hwnd_ == nullptr) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  return self->OnMessage(msg, wParam, lParam);
}

LRESULT MainWindow::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (controls_ && controls_->OnContainerMessage(msg, wParam, lParam, result)) return result;
  switch (msg) {
    case WM_COMMAND:
      if (lParam == 0 && HIWORD(wParam) == 0 && LOWORD(wParam) >= kFirstCommand &&
          LOWORD(wParam) < kFirstCommand + menuActions_.size()) {
        // A copy: the action may add items.
        const std::function<void()> action = menuActions_[LOWORD(wParam) - kFirstCommand];
        action();
        return 0;
      }
      break;
    case WM_INITMENUPOPUP:
      for (const auto& hook : menuHooks_) hook(reinterpret_cast<HMENU>(wParam));
      return 0;
    case WM_DPICHANGED: {
      // Fonts and places at the new DPI; the view keeps its size in twips.
      controls_->SetDpi(LOWORD(wParam));
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      SetOuterSize(outerWidth_, outerHeight_);
      ::InvalidateRect(hwnd_, nullptr, TRUE);
      return 0;
    }
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_DESTROY:
      hwnd_ = nullptr;
      if (quitOnDestroy_) ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd_, msg, wParam, lParam);
}

}  // namespace dd
