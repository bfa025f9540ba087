// The Win32 window "通信日志": the frames of the program's bus log, decoded, in a
// virtual list view that reads the rows from the window's own ring of records.
#pragma once

#include <windows.h>

namespace dd {

struct Session;

class BusLogWindow {
 public:
  // The one log window of the program: created on first use, raised afterwards.
  static void ShowFor(HWND mainWindow, Session& session);
  // The open window, or null.
  static HWND Current();
};

}  // namespace dd
