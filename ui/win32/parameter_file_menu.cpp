#include "ui/win32/parameter_file_menu.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <cstdio>
#include <memory>

#include "app/number_text.h"
#include "app/session.h"
#include "params/parameter_file_actions.h"
#include "ui/win32/form_widgets.h"
#include "ui/win32/main_window.h"
#include "ui/win32/ui_fonts.h"
#include "ui/win32/wide_text.h"

namespace dd {
namespace {

constexpr wchar_t kFileFilter[] = L"参数文件 (*.txt)\0*.txt\0所有文件 (*)\0*.*\0";

std::string Problems(const std::string& path, const std::vector<FileProblem>& problems) {
  std::string text;
  for (const FileProblem& p : problems) {
    if (!text.empty()) text += "\r\n";
    text += "    " + DescribeProblem(path, p, /*chinese=*/true) + "；";
  }
  return text + "\r\n    驱动器未写入任何参数；";
}

std::string Today() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  char text[16];
  std::snprintf(text, sizeof(text), "%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
  return text;
}

std::string DocumentsFolder() {
  PWSTR path = nullptr;
  std::string folder;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &path))) folder = Utf8(path);
  ::CoTaskMemFree(path);
  return folder;
}

std::string FileDialog(HWND owner, const std::string& title, const std::string& proposed, bool save) {
  std::wstring file(MAX_PATH * 4, L'\0');
  const std::wstring wideTitle = Wide(title);
  const std::wstring start = Wide(proposed);
  std::wstring folder = Wide(DocumentsFolder());
  if (save) {
    const std::size_t slash = start.find_last_of(L"\\/");
    folder = slash == std::wstring::npos ? folder : start.substr(0, slash);
    const std::wstring name = slash == std::wstring::npos ? start : start.substr(slash + 1);
    file.replace(0, name.size(), name);
  }
  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = kFileFilter;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrInitialDir = folder.c_str();
  dialog.lpstrTitle = wideTitle.c_str();
  dialog.lpstrDefExt = L"txt";
  dialog.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR |
                 (save ? OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
  const BOOL chosen = save ? ::GetSaveFileNameW(&dialog) : ::GetOpenFileNameW(&dialog);
  return chosen ? Utf8(file.c_str()) : std::string();
}

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
    for (int c = 0; c < 3; ++c) {
      const std::wstring header = Wide(headers[c]);
      LVCOLUMNW column = {};
      column.mask = LVCF_TEXT | LVCF_WIDTH;
      column.cx = px(widths[c]);
      column.pszText = const_cast<wchar_t*>(header.c_str());
      ::SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
    }
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
      const ComparisonRow& row = rows_[static_cast<std::size_t>(i)];
      const std::string cells[3] = {row.parameter, row.drive, row.file};
      for (int c = 0; c < 3; ++c) {
        const std::wstring cell = Wide(cells[c]);
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.iSubItem = c;
        item.pszText = const_cast<wchar_t*>(cell.c_str());
        ::SendMessageW(list, c == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, static_cast<WPARAM>(i),
                       reinterpret_cast<LPARAM>(&item));
      }
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
  d.saveFile = [owner](const std::string& title, const std::string& proposed) {
    return FileDialog(owner, title, proposed, true);
  };
  d.openFile = [owner](const std::string& title) { return FileDialog(owner, title, {}, false); };
  d.confirmRestore = [owner](const std::string& text, bool offerNumber, bool& withNumber) {
    return ConfirmRestore(owner, text, offerNumber, withNumber);
  };
  d.showComparison = [owner](const std::vector<ComparisonRow>& rows) { return ComparisonTable::Run(owner, rows); };
  return d;
}

ParameterFileMenu::ParameterFileMenu(Session& session, ParameterFileDialogs dialogs)
    : session_(session), dialogs_(std::move(dialogs)) {}

void InstallParameterFileMenu(Session& session, MainWindow& window, ParameterFileDialogs dialogs) {
  auto menu = std::make_shared<ParameterFileMenu>(session, std::move(dialogs));
  HMENU file = window.FileMenu();
  const UINT ids[] = {window.AddMenuItem(file, "备份参数…", [menu] { menu->Backup(); }),
                      window.AddMenuItem(file, "恢复参数…", [menu] { menu->Restore(); }),
                      window.AddMenuItem(file, "与文件比较…", [menu] { menu->Compare(); })};
  Session* s = &session;
  window.OnMenuOpen([s, file, ids](HMENU opened) {
    if (opened != file) return;
    const UINT state = ParameterFileActionsAvailable(*s) ? MF_ENABLED : MF_GRAYED;
    for (const UINT id : ids) ::EnableMenuItem(file, id, MF_BYCOMMAND | state);
  });
}

void ParameterFileMenu::Backup() {
  if (!ParameterFileActionsAvailable(session_)) return;
  ParameterMask all;
  all.fill(true);
  all[IndexOf(ParameterWrite::SensorConfig)] = session_.state.SensorLevelSupported.load();
  ReadDriveInBackground(session_, all, [this](std::optional<DriveParameters> read, const std::string& failure) {
    if (!read) {
      session_.Message(MessageIcon::Error, kBackupTitle, "    " + failure);
      return;
    }
    const std::string date = Today();
    const std::string folder = DocumentsFolder();
    const std::string proposed = (folder.empty() ? "" : folder + "\\") + "驱动器参数_" +
                                 PlainDecimal(*read->facts.model) + "_" + date + ".txt";
    const std::string path = dialogs_.saveFile("备份参数（读取驱动器中的值，未保存的修改不在其中）", proposed);
    if (path.empty()) return;
    const std::string text =
        BackupText(*read, {"DriveDesk 参数备份，" + date, "数值为驱动器寄存器中的值；注释为对应的读数。"});
    const std::string error = WriteFileAtomically(path, text);
    if (!error.empty()) {
      session_.Message(MessageIcon::Error, kBackupTitle, "    无法写入文件：" + path + "；\r\n    " + error);
      return;
    }
    session_.Message(MessageIcon::Information, kBackupTitle,
                     "    驱动器参数已备份到：" + path + "；\r\n    未保存的修改不在备份中；");
  });
}

bool ParameterFileMenu::LoadChosen(const std::string& title, std::string& path, ParameterFile& file) {
  path = dialogs_.openFile(title);
  if (path.empty()) return false;
  std::string text;
  std::vector<FileProblem> problems;
  if (const auto problem = ReadParameterText(path, text)) {
    problems.push_back(*problem);
  } else {
    problems = ParseParameterFile(text, file);
  }
  if (problems.empty()) return true;
  session_.Message(MessageIcon::Error, title, Problems(path, problems));
  return false;
}

void ParameterFileMenu::Compare() {
  if (!ParameterFileActionsAvailable(session_)) return;
  WithFileAndDrive(kCompareTitle, [this](const std::string& path, const ParameterFile& file,
                                         const DriveParameters& read) {
    std::vector<ComparisonRow> rows;
    const FieldBounds& b = read.facts.bounds;
    const auto rpm = RpmPerSpeedUnit(b.speedCoefficient, b.pulsesPerRev);
    for (const ParameterInfo& p : ParameterTable()) {
      const auto& mine = file.values[IndexOf(p.write)];
      const auto& theirs = read.values[IndexOf(p.write)];
      if (!mine || !theirs) continue;
      std::string caption(p.caption);
      if (caption.size() >= 3 && caption.compare(caption.size() - 3, 3, "：") == 0) caption.resize(caption.size() - 3);
      rows.push_back({caption, PersonReading(p.write, *theirs, rpm, b.pulsesPerRev),
                      PersonReading(p.write, *mine, rpm, b.pulsesPerRev), *mine != *theirs});
    }
    if (dialogs_.showComparison(rows)) ConfirmAndRestore(path, file, read);
  });
}

void ParameterFileMenu::Restore() {
  if (!ParameterFileActionsAvailable(session_) || RefuseWhileAxisBusy(session_)) return;
  WithFileAndDrive(kRestoreTitle, [this](const std::string& path, const ParameterFile& file,
                                         const DriveParameters& read) { ConfirmAndRestore(path, file, read); });
}

void ParameterFileMenu::WithFileAndDrive(const char* title, FileAndDrive then) {
  std::string path;
  auto file = std::make_shared<ParameterFile>();
  if (!LoadChosen(title, path, *file)) return;
  ReadDriveInBackground(session_, RestoredParameters(*file, true),
                        [this, title, path, file, then](std::optional<DriveParameters> read, const std::string& failure) {
                          if (!read) {
                            session_.Message(MessageIcon::Error, title, "    " + failure);
                            return;
                          }
                          then(path, *file, *read);
                        });
}

void ParameterFileMenu::ConfirmAndRestore(const std::string& path, const ParameterFile& file,
                                          const DriveParameters& drive) {
  const auto problems = CheckAgainstDrive(file, drive.facts, /*ignoreModel=*/false);
  if (!problems.empty()) {
    session_.Message(MessageIcon::Error, kRestoreTitle, Problems(path, problems));
    return;
  }
  std::string changes;
  bool numberDiffers = false;
  for (const Difference& d : Differences(drive.values, file, RestoredParameters(file, true))) {
    if (d.parameter == ParameterWrite::DriveNumber) {
      numberDiffers = true;
      continue;
    }
    changes += "\r\n    " + ChangeLine(d, drive.facts) + "；";
  }
  if (changes.empty() && !numberDiffers) {
    session_.Message(MessageIcon::Information, kRestoreTitle, "    驱动器中的参数与文件一致，无需恢复；");
    return;
  }
  const std::string text = "    将从 " + path + " 写入以下参数并保存到驱动器：" +
                           (changes.empty() ? "\r\n    （仅驱动器号不同）" : changes);
  bool withNumber = false;
  if (!dialogs_.confirmRestore(text, numberDiffers, withNumber)) return;
  // The dialogs took time: the axis or the connection may have changed meanwhile.
  if (!ParameterFileActionsAvailable(session_) || RefuseWhileAxisBusy(session_)) return;
  Session* s = &session_;
  const DriveFacts facts = drive.facts;
  const bool started = RestoreLikeSave(session_, file, withNumber, [s, facts](const RestoreOutcome& o) {
    s->Message(o.AllTook() ? MessageIcon::Information : MessageIcon::Error, kRestoreTitle,
               RestoreOutcomeText(o, facts));
  });
  if (!started) {
    session_.Message(MessageIcon::Error, kRestoreTitle, "    恢复未完成：通信已关闭或正在保存参数；");
  }
}

}  // namespace dd
