// The one way the program's window is wired to its behaviour, shared by drivedesk.exe
// and the Windows tests.
#pragma once

#include "ui/win32/parameter_file_menu.h"

namespace dd {

struct Session;
class MainWindow;
class Win32UiServices;

// Hands the window to the services, installs every subsystem's handlers, the view
// switch and the file menu (with `dialogs`, or the Windows ones when empty), and runs
// the window's load (defaults, port discovery).
void LoadProgram(Session& session, Win32UiServices& services, MainWindow& window,
                 ParameterFileDialogs dialogs = {});

}  // namespace dd
