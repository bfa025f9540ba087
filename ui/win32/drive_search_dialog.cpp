#include "ui/win32/drive_search_dialog.h"

#include <commctrl.h>

#include <optional>
#include <string>

#include "app/drive_address.h"
#include "app/session.h"
#include "ui/win32/form_widgets.h"
#include "ui/win32/main_window.h"
#include "ui/win32/ui_fonts.h"
#include "ui/win32/tool_window_kit.h"
#include "ui/win32/wide_text.h"

namespace dd {
namespace {

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
constexpr UINT_PTR kPollTimer = 1;
constexpr int kAddressField = 10;

int DpiOf(HWND window) { return window != nullptr ? static_cast<int>(::GetDpiForWindow(window)) : 96; }

// A popup of `cls` whose client area is `width` x `height` pixels at 96 DPI (scaled to
// the owner's DPI), centred over the owner; `self` is kept for the window procedure.
HWND CreatePopup(const wchar_t* cls, WNDPROC proc, const char* title, int width, int height, HWND owner,
                 void* self) {
  WNDCLASSW wc = {};
  if (!::GetClassInfoW(::GetModuleHandleW(nullptr), cls, &wc)) {
    wc.lpfnWndProc = proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = cls;
    ::RegisterClassW(&wc);
  }
  const int dpi = DpiOf(owner);
  RECT r = {0, 0, ::MulDiv(width, dpi, 96), ::MulDiv(height, dpi, 96)};
  ::AdjustWindowRectExForDpi(&r, kStyle, FALSE, kExStyle, static_cast<UINT>(dpi));
  RECT over = {0, 0, 0, 0};
  if (owner != nullptr) ::GetWindowRect(owner, &over);
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  HWND popup = ::CreateWindowExW(kExStyle, cls, Wide(title).c_str(), kStyle, (over.left + over.right - w) / 2,
                                 (over.top + over.bottom - h) / 2, w, h, owner, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
  ::SetWindowLongPtrW(popup, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  return popup;
}

// A child control at `at` (pixels at 96 DPI) in the windows' CJK font.
HWND AddChild(HWND parent, const wchar_t* cls, const std::string& text, DWORD style, RECT at, int id) {
  const int dpi = DpiOf(parent);
  const auto px = [dpi](LONG v) { return ::MulDiv(static_cast<int>(v), dpi, 96); };
  HWND child = ::CreateWindowExW(0, cls, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, px(at.left), px(at.top),
                                 px(at.right), px(at.bottom), parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                                 nullptr);
  ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(WindowFont(dpi)), FALSE);
  return child;
}

// The loop of a modal popup: its owner is disabled until `done`.
void RunModal(HWND owner, HWND popup, HWND focus, const bool& done) {
  if (owner != nullptr) ::EnableWindow(owner, FALSE);
  ::ShowWindow(popup, SW_SHOW);
  ::SetFocus(focus);
  MSG msg;
  while (!done) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      if (got == 0) ::PostQuitMessage(static_cast<int>(msg.wParam));  // for the outer loop
      break;
    }
    if (!::IsDialogMessageW(popup, &msg)) FormWidgets::Deliver(msg);
  }
  if (owner != nullptr) ::EnableWindow(owner, TRUE);  // before hiding, so the owner gets the focus
  ::ShowWindow(popup, SW_HIDE);
}

// The address input: a prompt, the field holding the address in use, "确定" and "取消".
class AddressDialog {
 public:
  // The text entered on "确定"; nullopt on "取消", Escape or the close box.
  static std::optional<std::string> Ask(HWND owner, int current) {
    AddressDialog dialog;
    HWND w = CreatePopup(kAddressDialogClass, Proc, kAddressTitle, 320, 112, owner, &dialog);
    AddChild(w, L"STATIC", kAddressPrompt, SS_LEFT | SS_NOPREFIX, {12, 12, 296, 20}, -1);
    HWND field = AddChild(w, L"EDIT", std::to_string(current), WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL,
                          {12, 36, 296, 24}, kAddressField);
    AddChild(w, L"BUTTON", "确定", WS_TABSTOP | BS_DEFPUSHBUTTON, {128, 74, 86, 28}, IDOK);
    AddChild(w, L"BUTTON", "取消", WS_TABSTOP | BS_PUSHBUTTON, {222, 74, 86, 28}, IDCANCEL);
    ::SendMessageW(field, EM_SETSEL, 0, -1);
    RunModal(owner, w, field, dialog.done_);
    ::DestroyWindow(w);
    return dialog.entered_;
  }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<AddressDialog*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
      if (LOWORD(wParam) == IDOK) self->entered_ = WindowTextUtf8(::GetDlgItem(hwnd, kAddressField));
      self->End(hwnd);
      return 0;
    }
    if (msg == WM_CLOSE) {
      self->End(hwnd);
      return 0;
    }
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  void End(HWND hwnd) {
    done_ = true;
    ::PostMessageW(hwnd, WM_NULL, 0, 0);  // wakes the modal loop
  }

  std::optional<std::string> entered_;
  bool done_ = false;
};

}  // namespace

void AskDriveAddress(Session& session, HWND owner) {
  if (!DriveAddressChangeable(session)) return;
  const auto entered = AddressDialog::Ask(owner, session.state.DriveAddress.load());
  if (entered) EnterDriveAddress(session, *entered);
}

void InstallDriveAddressMenu(Session& session, MainWindow& window) {
  HMENU tools = window.ToolsMenu();
  Session* s = &session;
  MainWindow* w = &window;
  const UINT ids[] = {
      window.AddMenuItem(tools, kAddressMenuText, [s, w] { AskDriveAddress(*s, w->Handle()); }),
      window.AddMenuItem(tools, kSearchMenuText, [s, w] { DriveSearchDialog::Run(*s, *w); })};
  window.OnMenuOpen([s, tools, ids](HMENU opened) {
    if (opened != tools) return;
    const UINT state = DriveAddressChangeable(*s) ? MF_ENABLED : MF_GRAYED;
    for (const UINT id : ids) ::EnableMenuItem(tools, id, MF_BYCOMMAND | state);
  });
}

void DriveSearchDialog::Run(Session& session, MainWindow& window) {
  if (!DriveAddressChangeable(session)) return;
  DriveSearchDialog dialog(session, window.Handle());
  // Messages (a bad range, a lost port) sit on the dialog.
  window.SetModalWindow(dialog.hwnd_);
  RunModal(window.Handle(), dialog.hwnd_, dialog.Item(kRangeField), dialog.done_);
  window.SetModalWindow(nullptr);
}

DriveSearchDialog::DriveSearchDialog(Session& session, HWND owner) : view_(session) {
  hwnd_ = CreatePopup(kClass, Proc, kSearchTitle, 560, 432, owner, this);
  const char* labels[] = {"串口：", "波特率：", "地址范围："};
  for (int i = 0; i < 3; ++i) AddChild(hwnd_, L"STATIC", labels[i], SS_LEFT, {12, 15 + 32 * i, 84, 20}, -1);
  const DWORD choice = WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
  HWND port = AddChild(hwnd_, WC_COMBOBOXW, "", choice, {100, 12, 200, 240}, kPortChoice);
  HWND baud = AddChild(hwnd_, WC_COMBOBOXW, "", choice, {100, 44, 200, 240}, kBaudChoice);
  for (const std::string& p : view_.PortChoices()) {
    ::SendMessageW(port, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(p).c_str()));
  }
  for (const std::string& b : DriveSearchView::BaudChoices()) {
    ::SendMessageW(baud, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(b).c_str()));
  }
  ::SendMessageW(port, CB_SETCURSEL, static_cast<WPARAM>(view_.FirstPortChoice()), 0);
  ::SendMessageW(baud, CB_SETCURSEL, 0, 0);
  AddChild(hwnd_, L"EDIT", kWholeAddressRange, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, {100, 76, 200, 24},
           kRangeField);
  AddChild(hwnd_, PROGRESS_CLASSW, "", 0, {12, 112, 536, 18}, kProgressBar);
  AddChild(hwnd_, L"STATIC", "", SS_LEFT | SS_NOPREFIX, {12, 138, 536, 20}, kStatusLine);
  HWND list = AddChild(hwnd_, WC_LISTVIEWW, "",
                       WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
                       {12, 162, 536, 218}, kFoundList);
  // Double-buffered, as the log's list: Wine leaves the rows of a plain one off the screen.
  ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
  const int widths[] = {110, 90, 70, 130, 110};
  AddListColumns(list, kSearchColumns, widths, DpiOf(hwnd_));
  AddChild(hwnd_, L"BUTTON", "开始搜索", WS_TABSTOP | BS_DEFPUSHBUTTON, {12, 392, 100, 28}, kStartButton);
  AddChild(hwnd_, L"BUTTON", "取消搜索", WS_TABSTOP | BS_PUSHBUTTON, {120, 392, 100, 28}, kCancelButton);
  AddChild(hwnd_, L"BUTTON", "使用所选驱动器", WS_TABSTOP | BS_PUSHBUTTON, {228, 392, 140, 28}, kUseButton);
  AddChild(hwnd_, L"BUTTON", "关闭", WS_TABSTOP | BS_PUSHBUTTON, {448, 392, 100, 28}, IDCANCEL);
  ShowView();
}

DriveSearchDialog::~DriveSearchDialog() {
  ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  ::DestroyWindow(hwnd_);
}

void DriveSearchDialog::Start() {
  const auto choice = [this](int id) { return static_cast<int>(::SendMessageW(Item(id), CB_GETCURSEL, 0, 0)); };
  if (!view_.Start(choice(kPortChoice), choice(kBaudChoice), WindowTextUtf8(Item(kRangeField)))) return;
  ::SendMessageW(Item(kFoundList), LVM_DELETEALLITEMS, 0, 0);
  shownRows_ = 0;
  ::SetTimer(hwnd_, kPollTimer, 100, nullptr);
  ShowView();
}

void DriveSearchDialog::ShowView() {
  HWND list = Item(kFoundList);
  for (; shownRows_ < view_.Rows(); ++shownRows_) SetListRow(list, shownRows_, view_.Row(shownRows_));
  ::SendMessageW(Item(kProgressBar), PBM_SETRANGE32, 0, static_cast<LPARAM>(view_.Total()));
  ::SendMessageW(Item(kProgressBar), PBM_SETPOS, static_cast<WPARAM>(view_.Done()), 0);
  ::SetWindowTextW(Item(kStatusLine), Wide(view_.Status()).c_str());
  const bool running = view_.Running();
  if (!running) ::KillTimer(hwnd_, kPollTimer);
  for (const int id : {kStartButton, kPortChoice, kBaudChoice, kRangeField}) ::EnableWindow(Item(id), !running);
  ::EnableWindow(Item(kCancelButton), running);
  ::EnableWindow(Item(kUseButton), !running && SelectedRow() >= 0);
}

int DriveSearchDialog::SelectedRow() const {
  return static_cast<int>(
      ::SendMessageW(Item(kFoundList), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void DriveSearchDialog::UseRow(int row) {
  if (!view_.UseRow(row)) return;
  done_ = true;
  ::PostMessageW(hwnd_, WM_NULL, 0, 0);  // wakes the modal loop
}

void DriveSearchDialog::OnCommand(int id) {
  switch (id) {
    case IDOK:  // Enter
    case kStartButton: Start(); break;
    case kCancelButton:
      view_.Cancel();
      ShowView();
      break;
    case kUseButton: UseRow(SelectedRow()); break;
    case IDCANCEL:  // "关闭", Escape
      view_.Cancel();
      done_ = true;
      ::PostMessageW(hwnd_, WM_NULL, 0, 0);
      break;
    default: break;
  }
}

LRESULT CALLBACK DriveSearchDialog::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<DriveSearchDialog*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  switch (msg) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) self->OnCommand(LOWORD(wParam));
      return 0;
    case WM_CLOSE:
      self->OnCommand(IDCANCEL);
      return 0;
    case WM_TIMER:
      if (wParam != kPollTimer) break;
      self->view_.Poll();
      self->ShowView();
      return 0;
    case WM_NOTIFY: {
      const auto* note = reinterpret_cast<const NMHDR*>(lParam);
      if (note->idFrom != kFoundList) break;
      if (note->code == NM_DBLCLK) self->UseRow(reinterpret_cast<const NMITEMACTIVATE*>(lParam)->iItem);
      if (note->code == LVN_ITEMCHANGED) {
        ::EnableWindow(self->Item(kUseButton), !self->view_.Running() && self->SelectedRow() >= 0);
      }
      return 0;
    }
    default:
      break;
  }
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace dd
