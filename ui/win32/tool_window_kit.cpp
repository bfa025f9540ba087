#include "ui/win32/tool_window_kit.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <cstdio>
#include <vector>

#include "ui/file_texts.h"
#include "ui/win32/wide_text.h"

namespace dd {

const wchar_t* ToolWindowClass(const wchar_t* name, WNDPROC proc) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (GetClassInfoExW(GetModuleHandleW(nullptr), name, &wc)) return name;
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = name;
  RegisterClassExW(&wc);
  return name;
}

HFONT ToolFont() {
  static HFONT font = [] {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    return CreateFontIndirectW(&metrics.lfMessageFont);
  }();
  return font;
}

int Scaled(int pixelsAt96) {
  static const int dpi = [] {
    HDC screen = GetDC(nullptr);
    const int d = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return d > 0 ? d : 96;
  }();
  return MulDiv(pixelsAt96, dpi, 96);
}

HWND AddControl(HWND parent, const wchar_t* windowClass, std::string_view text, DWORD style, int id) {
  HWND control = CreateWindowExW(0, windowClass, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0,
                                 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(ToolFont()), FALSE);
  return control;
}

namespace {

std::wstring StartFolder() {
  const std::wstring last = Wide(LastFolder());
  const DWORD attributes = last.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(last.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return last;
  PWSTR documents = nullptr;
  std::wstring folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &documents))) folder = documents;
  CoTaskMemFree(documents);
  return folder;
}

std::wstring AskFile(HWND owner, std::string_view title, std::string_view fileName, std::string_view filter,
                     bool save) {
  std::wstring filters = Wide(filter) + L"||";
  for (wchar_t& c : filters) c = c == L'|' ? L'\0' : c;
  const std::wstring caption = Wide(title);
  std::vector<wchar_t> path(MAX_PATH * 4, L'\0');
  const std::wstring name = Wide(fileName);
  name.copy(path.data(), std::min(name.size(), path.size() - 1));
  // The extension of the filter's first pattern ("*.txt"), added to a name typed without one.
  const std::size_t star = filters.find(L"*.");
  const std::wstring extension = star == std::wstring::npos ? L"" : filters.substr(star + 2).c_str();
  const std::wstring folder = StartFolder();
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filters.c_str();
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  dialog.lpstrTitle = caption.c_str();
  if (!folder.empty()) dialog.lpstrInitialDir = folder.c_str();
  if (!extension.empty() && extension != L"*") dialog.lpstrDefExt = extension.c_str();
  dialog.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
  if (!(save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog))) return {};
  RememberFolderOf(Utf8(path.data()));
  return path.data();
}

}  // namespace

std::wstring AskSaveFile(HWND owner, std::string_view title, std::string_view fileName,
                         std::string_view filter) {
  return AskFile(owner, title, fileName, filter, true);
}

std::wstring AskOpenFile(HWND owner, std::string_view title, std::string_view filter) {
  return AskFile(owner, title, {}, filter, false);
}

bool WriteWholeFile(const std::wstring& path, std::string_view data) {
  std::FILE* file = _wfopen(path.c_str(), L"wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(data.data(), 1, data.size(), file) == data.size();
  return std::fclose(file) == 0 && written;
}

void AddListColumns(HWND list, std::span<const char* const> titles, std::span<const int> widthsAt96, int dpi) {
  for (std::size_t c = 0; c < titles.size() && c < widthsAt96.size(); ++c) {
    const std::wstring title = Wide(titles[c]);
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = ::MulDiv(widthsAt96[c], dpi, 96);
    column.pszText = const_cast<wchar_t*>(title.c_str());
    ::SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
  }
}

void SetListRow(HWND list, int row, std::span<const std::string> cells) {
  for (std::size_t c = 0; c < cells.size(); ++c) {
    const std::wstring cell = Wide(cells[c]);
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = static_cast<int>(c);
    item.pszText = const_cast<wchar_t*>(cell.c_str());
    ::SendMessageW(list, c == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                   reinterpret_cast<LPARAM>(&item));
  }
}

}  // namespace dd
