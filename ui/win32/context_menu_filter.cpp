#include "ui/win32/context_menu_filter.h"

#include <commctrl.h>

namespace dd {
namespace {

LRESULT CALLBACK NoContextMenu(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  if (msg == WM_CONTEXTMENU) return 0;
  return ::DefSubclassProc(hwnd, msg, wParam, lParam);
}

}  // namespace

void SuppressContextMenu(HWND field) { ::SetWindowSubclass(field, NoContextMenu, 1, 0); }

}  // namespace dd
