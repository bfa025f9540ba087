// "工具" → "驱动器地址…" and "搜索驱动器…": the address input and the search dialog, as
// windows built in code. Both only mirror the shared code: app/drive_address.h takes and
// remembers the address, ui/drive_search_view.h runs the search and says what the
// dialog shows; a 100 ms timer takes its snapshots, so the window never waits for it.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "ui/drive_search_view.h"

namespace dd {

struct Session;
class MainWindow;

// Adds both items to the window's "工具" menu; usable while communication is closed.
void InstallDriveAddressMenu(Session& session, MainWindow& window);
// Asks for the address in a modal window (class kAddressDialogClass: an edit field,
// "确定" = IDOK, "取消" = IDCANCEL) and takes it, or shows why not.
void AskDriveAddress(Session& session, HWND owner);
inline constexpr wchar_t kAddressDialogClass[] = L"DriveDeskDriveAddress";

class DriveSearchDialog {
 public:
  // The child windows' ids (tests drive the dialog by them).
  enum ChildId : int {
    kPortChoice = 10, kBaudChoice, kRangeField, kProgressBar, kStatusLine, kFoundList,
    kStartButton = 20, kCancelButton, kUseButton,  // "关闭" is IDCANCEL
  };
  static constexpr wchar_t kClass[] = L"DriveDeskDriveSearch";

  // Runs the dialog modally over the main window until it is closed or a drive taken.
  static void Run(Session& session, MainWindow& window);

 private:
  DriveSearchDialog(Session& session, HWND owner);
  ~DriveSearchDialog();
  DriveSearchDialog(const DriveSearchDialog&) = delete;
  DriveSearchDialog& operator=(const DriveSearchDialog&) = delete;

  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void OnCommand(int id);
  void Start();
  void UseRow(int row);
  // Shows the view's new rows, bar and status; the controls follow whether it searches.
  void ShowView();
  int SelectedRow() const;
  HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }

  DriveSearchView view_;
  HWND hwnd_ = nullptr;
  int shownRows_ = 0;
  bool done_ = false;
};

}  // namespace dd
