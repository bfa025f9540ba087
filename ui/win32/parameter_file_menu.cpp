#include "ui/win32/parameter_file_menu.h"

#include <commctrl.h>
#include <memory>

#include "app/number_text.h"
#include "app/session.h"
#include "params/parameter_file_actions.h"
#include "ui/win32/form_widgets.h"
#include "ui/win32/main_window.h"
#include "ui/win32/ui_fonts.h"
#include "ui/win32/tool_window_kit.h"
#include "ui/win32/wide_text.h"

namespace dd {
namespace {

constexpr const char* kFileFilter = "参数文件 (*.txt)|*.txt|所有文件 (*)|*.*";

bool ConfirmRestore(HWND owner, const std::string& text, bool offerNumber, bool& withNumber) {
  withNumber = false;
  // The task dialog (Windows Vista and later, with the program's common controls 6).
  using TaskDialogFn = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);
  const auto taskDialog = reinterpret_cast<TaskDialogFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"comctl32.dll"), "TaskDialogIndirect")));
  const std::wstring title = Wide(kRestoreTitle);
  const std::wstring body = Wide(text);
  if (taskDialog == nullptr) {
    return ::MessageBoxW(owner, body.c_str(), title.c_str(), MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
  }
  const TASKDIALOG_BUTTON buttons[] = {{IDOK, L"写入并保存"}, {IDCANCEL, L"取消"}};
  TASKDIALOGCONFIG config = {};
  config.cbSize = sizeof(config);
  config.hwndParent = owner;
  config.pszWindowTitle = title.c_str();
  config.pszMainIcon = TD_INFORMATION_ICON;
  config.pszContent = body.c_str();
  config.cButtons = 2;
  config.pButtons = buttons;
  config.nDefaultButton = IDCANCEL;
  if (offerNumber) config.pszVerificationText = L"同时写入驱动器号（总线地址；复制到另一轴时不要勾选）";
  int pressed = IDCANCEL;
  BOOL checked = FALSE;
  if (FAILED(taskDialog(&config, &pressed, nullptr, &checked))) return false;
  withNumber = checked != FALSE;
  return pressed == IDOK;
}

// The comparison table: a report list, differing rows in bold; "恢复文件中的参数…" ends
// it with true, "关闭" and the close box with false.
class ComparisonTable {
 public:
  static bool Run(HWND owner, const std::vector<ComparisonRow>& rows) {
    ComparisonTable table(rows);
    return table.Show(owner);
  }

 private:
  explicit ComparisonTable(const std::vector<ComparisonRow>& rows) : rows_(rows) {}

  bool Show(HWND owner) {
    WNDCLASSW wc = {};
    if (!::GetClassInfoW(::GetModuleHandleW(nullptr), L"DriveDeskComparison", &wc)) {
      wc.lpfnWndProc = Proc;
      wc.hInstance = ::GetModuleHandleW(nullptr);
      wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
      wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
      wc.lpszClassName = L"DriveDeskComparison";
      ::RegisterClassW(&wc);
    }
    const int dpi = owner != nullptr ? static_cast<int>(::GetDpiForWindow(owner)) : 96;
    const auto px = [dpi](int at96) { return ::MulDiv(at96, dpi, 96); };
    RECT r = {0, 0, px(560), px(440)};
    ::AdjustWindowRectEx(&r, WS_POPUP | WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_DLGMODALFRAME);
    hwnd_ = ::CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, L"DriveDeskComparison",
                              Wide(kCompareTitle).c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT,
                              CW_USEDEFAULT, r.right - r.left, r.bottom - r.top, owner, nullptr,
                              ::GetModuleHandleW(nullptr), nullptr);
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    HFONT font = WindowFont(dpi);
    int differing = 0;
    for (const ComparisonRow& row : rows_) differing += row.differs ? 1 : 0;
    const std::string summary = differing == 0 ? "驱动器中的参数与文件一致。"
                                               : "有 " + std::to_string(differing) + " 项参数与文件不同（粗体）。";
    const auto child = [&](const wchar_t* cls, const std::string& text, DWORD style, int x, int y, int w, int h,
                           int id) {
      HWND c = ::CreateWindowExW(0, cls, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, px(x), px(y), px(w),
                                 px(h), hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 ::GetModuleHandleW(nullptr), nullptr);
      ::SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
      return c;
    };
    child(L"STATIC", summary, SS_LEFT, 10, 10, 540, 20, 0);
    HWND list = child(WC_LISTVIEWW, "", WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_NOSORTHEADER, 10, 36, 540, 350, 1);
    ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    const char* headers[] = {"参数", "驱动器", "文件"};
    const int widths[] = {200, 160, 160};
    AddListColumns(list, headers, widths, dpi);
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
      const ComparisonRow& row = rows_[static_cast<std::size_t>(i)];
      const std::string cells[3] = {row.parameter, row.drive, row.file};
      SetListRow(list, i, cells);
    }
    LOGFONTW bold = {};
    ::GetObjectW(font, sizeof(bold), &bold);
    bold.lfWeight = FW_BOLD;
    bold_ = ::CreateFontIndirectW(&bold);
    HWND restore = child(L"BUTTON", "恢复文件中的参数…", WS_TABSTOP | BS_PUSHBUTTON, 250, 400, 190, 28, IDOK);
    child(L"BUTTON", "关闭", WS_TABSTOP | BS_DEFPUSHBUTTON, 450, 400, 100, 28, IDCANCEL);
    ::EnableWindow(restore, differing > 0);
    if (owner != nullptr) ::EnableWindow(owner, FALSE);
    ::ShowWindow(hwnd_, SW_SHOW);
    MSG msg;
    while (!done_) {
      const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
      if (got <= 0) {
        if (got == 0) ::PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
      if (!::IsDialogMessageW(hwnd_, &msg)) FormWidgets::Deliver(msg);
    }
    if (owner != nullptr) ::EnableWindow(owner, TRUE);
    ::DestroyWindow(hwnd_);
    ::DeleteObject(bold_);
    return restore_;
  }

  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ComparisonTable*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    switch (msg) {
      case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
          self->restore_ = LOWORD(wParam) == IDOK && ::IsWindowEnabled(::GetDlgItem(hwnd, IDOK));
          self->done_ = true;
        }
        return 0;
      case WM_CLOSE:
        self->done_ = true;
        return 0;
      case WM_NOTIFY: {
        auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(lParam);
        if (draw->nmcd.hdr.code != NM_CUSTOMDRAW) break;
        if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
        if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
          const auto row = static_cast<std::size_t>(draw->nmcd.dwItemSpec);
          if (row < self->rows_.size() && self->rows_[row].differs) {
            ::SelectObject(draw->nmcd.hdc, self->bold_);
            return CDRF_NEWFONT;
          }
        }
        return CDRF_DODEFAULT;
      }
      default:
        break;
    }
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  }

  const std::vector<ComparisonRow>& rows_;
  HWND hwnd_ = nullptr;
  HFONT bold_ = nullptr;
  bool done_ = false;
  bool restore_ = false;
};

}  // namespace

ParameterFileDialogs StandardParameterFileDialogs(HWND owner) {
  ParameterFileDialogs d;
  d.saveFile = [owner](const std::string& title, const std::string& proposedName) {
    return Utf8(AskSaveFile(owner, title, proposedName, kFileFilter));
  };
  d.openFile = [owner](const std::string& title) { return Utf8(AskOpenFile(owner, title, kFileFilter)); };
  d.confirmRestore = [owner](const std::string& text, bool offerNumber, bool& withNumber) {
    return ConfirmRestore(owner, text, offerNumber, withNumber);
  };
  d.showComparison = [owner](const std::vector<ComparisonRow>& rows) { return ComparisonTable::Run(owner, rows); };
  return d;
}

void InstallParameterFileMenu(Session& session, MainWindow& window, ParameterFileDialogs dialogs) {
  auto menu = std::make_shared<ParameterFileFlow>(session, std::move(dialogs));
  HMENU file = window.FileMenu();
  const UINT ids[] = {window.AddMenuItem(file, "备份参数(&B)…", [menu] { menu->Backup(); }),
                      window.AddMenuItem(file, "恢复参数(&R)…", [menu] { menu->Restore(); }),
                      window.AddMenuItem(file, "与文件比较(&C)…", [menu] { menu->Compare(); })};
  Session* s = &session;
  window.OnMenuOpen([s, file, ids](HMENU opened) {
    if (opened != file) return;
    const UINT state = ParameterFileActionsAvailable(*s) ? MF_ENABLED : MF_GRAYED;
    for (const UINT id : ids) ::EnableMenuItem(file, id, MF_BYCOMMAND | state);
  });
}

}  // namespace dd
