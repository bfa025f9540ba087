// The Win32 window "实时曲线": the polled quantities against time, drawn with GDI from
// the window-free view of the session's sample history (ui/curve_view.h): check boxes
// per curve, "归一化", "时间跨度", "暂停"/"继续", "复位", a dragged span zooms in (right
// click zooms out), shaded motion bands, "导出 CSV" of the visible span.
#pragma once

#include <windows.h>

namespace dd {

struct Session;

class CurvesWindow {
 public:
  // Messages a test (or another program) drives the window with, beside its controls'.
  // WM_APP + 1: writes the visible span as CSV to the wide path in lParam; 1 on success.
  static constexpr UINT kExportCsvMessage = WM_APP + 1;

  // The one curves window of the program: created on first use, raised afterwards.
  static void ShowFor(HWND mainWindow, Session& session);
  // The open window, or null.
  static HWND Current();
};

}  // namespace dd
