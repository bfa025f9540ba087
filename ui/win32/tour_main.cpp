// drivedesk_tour.exe: drives the real Win32 window through the tour of the Qt one
// (ui/qt/tour_main.cpp) against a simulated drive on COM12, and writes a BMP of each
// step: start, the drive address and drive search dialogs, connected, the live curves
// during a move of ten revolutions, moved,
// homed, the compact and the full view, the settings dialog and the communication log.
// Run by tests/windows/screenshot.sh (Xvfb, Wine under a Chinese locale, drivesim).
//   drivedesk_tour.exe OUTPUT-DIR
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/bus_log.h"
#include "app/control.h"
#include "app/session.h"
#include "ui/win32/drive_search_dialog.h"
#include "ui/win32/main_window.h"
#include "ui/win32/program_setup.h"
#include "ui/win32/settings_dialog.h"
#include "ui/win32/wide_text.h"
#include "ui/win32/win32_ui_services.h"
#include "ui/window_layout.h"

namespace {

std::string out = ".";
bool ok = true;

// The window's menu bar and client area as the screen shows them (Xvfb has no window
// manager to draw the title bar, so it is left out, as the Qt tour's grab does).
void Save(HWND window, const char* name) {
  ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  ::Sleep(100);
  RECT r;
  ::GetClientRect(window, &r);
  ::MapWindowPoints(window, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
  MENUBARINFO menu{};
  menu.cbSize = sizeof menu;
  if (::GetMenu(window) != nullptr && ::GetMenuBarInfo(window, OBJID_MENU, 0, &menu)) r.top = menu.rcBar.top;
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) {
    std::printf("  FAILED: %s has no area\n", name);
    ok = false;
    return;
  }
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = -height;  // top row first
  info.biPlanes = 1;
  info.biBitCount = 24;
  const int stride = (width * 3 + 3) & ~3;
  std::vector<char> pixels(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
  ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
              DIB_RGB_COLORS);
  ::SelectObject(memory, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
  const std::string path = out + "\\" + name + ".bmp";
  FILE* f = ::_wfopen(dd::Wide(path).c_str(), L"wb");
  const bool written = f != nullptr && std::fwrite(&file, sizeof file, 1, f) == 1 &&
                       std::fwrite(&info, sizeof info, 1, f) == 1 &&
                       std::fwrite(pixels.data(), 1, pixels.size(), f) == pixels.size();
  if (f != nullptr) std::fclose(f);
  std::printf("  %s %s\n", written ? "wrote" : "FAILED to write", path.c_str());
  ok = ok && written;
}

void Step(const char* what) {
  std::printf("tour: %s\n", what);
  std::fflush(stdout);
}

void Report(const dd::Session& s) {
  std::printf("  drive: position %s, target %s, deviation %s; %s; %s\n",
              s.controls.Text(dd::Control::ActualPositionField).c_str(),
              s.controls.Text(dd::Control::TargetPositionField).c_str(),
              s.controls.Text(dd::Control::PositionDeviationField).c_str(),
              s.controls.Text(dd::Control::ErrorTextField).c_str(), s.controls.Text(dd::Control::StatusText).c_str());
  std::fflush(stdout);
}

// Runs the menu item of the menu bar's `menu` whose text is `item`, as a click does.
void RunMenuItem(HWND window, int menu, const char* item) {
  HMENU popup = ::GetSubMenu(::GetMenu(window), menu);
  for (int i = 0; i < ::GetMenuItemCount(popup); ++i) {
    wchar_t text[64] = L"";
    ::GetMenuStringW(popup, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
    if (dd::Utf8(text).rfind(item, 0) == 0) {
      ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(::GetMenuItemID(popup, i), 0), 0);
      return;
    }
  }
  std::printf("  no menu item %s\n", item);
  ok = false;
}

// Picks `entry` in a drop-down list as the user does: the selection, then its notice.
bool Pick(dd::MainWindow& window, dd::Control id, const char* entry) {
  HWND list = window.Widget(id);
  const auto index = ::SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                    reinterpret_cast<LPARAM>(dd::Wide(entry).c_str()));
  if (index < 0) return false;
  ::SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  ::SendMessageW(::GetParent(list), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(list), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
  return true;
}

HWND TopWindow(const char* title) { return ::FindWindowW(nullptr, dd::Wide(title).c_str()); }

}  // namespace

int main(int argc, char* argv[]) {
  if (argc > 1) out = argv[1];
  dd::AttachBusLog();  // for "通信日志"
  dd::Win32UiServices services;
  int messages = 0;
  services.SetPresenter([&messages](dd::MessageIcon, const std::string& title, const std::string& text) {
    ++messages;
    std::printf("  message \"%s\": %s\n", title.c_str(), text.c_str());
  });
  dd::Session session(services);
  dd::DefineControls(session.controls);
  dd::MainWindow window(session);
  auto waitFor = [&](const std::function<bool()>& done, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      services.ProcessEvents();
      ::Sleep(5);
    }
    return true;
  };
  auto pause = [&](int ms) { waitFor([] { return false; }, ms); };
  HWND main = nullptr;

  Step("start: port discovery");
  dd::LoadProgram(session, services, window);
  window.Show();
  main = window.Handle();
  pause(300);
  std::printf("  ports found: %zu, chosen %s\n", session.controls.Items(dd::Control::PortList).size(),
              session.controls.ComboText(dd::Control::PortList).c_str());
  Save(main, "01_start");

  Step("\"工具\" -> \"驱动器地址(A)…\", then \"搜索驱动器(S)…\" over COM12 at 115200, addresses 1-5");
  services.PostDelayed(300, [&] {
    HWND dialog = ::FindWindowW(dd::kAddressDialogClass, nullptr);
    ok = dialog != nullptr && ok;
    if (dialog == nullptr) return;
    Save(dialog, "01a_drive_address");
    ::SendMessageW(::GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
  });
  RunMenuItem(main, 1, "驱动器地址");
  services.PostDelayed(300, [&] {
    HWND dialog = ::FindWindowW(dd::DriveSearchDialog::kClass, nullptr);
    ok = dialog != nullptr && ok;
    if (dialog == nullptr) return;
    const auto item = [dialog](int id) { return ::GetDlgItem(dialog, id); };
    for (const auto& [id, entry] : {std::pair{dd::DriveSearchDialog::kPortChoice, L"COM12"},
                                    std::pair{dd::DriveSearchDialog::kBaudChoice, L"115200"}}) {
      const auto index = ::SendMessageW(item(id), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                        reinterpret_cast<LPARAM>(entry));
      ::SendMessageW(item(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    ::SendMessageW(item(dd::DriveSearchDialog::kRangeField), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"1-5"));
    ::SendMessageW(item(dd::DriveSearchDialog::kStartButton), BM_CLICK, 0, 0);
    const bool searched =
        waitFor([&] { return ::IsWindowEnabled(item(dd::DriveSearchDialog::kStartButton)) != FALSE; }, 10000);
    std::printf("  %s (%d rows)\n", dd::WindowTextUtf8(item(dd::DriveSearchDialog::kStatusLine)).c_str(),
                static_cast<int>(::SendMessageW(item(dd::DriveSearchDialog::kFoundList), LVM_GETITEMCOUNT, 0, 0)));
    ok = searched && ok;
    pause(200);
    Save(dialog, "01b_drive_search");
    ::SendMessageW(::GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
  });
  RunMenuItem(main, 1, "搜索驱动器");

  Step("connect: baud rate 115200, then \"开启通信\"");
  ok = Pick(window, dd::Control::PortList, "COM12") && Pick(window, dd::Control::BaudList, "115200") && ok;
  waitFor([&] { return ::IsWindowEnabled(window.Widget(dd::Control::OpenCloseButton)) != FALSE; }, 1000);
  ::SendMessageW(window.Widget(dd::Control::OpenCloseButton), BM_CLICK, 0, 0);
  const bool connected =
      waitFor([&] { return session.controls.Text(dd::Control::ErrorTextField) == "驱动器正常"; }, 10000);
  pause(300);
  if (!connected) std::printf("  the drive did not report \"驱动器正常\" within 10 s\n");
  Report(session);
  Save(main, "02_connected");
  ok = ok && connected;

  if (connected) {
    Step("relative move: 10 圈 with \"+\", watched in \"实时曲线\"");
    RunMenuItem(main, 1, "实时曲线");
    HWND curves = TopWindow("实时曲线");
    const std::string before = session.controls.Text(dd::Control::ActualPositionField);
    Pick(window, dd::Control::MoveUnitList, "圈");
    ::SendMessageW(window.Widget(dd::Control::MoveDistanceField), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"10"));
    ::SendMessageW(window.Widget(dd::Control::MoveTowardButton), BM_CLICK, 0, 0);
    if (curves != nullptr && waitFor([&] { return session.state.MotorMoving.load(); }, 2000)) {
      pause(1500);
      Save(curves, "03_curves_during_move");
    }
    const bool moved = waitFor([&] {
      return session.controls.Text(dd::Control::ActualPositionField) != before && !session.state.MotorMoving.load();
    }, 15000);
    pause(300);
    if (!moved) std::printf("  the move did not end within 15 s\n");
    Report(session);
    Save(main, "04_moved");
    ok = ok && moved && curves != nullptr;
    if (curves != nullptr) ::DestroyWindow(curves);

    Step("homing run: \"归零\" (origin sensor, then 1 revolution back)");
    ::SendMessageW(window.Widget(dd::Control::HomingButton), BM_CLICK, 0, 0);
    waitFor([&] { return !session.state.HomingIdle.load(); }, 2000);
    const bool homed = waitFor([&] { return session.state.HomingIdle.load(); }, 60000);
    pause(300);
    if (!homed) std::printf("  the homing run did not end within 60 s\n");
    Report(session);
    Save(main, "05_homed");
    ok = ok && homed;
  }

  Step("compact view: \"简洁版\"");
  ::SendMessageW(window.Widget(dd::Control::ViewButton), BM_CLICK, 0, 0);
  pause(300);
  Save(main, "06_compact");
  Step("full view again");
  ::SendMessageW(window.Widget(dd::Control::ViewButton), BM_CLICK, 0, 0);
  pause(300);
  Save(main, "07_full");

  Step("settings dialog \"设定\"");
  services.PostDelayed(300, [&] {
    if (dd::SettingsDialog* dialog = window.OpenDialog()) Save(dialog->Handle(), "08_settings_dialog");
    services.CloseDialog(dd::Control::SettingsDialog);
  });
  services.RunDialog(dd::Control::SettingsDialog);

  Step("communication log: \"工具\" -> \"通信日志\"");
  RunMenuItem(main, 1, "通信日志");
  HWND log = TopWindow("通信日志");
  pause(800);
  if (log != nullptr) Save(log, "09_log");
  ok = ok && log != nullptr;

  std::printf("  messages shown: %d\n", messages);
  Step("close the window");
  ::SendMessageW(main, WM_CLOSE, 0, 0);
  waitFor([&] { return window.Closed(); }, 10000);
  std::printf("tour: %s; screenshots in %s\n", ok ? "done" : "FAILED", out.c_str());
  return ok ? 0 : 1;
}
