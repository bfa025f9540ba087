// The text fields show no context menu (no paste or undo around the key filters): their
// window procedure is replaced by one that drops WM_CONTEXTMENU.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace dd {

void SuppressContextMenu(HWND field);

}  // namespace dd
