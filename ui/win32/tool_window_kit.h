// What the Win32 tool windows (log, curves) build themselves from: a window class,
// child controls in the dialog font, sizes at the screen's DPI, the save dialog and
// writing the chosen file.
#pragma once

#include <windows.h>

#include <span>
#include <string>
#include <string_view>

namespace dd {

// Registers a top-level tool window class once; returns its name.
const wchar_t* ToolWindowClass(const wchar_t* name, WNDPROC proc);
// The message-box font of the system (Chinese-capable under a Chinese locale).
HFONT ToolFont();
// Pixels for `pixelsAt96` at the screen's DPI.
int Scaled(int pixelsAt96);
HWND AddControl(HWND parent, const wchar_t* windowClass, std::string_view text, DWORD style, int id);
// The path the user picks in the Windows save or open dialog, empty when cancelled. Both
// start in the folder last used (else the documents folder) and remember the chosen one.
// `filter` is "描述|*.ext|..." with '|' between the parts; a save proposes `fileName`.
std::wstring AskSaveFile(HWND owner, std::string_view title, std::string_view fileName,
                         std::string_view filter);
std::wstring AskOpenFile(HWND owner, std::string_view title, std::string_view filter);
// A report list's column titles, `widthsAt96` scaled to `dpi`; then one row's cells (the
// row is added when it is the list's next one).
void AddListColumns(HWND list, std::span<const char* const> titles, std::span<const int> widthsAt96, int dpi);
void SetListRow(HWND list, int row, std::span<const std::string> cells);
// Writes `data` to `path` as it is; false if it cannot be written completely.
bool WriteWholeFile(const std::wstring& path, std::string_view data);

}  // namespace dd
