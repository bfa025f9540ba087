// The Win32 window "实时曲线": the polled quantities against time, drawn with GDI from
// the session's sample history.
#pragma once

#include <windows.h>

namespace dd {

struct Session;

class CurvesWindow {
 public:
  // The one curves window of the program: created on first use, raised afterwards.
  static void ShowFor(HWND mainWindow, Session& session);
  // The open window, or null.
  static HWND Current();
};

}  // namespace dd
