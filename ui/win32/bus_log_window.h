// The Win32 window "通信日志": every frame on the bus, decoded (ui/bus_log_view.h), in a
// virtual list view. The window keeps only an index of its rows; their texts are read
// from the bus log's ring when the list view paints them, so nothing is copied.
// Filters, pause, clear, save and counters as in the Qt window.
#pragma once

#include <windows.h>

namespace dd {

struct Session;

class BusLogWindow {
 public:
  // Messages a test (or another program) drives the window with, beside its controls'.
  // WM_APP + 1: writes the shown records to the wide path in lParam; returns 1 on success.
  static constexpr UINT kSaveShownMessage = WM_APP + 1;
  // WM_APP + 2: takes what the log holds now, as the half-second timer does.
  static constexpr UINT kTakeNewMessage = WM_APP + 2;

  // The one log window of the program: created on first use, raised afterwards.
  static void ShowFor(HWND mainWindow, Session& session);
  // The open window, or null.
  static HWND Current();
};

}  // namespace dd
