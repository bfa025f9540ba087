#include "ui/win32/bus_log_window.h"

#include <commctrl.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "app/bus_log_format.h"
#include "app/session.h"
#include "ui/bus_log_view.h"
#include "ui/file_texts.h"
#include "ui/win32/tool_window_kit.h"
#include "ui/win32/wide_text.h"

namespace dd {
namespace {

enum : int { kList = 100, kHidePolling, kFailuresOnly, kPause, kClear, kSave, kCounters };
constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 500;           // two refreshes a second read as live
constexpr uint64_t kHistoryOnOpen = 2'000;  // the last records already in the log
// Records read per hold of the log's lock: a worker's push never waits long for the window.
constexpr std::size_t kSlice = 2'048;

// A shown row: the record it comes from and which of its rows (AppendLogRows) it is. The
// texts are made again when painted, so the window holds no copy of the log.
struct ShownRow {
  uint64_t sequence = 0;
  uint8_t line = 0;
};

struct LogWindow {
  Session& session;
  BusLog& log = ProgramBusLog();
  HWND window = nullptr, list = nullptr, counters = nullptr;
  uint64_t cursor = 0;  // next record to take
  uint64_t first = 0;   // first record shown since opening or clearing
  std::deque<ShownRow> rows;
  BusLogFilter filter;
  BusLogTally counts;
  bool paused = false;
  BusRecord record;  // the last one read for painting, and its rows
  std::vector<BusLogRow> recordRows;
  bool haveRecord = false;
  std::wstring cell;
  std::string countersText;
};

LogWindow* current = nullptr;

bool Checked(HWND window, int id) { return IsDlgButtonChecked(window, id) == BST_CHECKED; }

const BusRecord* RecordOf(LogWindow& w, uint64_t sequence) {
  if (!(w.haveRecord && w.record.sequence == sequence)) {
    w.haveRecord = w.log.Get(sequence, w.record);
    w.recordRows.clear();
    if (w.haveRecord) AppendLogRows(w.record, w.recordRows);
  }
  return w.haveRecord && w.record.sequence == sequence ? &w.record : nullptr;
}

const BusLogRow* RowOf(LogWindow& w, ShownRow row) {
  if (RecordOf(w, row.sequence) == nullptr || row.line >= w.recordRows.size()) return nullptr;
  return &w.recordRows[row.line];
}

// Appends the shown rows of `record` if the filters pass it.
void AddRows(const LogWindow& w, const BusRecord& r, std::vector<ShownRow>& rows,
             std::vector<BusLogRow>& scratch) {
  if (!w.filter.Passes(r)) return;
  scratch.clear();
  AppendLogRows(r, scratch);
  for (std::size_t i = 0; i < scratch.size(); ++i) rows.push_back({r.sequence, static_cast<uint8_t>(i)});
}

void ShowRowCount(LogWindow& w, bool following) {
  ListView_SetItemCountEx(w.list, static_cast<int>(w.rows.size()), LVSICF_NOSCROLL);
  InvalidateRect(w.list, nullptr, FALSE);
  if (following && !w.rows.empty()) ListView_EnsureVisible(w.list, static_cast<int>(w.rows.size()) - 1, FALSE);
}

void UpdateCounters(LogWindow& w) {
  const std::string text = w.counts.Text(std::chrono::steady_clock::now(), w.paused);
  if (text != w.countersText) SetWindowTextW(w.counters, Wide(w.countersText = text).c_str());
}

// Rows whose records the ring has overwritten are dropped from the top.
void DropOverwritten(LogWindow& w) {
  const uint64_t oldest = w.log.Oldest();
  while (!w.rows.empty() && w.rows.front().sequence < oldest) w.rows.pop_front();
}

void TakeNew(LogWindow& w) {
  if (!w.paused) {
    const int count = ListView_GetItemCount(w.list);
    const bool following = count == 0 || ListView_GetTopIndex(w.list) + ListView_GetCountPerPage(w.list) >= count;
    std::vector<ShownRow> added;
    std::vector<BusLogRow> scratch;
    const uint64_t end = w.log.End();
    while (w.cursor < end) {
      w.counts.Lost(w.log.VisitFrom(w.cursor, kSlice, [&](const BusRecord& r) {
        w.counts.Take(r);
        AddRows(w, r, added, scratch);
      }));
    }
    w.rows.insert(w.rows.end(), added.begin(), added.end());
    DropOverwritten(w);
    if (!added.empty() || static_cast<std::size_t>(count) != w.rows.size()) ShowRowCount(w, following);
  }
  UpdateCounters(w);
}

// After a filter changed: the rows of every record taken, anew.
void Rebuild(LogWindow& w) {
  w.filter = {Checked(w.window, kHidePolling), Checked(w.window, kFailuresOnly)};
  std::vector<ShownRow> rows;
  std::vector<BusLogRow> scratch;
  for (uint64_t from = w.first; from < w.cursor;) {
    w.log.VisitFrom(from, std::min<uint64_t>(kSlice, w.cursor - from),
                    [&](const BusRecord& r) { AddRows(w, r, rows, scratch); });
  }
  w.rows.assign(rows.begin(), rows.end());
  ShowRowCount(w, true);
}

bool SaveShown(LogWindow& w, const std::wstring& path) {
  std::string text;
  uint64_t last = UINT64_MAX;
  for (const ShownRow& row : w.rows) {
    if (row.sequence == last) continue;
    last = row.sequence;
    if (const BusRecord* r = RecordOf(w, row.sequence)) AppendLogLines(*r, text);
  }
  return WriteWholeFile(path, text);
}

void SaveWithDialog(LogWindow& w) {
  const std::wstring path =
      AskSaveFile(w.window, "保存通信日志", TimedFileName("通信日志", "txt", std::chrono::system_clock::now()),
                  "文本文件 (*.txt)|*.txt|所有文件 (*)|*.*");
  if (!path.empty() && !SaveShown(w, path)) {
    w.session.Message(MessageIcon::Error, "通信日志", "无法写入文件“" + Utf8(path) + "”");
  }
}

void FillCell(LogWindow& w, NMLVDISPINFOW& info) {
  LVITEMW& item = info.item;
  if (!(item.mask & LVIF_TEXT) || item.cchTextMax <= 0) return;
  item.pszText[0] = L'\0';
  if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= w.rows.size()) return;
  const BusLogRow* row = RowOf(w, w.rows[static_cast<std::size_t>(item.iItem)]);
  if (row == nullptr || item.iSubItem < 0 || item.iSubItem >= kBusLogColumnCount) return;
  w.cell = Wide(row->Cell(item.iSubItem));
  lstrcpynW(item.pszText, w.cell.c_str(), item.cchTextMax);
}

LRESULT PaintRow(LogWindow& w, NMLVCUSTOMDRAW& draw) {
  if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  if (draw.nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
  const auto index = static_cast<std::size_t>(draw.nmcd.dwItemSpec);
  if (index < w.rows.size()) {
    if (const BusLogRow* row = RowOf(w, w.rows[index]); row != nullptr && row->failed) {
      draw.clrTextBk = RGB(255, 210, 210);
      return CDRF_NEWFONT;
    }
  }
  return CDRF_DODEFAULT;
}

void Layout(LogWindow& w, int width, int height) {
  const int m = Scaled(6), row = Scaled(24), button = Scaled(76);
  MoveWindow(GetDlgItem(w.window, kHidePolling), m, m, Scaled(130), row, TRUE);
  MoveWindow(GetDlgItem(w.window, kFailuresOnly), m + Scaled(136), m, Scaled(130), row, TRUE);
  int x = width - m;
  for (const int id : {kSave, kClear, kPause}) {
    x -= button;
    MoveWindow(GetDlgItem(w.window, id), x, m, button - Scaled(4), row, TRUE);
  }
  const int top = m * 2 + row;
  MoveWindow(w.list, m, top, width - 2 * m, std::max(0, height - top - row - 2 * m), TRUE);
  MoveWindow(w.counters, m, height - m - row + Scaled(4), width - 2 * m, row - Scaled(4), TRUE);
}

void Build(LogWindow& w) {
  AddControl(w.window, L"Button", "隐藏轮询读取", BS_AUTOCHECKBOX | WS_TABSTOP, kHidePolling);
  AddControl(w.window, L"Button", "只显示失败", BS_AUTOCHECKBOX | WS_TABSTOP, kFailuresOnly);
  AddControl(w.window, L"Button", "暂停", BS_PUSHBUTTON | WS_TABSTOP, kPause);
  AddControl(w.window, L"Button", "清除", BS_PUSHBUTTON | WS_TABSTOP, kClear);
  AddControl(w.window, L"Button", "保存…", BS_PUSHBUTTON | WS_TABSTOP, kSave);
  w.counters = AddControl(w.window, L"Static", "", SS_LEFT | SS_NOPREFIX, kCounters);
  w.list = AddControl(w.window, WC_LISTVIEWW, "",
                      LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP, kList);
  ListView_SetExtendedListViewStyle(w.list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  static constexpr int kWidths[kBusLogColumnCount] = {190, 40, 330, 320};
  for (int c = 0; c < kBusLogColumnCount; ++c) {
    std::wstring title = Wide(kBusLogColumnTitles[c]);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = title.data();
    column.cx = Scaled(kWidths[c]);
    ListView_InsertColumn(w.list, c, &column);
  }
}

void OnCommand(LogWindow& w, int id) {
  switch (id) {
    case kHidePolling:
    case kFailuresOnly: Rebuild(w); break;
    case kPause:
      w.paused = !w.paused;
      SetDlgItemTextW(w.window, kPause, w.paused ? L"继续" : L"暂停");
      TakeNew(w);
      break;
    case kClear:
      w.first = w.cursor;
      w.rows.clear();
      w.counts.Clear();
      ShowRowCount(w, false);
      UpdateCounters(w);
      break;
    case kSave: SaveWithDialog(w); break;
    default: break;
  }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* w = reinterpret_cast<LogWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    w = static_cast<LogWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    w->window = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(w));
  }
  if (w == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_CREATE:
      Build(*w);
      SetTimer(window, kRefreshTimer, kRefreshMs, nullptr);
      return 0;
    case WM_SIZE: Layout(*w, LOWORD(lParam), HIWORD(lParam)); return 0;
    case WM_TIMER:
    case BusLogWindow::kTakeNewMessage: TakeNew(*w); return 0;
    case WM_COMMAND: OnCommand(*w, LOWORD(wParam)); return 0;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (header->idFrom != kList) break;
      if (header->code == LVN_GETDISPINFOW) FillCell(*w, *reinterpret_cast<NMLVDISPINFOW*>(lParam));
      if (header->code == NM_CUSTOMDRAW) return PaintRow(*w, *reinterpret_cast<NMLVCUSTOMDRAW*>(lParam));
      return 0;
    }
    case BusLogWindow::kSaveShownMessage:
      return SaveShown(*w, reinterpret_cast<const wchar_t*>(lParam)) ? 1 : 0;
    case WM_DESTROY:
      KillTimer(window, kRefreshTimer);
      if (current == w) current = nullptr;
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      delete w;
      return DefWindowProcW(window, message, wParam, lParam);
    default: break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

void BusLogWindow::ShowFor(HWND mainWindow, Session& session) {
  if (current == nullptr) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    auto* w = new LogWindow{session};
    const uint64_t end = w->log.End();
    w->cursor = w->first = end > kHistoryOnOpen ? end - kHistoryOnOpen : 0;
    // Owned by the main window: above it, and closed with it.
    if (!CreateWindowExW(0, ToolWindowClass(L"DriveDeskBusLog", WindowProc), L"通信日志", WS_OVERLAPPEDWINDOW,
                         CW_USEDEFAULT, CW_USEDEFAULT, Scaled(900), Scaled(520), mainWindow, nullptr,
                         GetModuleHandleW(nullptr), w)) {
      delete w;
      return;
    }
    current = w;
    ShowWindow(w->window, SW_SHOWNORMAL);
    TakeNew(*w);
    ShowRowCount(*w, true);  // opens at the newest rows
  }
  ShowWindow(current->window, SW_SHOWNORMAL);
  SetForegroundWindow(current->window);
}

HWND BusLogWindow::Current() { return current != nullptr ? current->window : nullptr; }

}  // namespace dd
