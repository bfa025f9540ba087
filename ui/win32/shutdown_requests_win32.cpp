// Requests to end the program that Windows sends: logoff and shutdown to every
// top-level window (WM_QUERYENDSESSION, WM_ENDSESSION), and, when the program was
// started from a console, that console's Ctrl-C, Ctrl-Break and close events.
#include <memory>

#include "app/console_end_events.h"
#include "ui/shutdown_requests.h"
#include <windows.h>

namespace dd {
namespace {

constexpr UINT kConsoleRequest = WM_APP + 20;

}  // namespace

struct ShutdownRequests::Platform {
  std::function<void()> onRequest;
  // A hidden top-level window: message-only windows get no session messages.
  HWND hwnd = nullptr;
  std::unique_ptr<ConsoleEndEvents> console;

  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Platform*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    switch (msg) {
      case WM_QUERYENDSESSION:
        return TRUE;
      case WM_ENDSESSION:
        // Windows ends the process when this returns: the orderly end runs here.
        if (wParam != FALSE) self->onRequest();
        return 0;
      case kConsoleRequest:
        self->onRequest();
        return 0;
      default:
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
  }
};

ShutdownRequests::ShutdownRequests(std::function<void()> onRequest) : platform_(std::make_unique<Platform>()) {
  platform_->onRequest = std::move(onRequest);
  WNDCLASSW wc = {};
  wc.lpfnWndProc = Platform::Proc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"DriveDeskSessionEnd";
  ::RegisterClassW(&wc);
  platform_->hwnd = ::CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"DriveDesk", WS_POPUP, 0, 0, 0, 0,
                                      nullptr, nullptr, wc.hInstance, nullptr);
  ::SetWindowLongPtrW(platform_->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(platform_.get()));
  // Started from a console (a GUI program has none of its own): its end events too.
  if (::GetConsoleWindow() != nullptr || ::AttachConsole(ATTACH_PARENT_PROCESS)) {
    HWND target = platform_->hwnd;
    platform_->console =
        std::make_unique<ConsoleEndEvents>([target] { ::PostMessageW(target, kConsoleRequest, 0, 0); });
  }
}

ShutdownRequests::~ShutdownRequests() {
  platform_->console.reset();
  ::DestroyWindow(platform_->hwnd);
}

}  // namespace dd
