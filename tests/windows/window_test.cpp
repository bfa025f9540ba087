// The Win32 window under Wine on a virtual display, driven by its own messages (BM_CLICK,
// WM_SETTEXT, CB_SETCURSEL with CBN_SELCHANGE, a held WM_LBUTTONDOWN) against the native
// simulated drive on COM9 (sim_session.sh); messages recorded through the window services.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>

#include "app/drive_address.h"
#include "app/session.h"
#include "params/field_validation.h"
#include "tests/support/headless_ui.h"
#include "tests/windows/sim_console.h"
#include "ui/win32/drive_search_dialog.h"
#include "ui/win32/lamp_widget.h"
#include "ui/win32/main_window.h"
#include "ui/win32/parameter_file_menu.h"
#include "ui/win32/program_setup.h"
#include "ui/win32/settings_dialog.h"
#include "ui/win32/wide_text.h"
#include "ui/win32/win32_ui_services.h"
#include "ui/window_layout.h"

namespace dd::test {
namespace {

constexpr int kCom = 9;

class Win32Window : public ::testing::Test {
 protected:
  Win32Window() : session(services) {
    services.SetPresenter([this](MessageIcon icon, const std::string& title, const std::string& text) {
      messages.push_back({icon, title, text});
    });
    services.SetQuitter([](int) {});
    DefineControls(session.controls);
    window = std::make_unique<MainWindow>(session);
    window->Show();
  }
  ~Win32Window() override { services.SetMainWindow(nullptr); }

  HWND W(Control id) const { return window->Widget(id); }
  std::string Text(Control id) const { return WindowTextUtf8(W(id)); }
  bool RunUntil(const std::function<bool()>& done, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      services.ProcessEvents();
      ::Sleep(2);
    }
    return true;
  }
  void Click(Control id) { ::SendMessageW(W(id), BM_CLICK, 0, 0); }
  void Type(Control id, const char* text) { ::SendMessageW(W(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(text).c_str())); }
  bool Pick(HWND list, const std::string& entry) {
    const auto index = ::SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(Wide(entry).c_str()));
    if (index < 0) return false;
    ::SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::SendMessageW(::GetParent(list), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(list), CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    return true;
  }
  // Runs item `item` of "工具", then `act` on its modal window of class `cls` once it shows.
  void InModal(int item, const wchar_t* cls, const std::function<void(HWND)>& act) {
    int tries = 0;
    std::function<void()> poll = [&] {
      HWND dialog = ::FindWindowW(cls, nullptr);
      if (dialog != nullptr && ::IsWindowVisible(dialog)) {
        tries = -1;
        return act(dialog);
      }
      if (++tries < 100) services.PostDelayed(20, poll);
    };
    services.PostDelayed(20, poll);
    ::SendMessageW(window->Handle(), WM_COMMAND, ::GetMenuItemID(window->ToolsMenu(), item), 0);
    if (tries == -1) return;
    ADD_FAILURE() << "no dialog for item " << item;
    RunUntil([&] { return tries >= 100; }, 5000);  // the last poll, before its state goes
  }
  RECT Rect(HWND w) const {
    RECT r;
    ::GetWindowRect(w, &r);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(w), reinterpret_cast<POINT*>(&r), 2);
    return r;
  }
  bool Moving() const { return session.state.MotorMoving.load(); }

  Win32UiServices services;
  Session session;
  std::unique_ptr<MainWindow> window;
  std::vector<RecordedMessage> messages;
};

bool Same(const RECT& a, const RECT& b, bool height = true) {
  return a.left == b.left && a.top == b.top && a.right == b.right && (!height || a.bottom == b.bottom);
}

TEST_F(Win32Window, everyControlAsTheLayoutTableSays_workerChangesInOneBatch_placesFollowTheDpi) {
  FormWidgets& form = window->Controls();
  for (const ControlDef& def : MainFormDef().controls) {
    HWND w = W(def.id);
    ASSERT_NE(w, nullptr) << def.id;
    EXPECT_EQ(::GetDlgCtrlID(w), FormWidgets::DialogId(def.id));
    EXPECT_TRUE(Same(Rect(w), form.Pixels(def.rect), def.kind != ControlKind::Combo)) << def.id;
    EXPECT_EQ((::GetWindowLongW(w, GWL_STYLE) & WS_VISIBLE) != 0, def.visible) << def.id;
    bool enabled = def.enabled;
    for (const ControlDef* p = FindControlDef(def.parent); p != nullptr; p = FindControlDef(p->parent)) enabled = enabled && p->enabled;
    EXPECT_EQ(::IsWindowEnabled(w) != FALSE, enabled) << def.id;
    if (def.kind == ControlKind::RoundLamp || def.kind == ControlKind::RectLamp) {
      EXPECT_EQ(LampColor(w), def.color) << def.id;
    } else if (def.kind == ControlKind::Combo) {
      ASSERT_EQ(::SendMessageW(w, CB_GETCOUNT, 0, 0), static_cast<LRESULT>(def.items.size())) << def.id;
      EXPECT_EQ(::SendMessageW(w, CB_GETCURSEL, 0, 0), CB_ERR) << def.id;
    } else {
      EXPECT_EQ(WindowTextUtf8(w), def.text) << def.id;
    }
  }
  RECT stop = Rect(W(Control::StopButton));  // inside the motion panel, over the parameter panel
  ::MapWindowPoints(W(Control::MotionPanel), window->Handle(), reinterpret_cast<POINT*>(&stop), 2);
  EXPECT_EQ(::ChildWindowFromPointEx(window->Handle(), POINT{stop.left + 2, stop.bottom - 2}, CWP_SKIPINVISIBLE), W(Control::MotionPanel));
  EXPECT_EQ(WindowTextUtf8(window->Handle()), "DriveDesk");
  wchar_t menu[32];
  HMENU bar = ::GetMenu(window->Handle());
  std::string menus;
  for (int i = 0; i < 3; ++i) menus += Utf8(std::wstring(menu, static_cast<std::size_t>(::GetMenuStringW(bar, static_cast<UINT>(i), menu, 32, MF_BYPOSITION)))) + " ";
  EXPECT_EQ(menus, "文件(&F) 工具(&T) 帮助(&H) ");
  RECT client;
  ::GetClientRect(window->Handle(), &client);
  EXPECT_TRUE(client.right == form.Pixels(10185) && client.bottom == form.Pixels(8535)) << client.right << "x" << client.bottom;
  EXPECT_EQ(form.Pixels(1440), 96);
  // Changes from a worker reach the controls in one batch.
  const int before = window->Mirror().Batches();
  std::thread([this] {
    for (int i = 0; i < 10000; ++i) session.controls.SetText(Control::ActualPositionField, std::to_string(i));
    session.controls.SetColor(Control::MovingLamp, kRed);
  }).join();
  EXPECT_TRUE(RunUntil([&] { return Text(Control::ActualPositionField) == "9999"; }, 2000));
  EXPECT_EQ(window->Mirror().Batches() - before, 1);
  EXPECT_EQ(LampColor(W(Control::MovingLamp)), kRed);
  // At 150 % every control is where the table says at 144 DPI, and back.
  for (const WORD dpi : {WORD{144}, WORD{96}}) {
    RECT suggested;
    ::GetWindowRect(window->Handle(), &suggested);
    ::SendMessageW(window->Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    const auto at = [dpi](int twips) { return static_cast<LONG>(std::lround(twips * dpi / 1440.0)); };
    const TwipRect& save = FindControlDef(Control::SaveButton)->rect;
    EXPECT_TRUE(Same(Rect(W(Control::SaveButton)), RECT{at(save.left), at(save.top), at(save.left) + at(save.width), at(save.top) + at(save.height)})) << dpi;
    ::GetClientRect(window->Handle(), &client);
    EXPECT_EQ(client.right, at(10185)) << dpi;
  }
}

TEST_F(Win32Window, connectPollMoveJogSaveValidateSwitchHomeFilesAndClose_byTheWindowsMessages) {
  const std::string backup = "Z:" + std::string(std::getenv("DRIVESIM_OUTPUT")) + ".backup.txt";
  int compared = 0;
  ParameterFileDialogs dialogs;
  dialogs.saveFile = [&](const std::string&, const std::string&) { return backup; };
  dialogs.openFile = [&](const std::string&) { return backup; };
  dialogs.showComparison = [&](const std::vector<ComparisonRow>& rows) {
    for (const ComparisonRow& row : rows) compared += row.differs ? 1000 : 1;
    return false;
  };
  dialogs.confirmRestore = [](const std::string&, bool, bool&) { return false; };
  session.SettingsPath = "Z:" + std::string(std::getenv("DRIVESIM_OUTPUT")) + ".settings.conf";
  LoadProgram(session, services, *window, dialogs);
  // "工具": the address dialog refuses a bad entry; the search over the bus (drives 1 and
  // 38) is cancelled, then finds 38 and takes it with its port and rate; "1" again.
  const auto itemText = [&](int item) {
    wchar_t text[32];
    return Utf8(std::wstring(text, static_cast<std::size_t>(::GetMenuStringW(window->ToolsMenu(), static_cast<UINT>(item), text, 32, MF_BYPOSITION))));
  };
  EXPECT_EQ(itemText(2) + itemText(3), "驱动器地址(&A)…搜索驱动器(&S)…");
  const auto enterAddress = [&](const char* entry) {
    InModal(2, kAddressDialogClass, [&](HWND dialog) {
      ::SendMessageW(::FindWindowExW(dialog, nullptr, L"Edit", nullptr), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(entry).c_str()));
      ::SendMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    });
  };
  enterAddress("248");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "    驱动器地址须为 1 到 247 之间的整数；");
  messages.clear();
  std::string found;
  InModal(3, DriveSearchDialog::kClass, [&](HWND dialog) {
    const auto item = [dialog](int id) { return ::GetDlgItem(dialog, id); };
    EXPECT_TRUE(Pick(item(DriveSearchDialog::kPortChoice), "COM" + std::to_string(kCom)));
    ::SendMessageW(item(DriveSearchDialog::kStartButton), BM_CLICK, 0, 0);  // every rate, 1-247: a minute
    EXPECT_FALSE(::IsWindowEnabled(item(DriveSearchDialog::kStartButton)));
    RunUntil([] { return false; }, 300);
    ::SendMessageW(item(DriveSearchDialog::kCancelButton), BM_CLICK, 0, 0);
    EXPECT_EQ(WindowTextUtf8(item(DriveSearchDialog::kStatusLine)).rfind("搜索已取消，找到 ", 0), 0u);
    ::SendMessageW(item(DriveSearchDialog::kStartButton), BM_CLICK, 0, 0);  // ended by the port going away
    SimCommand("vanish");
    EXPECT_TRUE(RunUntil([&] { return ::IsWindowEnabled(item(DriveSearchDialog::kStartButton)); }, 10000));
    SimCommand("return");
    EXPECT_EQ(WindowTextUtf8(item(DriveSearchDialog::kStatusLine)), "串口 COM9 已断开，搜索已停止；");
    EXPECT_EQ(messages.size(), 1u);
    messages.clear();
    EXPECT_TRUE(Pick(item(DriveSearchDialog::kBaudChoice), "115200"));
    ::SendMessageW(item(DriveSearchDialog::kRangeField), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"30-40"));
    ::SendMessageW(item(DriveSearchDialog::kStartButton), BM_CLICK, 0, 0);
    EXPECT_TRUE(RunUntil([&] { return ::IsWindowEnabled(item(DriveSearchDialog::kStartButton)); }, 20000));
    EXPECT_EQ(WindowTextUtf8(item(DriveSearchDialog::kStatusLine)), "搜索完成，找到 1 台驱动器；");
    HWND list = item(DriveSearchDialog::kFoundList);
    for (int c = 0; c < 5; ++c) {
      wchar_t cell[32] = L"";
      LVITEMW text = {};
      text.iSubItem = c;
      text.pszText = cell;
      text.cchTextMax = 32;
      ::SendMessageW(list, LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&text));
      found += Utf8(cell) + " ";
    }
    LVITEMW select = {};
    select.stateMask = select.state = LVIS_SELECTED;
    ::SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&select));
    ::SendMessageW(item(DriveSearchDialog::kUseButton), BM_CLICK, 0, 0);
    ::SendMessageW(item(IDCANCEL), BM_CLICK, 0, 0);  // closes it also when nothing was taken
  });
  EXPECT_EQ(found, "COM9 115200 38 10500000 38 ");
  EXPECT_EQ(session.controls.ComboText(Control::PortList) + " " + session.controls.ComboText(Control::BaudList), "COM9 115200");
  window->SyncNow();
  EXPECT_EQ(WindowTextUtf8(window->Handle()), "DriveDesk - 驱动器地址 38");
  EXPECT_EQ(RememberedAddress(session.SettingsPath), 38);
  enterAddress("1");
  window->SyncNow();
  EXPECT_EQ(WindowTextUtf8(window->Handle()), "DriveDesk");
  EXPECT_EQ(RememberedAddress(session.SettingsPath), 1);
  std::remove(session.SettingsPath.c_str());
  // The drive taken enables the button.
  ASSERT_TRUE(RunUntil([&] { return ::IsWindowEnabled(W(Control::OpenCloseButton)); }, 1000));
  Click(Control::OpenCloseButton);
  ASSERT_TRUE(RunUntil([&] { return Text(Control::PulsesPerRevField) == "51,200" && Text(Control::ErrorTextField) == "驱动器正常"; }, 20000))
      << Text(Control::PulsesPerRevField) << " / " << Text(Control::ErrorTextField);
  EXPECT_EQ(Text(Control::OpenCloseButton), "关闭通信");
  EXPECT_EQ(LampColor(W(Control::CommLamp)), kGreen);
  ::SendMessageW(window->Handle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(window->ToolsMenu()), 1);
  EXPECT_EQ(::GetMenuState(window->ToolsMenu(), 2, MF_BYPOSITION) & MF_GRAYED, MF_GRAYED);
  EXPECT_EQ(::GetMenuState(window->ToolsMenu(), 3, MF_BYPOSITION) & MF_GRAYED, MF_GRAYED);

  // A relative move, shown at its end (the held jog below shows polling on the way).
  const std::string start = Text(Control::ActualPositionField);
  Type(Control::MoveDistanceField, "100");
  Click(Control::MoveTowardButton);
  EXPECT_TRUE(RunUntil([&] { return !Moving() && Text(Control::ActualPositionField) != start &&
                                    Text(Control::ActualPositionField) == Text(Control::TargetPositionField); }, 20000))
      << Text(Control::ActualPositionField) << " / " << Text(Control::TargetPositionField);

  // A jog runs while the button is held and stops on its release.
  ::SendMessageW(W(Control::JogAwayButton), WM_LBUTTONDOWN, MK_LBUTTON, 0);
  EXPECT_TRUE(RunUntil([&] { return Moving(); }, 5000));
  const std::string during = Text(Control::ActualPositionField);
  EXPECT_TRUE(RunUntil([&] { return Text(Control::ActualPositionField) != during; }, 5000));
  EXPECT_TRUE(Moving());
  ::SendMessageW(W(Control::JogAwayButton), WM_LBUTTONUP, 0, 0);
  EXPECT_TRUE(RunUntil([&] { return !Moving() && !session.state.JogHeld && session.state.MotionWorkerCount == 0; }, 5000));

  // A save of an edited field: 1500 rpm is 1280 speed units, then the store command.
  Type(Control::RunSpeedField, "1500");
  Click(Control::SaveButton);
  ASSERT_TRUE(RunUntil([&] { return SimCommand("log 400").find("fn 6 reg 0x0040 count 1 value 1280 outcome 0") != std::string::npos; }, 20000));
  EXPECT_TRUE(RunUntil([&] { return ::IsWindowEnabled(W(Control::SaveButton)) && session.state.WorkerCount > 0; }, 20000));
  EXPECT_TRUE(messages.empty());

  // A field above its limit keeps the focus with its message; the click on Save does nothing.
  Type(Control::CommFilterField, "32");
  ::SetForegroundWindow(window->Handle());
  ::SetFocus(W(Control::CommFilterField));
  ASSERT_TRUE(RunUntil([&] { return ::GetFocus() == W(Control::CommFilterField); }, 2000));
  Click(Control::SaveButton);
  EXPECT_EQ(::GetFocus(), W(Control::CommFilterField));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].title, kInputTitle);
  EXPECT_EQ(messages[0].text, std::string(kAboveUpper) + "\r\n" + kUpperIs + "31");
  EXPECT_EQ(messages[0].icon, MessageIcon::Error);
  messages.clear();
  Type(Control::CommFilterField, "3");
  // Keys the filter refuses are not typed.
  ::SendMessageW(W(Control::CommFilterField), WM_CHAR, 'x', 0);
  EXPECT_EQ(Text(Control::CommFilterField), "3");

  // The compact view and back.
  const RECT panel = Rect(W(Control::MotionPanel));
  RECT client;
  Click(Control::ViewButton);
  EXPECT_EQ(Rect(W(Control::MotionPanel)).left, window->Controls().Pixels(240));
  EXPECT_FALSE(::IsWindowVisible(W(Control::PortList)));
  ::GetClientRect(window->Handle(), &client);
  EXPECT_EQ(client.right, window->Controls().Pixels(6015 - 90));
  Click(Control::ViewButton);
  EXPECT_TRUE(Same(Rect(W(Control::MotionPanel)), panel));
  EXPECT_TRUE(::IsWindowVisible(W(Control::PortList)) && ::IsWindowVisible(W(Control::StatusText)));

  // The settings dialog: built from its table, modal, closed by its close box.
  bool dialogChecked = false;
  int tries = 0;
  std::function<void()> inDialog = [&] {  // the dialog may open only after a read from the drive
    SettingsDialog* dialog = window->OpenDialog();
    if (dialog == nullptr) {
      if (++tries < 200) services.PostDelayed(50, inDialog);
      return;
    }
    EXPECT_FALSE(::IsWindowEnabled(window->Handle()));
    for (const ControlDef& def : SettingsFormDef().controls) {
      EXPECT_TRUE(Same(Rect(dialog->Controls().Window(def.id)), dialog->Controls().Pixels(def.rect), def.kind != ControlKind::Combo)) << def.id;
    }
    dialogChecked = true;
    ::PostMessageW(dialog->Handle(), WM_CLOSE, 0, 0);
  };
  services.PostDelayed(50, inDialog);
  Click(Control::SettingsButton);
  EXPECT_TRUE(dialogChecked);
  EXPECT_TRUE(::IsWindowEnabled(window->Handle()));

  // A homing run: the button is red while it runs.
  Click(Control::HomingButton);
  EXPECT_TRUE(RunUntil([&] { return !session.state.HomingIdle; }, 5000));
  EXPECT_TRUE(RunUntil([&] { return session.state.HomingIdle && session.controls.Color(Control::HomingButton) == kButtonFace; }, 60000));
  EXPECT_TRUE(messages.empty());

  // The file menu on a backup file: backup, compare (all equal), restore (nothing to do).
  HMENU file = window->FileMenu();
  const auto command = [&](int item) { ::SendMessageW(window->Handle(), WM_COMMAND, ::GetMenuItemID(file, item), 0); };
  command(0);
  ASSERT_TRUE(RunUntil([&] { return !messages.empty(); }, 20000));
  EXPECT_EQ(messages[0].text.find("    驱动器参数已备份到：" + backup), 0u) << messages[0].text;
  command(2);
  EXPECT_TRUE(RunUntil([&] { return compared > 0; }, 20000));
  EXPECT_LT(compared, 1000) << "a parameter differs from its own backup";
  command(1);
  ASSERT_TRUE(RunUntil([&] { return messages.size() == 2; }, 20000));
  EXPECT_EQ(messages[1].text, "    驱动器中的参数与文件一致，无需恢复；");
  std::remove(backup.c_str());

  // Closed while a jog button is still held: the jog is stopped first, then the port closed.
  ::SendMessageW(W(Control::JogTowardButton), WM_LBUTTONDOWN, MK_LBUTTON, 0);
  EXPECT_TRUE(RunUntil([&] { return Moving(); }, 5000));
  ::PostMessageW(window->Handle(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(RunUntil([&] { return window->Closed(); }, 10000));
  EXPECT_FALSE(session.state.JogHeld.load());
  EXPECT_TRUE(RunUntil([&] { return SimCommand("status").find(" speed 0 ") != std::string::npos; }, 5000)) << SimCommand("status");
  EXPECT_EQ(session.state.PortHandle.load(), 0);
}

// The real drivedesk.exe, driven from outside as another program would: logoff arrives
// during a long move while the drive has gone silent, and the process is gone within
// the 5 s of the orderly end.
LRESULT SendTo(HWND w, UINT msg, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  ::SendMessageTimeoutW(w, msg, wParam, lParam, SMTO_ABORTIFHUNG, 10000, &result);
  return static_cast<LRESULT>(result);
}

HWND Descendant(HWND top, Control id) {
  struct Search { int id; HWND found; } search{FormWidgets::DialogId(id), nullptr};
  ::EnumChildWindows(top, [](HWND child, LPARAM s) {
    auto* wanted = reinterpret_cast<Search*>(s);
    if (::GetDlgCtrlID(child) != wanted->id) return TRUE;
    wanted->found = child;
    return FALSE;
  }, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

TEST(Win32Program, logoffDuringAMoveWithTheDriveSilent_endsWithinFiveSeconds) {
  wchar_t self[MAX_PATH];
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring program = self;
  program = program.substr(0, program.find_last_of(L'\\')) + L"\\..\\..\\ui\\win32\\drivedesk.exe";
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION child = {};
  ASSERT_TRUE(::CreateProcessW(program.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
  const std::shared_ptr<void> end(child.hProcess, [&child](void*) {  // also when a check gives up early
    ::TerminateProcess(child.hProcess, 9);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
  });
  const auto waitFor = [](const std::function<bool()>& done, int ms) {
    for (int waited = 0; !done(); waited += 20) {
      if (waited > ms) return false;
      ::Sleep(20);
    }
    return true;
  };
  HWND main = nullptr;
  ASSERT_TRUE(waitFor([&] { return (main = ::FindWindowW(L"DriveDeskMainWindow", nullptr)) != nullptr && ::IsWindowVisible(main); }, 20000));
  const auto text = [&](Control id) {  // GetWindowText does not ask another process's edit field
    wchar_t shown[64] = {};
    SendTo(Descendant(main, id), WM_GETTEXT, 64, reinterpret_cast<LPARAM>(shown));
    return Utf8(shown);
  };
  for (const auto& [list, entry] : {std::pair{Control::PortList, std::wstring(L"COM9")}, std::pair{Control::BaudList, std::wstring(L"115200")}}) {
    HWND combo = Descendant(main, list);
    const auto index = SendTo(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(entry.c_str()));
    ASSERT_GE(index, 0);
    SendTo(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendTo(main, WM_COMMAND, MAKEWPARAM(FormWidgets::DialogId(list), CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
  }
  SendTo(Descendant(main, Control::OpenCloseButton), BM_CLICK, 0, 0);
  ASSERT_TRUE(waitFor([&] { return text(Control::ErrorTextField) == "驱动器正常"; }, 20000));
  SendTo(Descendant(main, Control::MoveDistanceField), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"1000"));
  SendTo(Descendant(main, Control::MoveAwayButton), BM_CLICK, 0, 0);
  ASSERT_TRUE(waitFor([&] { return SimCommand("status").find(" speed 0 ") == std::string::npos; }, 5000));
  SimCommand("fault silent forever");
  HWND session = ::FindWindowW(L"DriveDeskSessionEnd", nullptr);
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(SendTo(session, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
  const auto start = std::chrono::steady_clock::now();
  ::PostMessageW(session, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_EQ(::WaitForSingleObject(child.hProcess, 15000), WAIT_OBJECT_0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(6500));
  SimCommand("fault clear");
}

}  // namespace
}  // namespace dd::test
