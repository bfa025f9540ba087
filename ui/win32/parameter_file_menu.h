// "备份参数…", "恢复参数…" and "与文件比较…" of the window's "文件(F)" menu: the Windows
// file dialogs, the confirmation and the comparison table around the actions of
// ui/parameter_file_flow.h.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "ui/parameter_file_flow.h"

namespace dd {

class MainWindow;

ParameterFileDialogs StandardParameterFileDialogs(HWND owner);

// Adds the three items to the window's file menu; they are enabled only while
// connected and the connection sequence has finished. The menu lives as long as the window.
void InstallParameterFileMenu(Session& session, MainWindow& window, ParameterFileDialogs dialogs);

}  // namespace dd
