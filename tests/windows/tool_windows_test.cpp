// The Win32 tool windows under Wine on a virtual display, driven by their own messages:
// the log's virtual list against the bus log's ring (filters, pause, clear, save, a
// ring that wraps) and the curves' CSV export of the visible span (time span, pause,
// a dragged zoom, reset).
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "app/bus_log.h"
#include "app/session.h"
#include "link/drive_registers.h"
#include "link/modbus_rtu.h"
#include "status/sample_history.h"
#include "tests/support/headless_ui.h"
#include "ui/win32/bus_log_window.h"
#include "ui/win32/curves_window.h"
#include "ui/win32/wide_text.h"

namespace dd::test {
namespace {

void Pump(int ms) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(5);
  } while (GetTickCount() < end);
}

HWND Child(HWND window, const wchar_t* cls, const char* text) {
  return FindWindowExW(window, nullptr, cls, text ? Wide(text).c_str() : nullptr);
}

void Click(HWND window, const char* text) {
  HWND button = Child(window, L"Button", text);
  ASSERT_NE(button, nullptr) << text;
  SendMessageW(button, BM_CLICK, 0, 0);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int Lines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

// A polling read answered, or (failed) a write of the run speed that timed out: the
// value 512 unless `high` (its high byte) makes failures differ, so none is collapsed.
void PushTransaction(bool failed, uint8_t high = 2) {
  const auto read = BuildReadRequest(1, 4, reg::kErrorCode, 1);
  const uint8_t value[2] = {high, 0};
  const auto write = BuildWriteOneRequest(1, reg::kRunSpeed, value);
  uint8_t reply[7] = {1, 4, 2, 0, 0};
  AppendCrc(reply, 5);
  TransactionRecord r;
  r.sent = r.received = std::chrono::steady_clock::now();
  r.sentWall = std::chrono::system_clock::now();
  r.request = failed ? std::span<const uint8_t>(write) : std::span<const uint8_t>(read);
  if (!failed) r.reply = reply;
  r.result = failed ? kShortReply : kOk;
  r.operation = failed ? "WriteRunSpeed" : "ReadErrorCode";
  ProgramBusLog().Push(r);
}

std::wstring Cell(HWND list, int row, int column) {
  wchar_t text[256] = L"";
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = 256;
  SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return text;
}

TEST(WindowsToolWindows, logListsTheRingsRecordsWithoutCopying_curvesExportTheVisibleSpan) {
  HeadlessUi ui;
  Session session(ui);
  session.samples = std::make_shared<SampleHistory>();
  ProgramBusLog().SetUnits({1, 51200});  // values in rpm, as in the form

  // The log: 2,500 transactions, every tenth a failed write, and a notice; the window
  // opens with the last 2,000 records: 1,999 of two rows each and the notice.
  for (int i = 0; i < 2500; ++i) PushTransaction(i % 10 == 9);
  ProgramBusLog().PushNotice("适配器的延迟计时器为 16 ms");
  BusLogWindow::ShowFor(nullptr, session);
  HWND log = BusLogWindow::Current();
  ASSERT_NE(log, nullptr);
  HWND list = Child(log, WC_LISTVIEWW, nullptr);
  Pump(100);
  EXPECT_EQ(ListView_GetItemCount(list), 3999);
  EXPECT_EQ(Cell(list, 0, 1), L"TX");
  EXPECT_EQ(Utf8(Cell(list, 3998, 3)), "提示：适配器的延迟计时器为 16 ms");
  EXPECT_EQ(Utf8(Cell(list, 3997, 3)), "失败：超时");
  EXPECT_EQ(Utf8(Cell(list, 3996, 3)), "写 运行速度 = 600 rpm（原始值 512）");
  EXPECT_EQ(Cell(list, 3996, 0).size(), 23u) << Utf8(Cell(list, 3996, 0));  // "2026-12-07 12:01:02.149"

  // Filters rebuild from the ring: 200 failed writes of two rows, and the notice.
  Click(log, "只显示失败");
  EXPECT_EQ(ListView_GetItemCount(list), 401);
  Click(log, "只显示失败");
  Click(log, "隐藏轮询读取");
  EXPECT_EQ(ListView_GetItemCount(list), 401);
  const std::string saved = "tool_windows_log.txt";
  EXPECT_EQ(SendMessageW(log, BusLogWindow::kSaveShownMessage, 0, reinterpret_cast<LPARAM>(Wide(saved).c_str())), 1);
  const std::string text = ReadFile(saved);
  EXPECT_EQ(Lines(text), 401);
  EXPECT_NE(text.find(" TX 01 06 00 40 02 00 "), std::string::npos);
  EXPECT_NE(text.find(" -- Notice 适配器"), std::string::npos);
  EXPECT_EQ(text.find(" 01 04 "), std::string::npos);
  EXPECT_EQ(SendMessageW(log, BusLogWindow::kSaveShownMessage, 0, reinterpret_cast<LPARAM>(L"no\\such\\dir\\x.txt")), 0);

  // Paused, new records wait; continuing shows them, the same failure again as one row.
  Click(log, "暂停");
  for (int i = 0; i < 3; ++i) PushTransaction(true, 3);
  SendMessageW(log, BusLogWindow::kTakeNewMessage, 0, 0);
  EXPECT_EQ(ListView_GetItemCount(list), 401);
  Click(log, "继续");
  EXPECT_EQ(ListView_GetItemCount(list), 404);
  EXPECT_EQ(Utf8(Cell(list, 403, 3)), "同一失败又发生 2 次（失败：超时）");
  Click(log, "清除");
  EXPECT_EQ(ListView_GetItemCount(list), 0);
  wchar_t counters[256];
  GetWindowTextW(Child(log, L"Static", nullptr), counters, 256);
  EXPECT_EQ(Utf8(counters), "请求 0    重试 0    失败 0    轮询 0 次/秒");

  // A whole ring later, the rows are those of the records the ring still holds.
  PushTransaction(true);
  SendMessageW(log, BusLogWindow::kTakeNewMessage, 0, 0);
  for (std::size_t i = 0; i < ProgramBusLog().Capacity() + 10; ++i) PushTransaction(true, static_cast<uint8_t>(i));
  SendMessageW(log, BusLogWindow::kTakeNewMessage, 0, 0);
  EXPECT_EQ(ListView_GetItemCount(list), 2 * static_cast<int>(ProgramBusLog().Capacity()));
  GetWindowTextW(Child(log, L"Static", nullptr), counters, 256);
  EXPECT_NE(Utf8(counters).find("失败 超时 50001    轮询 0 次/秒    未能显示 10"), std::string::npos)
      << Utf8(counters);
  DestroyWindow(log);
  EXPECT_EQ(BusLogWindow::Current(), nullptr);

  // The curves: ten samples a second for the last 700 s.
  SampleHistory& history = *session.samples;
  const double now = history.Now();
  for (int i = -7000; i <= 0; ++i) {
    Sample s;
    s.time = now + i / 10.0;
    for (double& v : s.values) v = i;
    history.Add(s);
  }
  CurvesWindow::ShowFor(nullptr, session);
  HWND curves = CurvesWindow::Current();
  ASSERT_NE(curves, nullptr);
  Pump(300);
  const std::string csv = "tool_windows_curves.csv";
  auto exported = [&] {
    EXPECT_EQ(SendMessageW(curves, CurvesWindow::kExportCsvMessage, 0, reinterpret_cast<LPARAM>(Wide(csv).c_str())), 1);
    return ReadFile(csv);
  };
  std::string rows = exported();
  EXPECT_EQ(rows.rfind("\xEF\xBB\xBF时刻,时间(s),实时位置,", 0), 0u);
  EXPECT_NEAR(Lines(rows) - 1, 100, 5);  // the last 10 s
  EXPECT_NE(rows.find(",0,0,0,0.000,0.00\r\n"), std::string::npos);
  HWND span = Child(curves, WC_COMBOBOXW, nullptr);
  SendMessageW(span, CB_SETCURSEL, 1, 0);
  SendMessageW(curves, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(span), CBN_SELCHANGE), reinterpret_cast<LPARAM>(span));
  EXPECT_NEAR(Lines(exported()) - 1, 600, 10);  // 1 min

  // Paused, the picture stays while the history fills.
  Click(curves, "暂停");
  Sample later;
  later.time = history.Now();
  history.Add(later);
  Pump(300);
  EXPECT_EQ(exported().find(",,,,"), std::string::npos);
  // A drag over the plot's middle half zooms onto part of the minute.
  HWND plot = Child(curves, L"DriveDeskCurvePlot", nullptr);
  RECT client;
  GetClientRect(plot, &client);
  SendMessageW(plot, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.right / 4, client.bottom / 2));
  SendMessageW(plot, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(client.right * 3 / 4, client.bottom / 2));
  SendMessageW(plot, WM_LBUTTONUP, 0, MAKELPARAM(client.right * 3 / 4, client.bottom / 2));
  const int zoomed = Lines(exported()) - 1;
  EXPECT_TRUE(zoomed > 100 && zoomed < 540) << zoomed;
  EXPECT_NE(Child(curves, L"Button", "继续"), nullptr);
  Click(curves, "复位");
  Pump(300);
  rows = exported();
  EXPECT_NE(rows.find(",,,,"), std::string::npos);  // the new sample, its reads failed
  EXPECT_NE(Child(curves, L"Button", "暂停"), nullptr);
  EXPECT_EQ(SendMessageW(curves, CurvesWindow::kExportCsvMessage, 0, reinterpret_cast<LPARAM>(L"no\\such\\dir\\x.csv")), 0);
  DestroyWindow(curves);
  EXPECT_EQ(CurvesWindow::Current(), nullptr);
  DeleteFileW(Wide(saved).c_str());
  DeleteFileW(Wide(csv).c_str());
  for (const auto& m : ui.Messages()) ADD_FAILURE() << m.title << ": " << m.text;
}

}  // namespace
}  // namespace dd::test
