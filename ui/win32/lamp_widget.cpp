#include "ui/win32/lamp_widget.h"

#include "app/control_model.h"
#include "ui/window_layout.h"

namespace dd {
namespace {

constexpr wchar_t kClass[] = L"DriveDeskLamp";
constexpr LONG_PTR kRound = 1;

LRESULT CALLBACK LampProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(hwnd, &ps);
    RECT box;
    ::GetClientRect(hwnd, &box);
    ::FillRect(dc, &box, ::GetSysColorBrush(COLOR_BTNFACE));
    HBRUSH fill = ::CreateSolidBrush(ToColorRef(LampColor(hwnd)));
    HGDIOBJ oldBrush = ::SelectObject(dc, fill);
    HGDIOBJ oldPen = ::SelectObject(dc, ::GetStockObject(BLACK_PEN));
    if (::GetWindowLongPtrW(hwnd, 0) == kRound) {
      ::Ellipse(dc, box.left, box.top, box.right, box.bottom);
    } else {
      ::Rectangle(dc, box.left, box.top, box.right, box.bottom);
    }
    ::SelectObject(dc, oldPen);
    ::SelectObject(dc, oldBrush);
    ::DeleteObject(fill);
    ::EndPaint(hwnd, &ps);
    return 0;
  }
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace

COLORREF ToColorRef(uint32_t color) {
  switch (color) {
    case kButtonFace:
      return ::GetSysColor(COLOR_BTNFACE);
    case kWindowBackground:
      return ::GetSysColor(COLOR_WINDOW);
    case kWindowText:
      return ::GetSysColor(COLOR_WINDOWTEXT);
    default:
      return RGB((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF);
  }
}

HWND CreateLamp(HWND parent, bool round, int id) {
  static const ATOM registered = [] {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = LampProc;
    wc.cbWndExtra = 2 * sizeof(LONG_PTR);  // shape, colour
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kClass;
    return ::RegisterClassW(&wc);
  }();
  (void)registered;
  HWND lamp = ::CreateWindowExW(0, kClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 1, 1, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                ::GetModuleHandleW(nullptr), nullptr);
  ::SetWindowLongPtrW(lamp, 0, round ? kRound : 0);
  ::SetWindowLongPtrW(lamp, sizeof(LONG_PTR), static_cast<LONG_PTR>(kButtonFace));
  return lamp;
}

void SetLampColor(HWND lamp, uint32_t color) {
  if (LampColor(lamp) == color) return;
  ::SetWindowLongPtrW(lamp, sizeof(LONG_PTR), static_cast<LONG_PTR>(color));
  ::InvalidateRect(lamp, nullptr, FALSE);
}

uint32_t LampColor(HWND lamp) {
  return static_cast<uint32_t>(::GetWindowLongPtrW(lamp, sizeof(LONG_PTR)));
}

}  // namespace dd
