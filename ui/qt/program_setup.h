// The one way the program's window is wired to its behaviour, shared by drivedesk and
// the programs that measure or picture it.
#pragma once

namespace dd {

struct Session;
class MainWindow;
class QtUiServices;

// Hands the window to the services, installs every subsystem's handlers and the view
// switch, and runs the window's load (defaults, port discovery).
void LoadProgram(Session& session, QtUiServices& services, MainWindow& window);

}  // namespace dd
