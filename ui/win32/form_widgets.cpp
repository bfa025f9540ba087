#include "ui/win32/form_widgets.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>

#include "app/session.h"
#include "ui/win32/context_menu_filter.h"
#include "ui/win32/lamp_widget.h"
#include "ui/win32/ui_fonts.h"
#include "ui/win32/wide_text.h"

namespace dd {
namespace {

constexpr wchar_t kContainerClass[] = L"DriveDeskPanel";
// Sent to a text field that lost the focus to another control of its window: check it
// now that the change is done. And: forget that a check passed for the change under way.
constexpr UINT kValidateLater = WM_APP + 1;
constexpr UINT kForgetPass = WM_APP + 2;

std::vector<FormWidgets*> g_forms;   // UI thread only
bool g_validating = false;           // a validation (and its message box) is running
HWND g_passed = nullptr;             // field whose check passed for the focus change under way
HWND g_swallow = nullptr;            // control whose press was refused: its release is dropped too

int ButtonNumber(UINT msg) {
  switch (msg) {
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: case WM_LBUTTONUP: return 1;
    case WM_RBUTTONDOWN: case WM_RBUTTONDBLCLK: case WM_RBUTTONUP: return 2;
    default: return 4;
  }
}

bool IsPress(UINT msg) {
  return msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK || msg == WM_RBUTTONDOWN ||
         msg == WM_RBUTTONDBLCLK || msg == WM_MBUTTONDOWN || msg == WM_MBUTTONDBLCLK;
}

bool IsRelease(UINT msg) { return msg == WM_LBUTTONUP || msg == WM_RBUTTONUP || msg == WM_MBUTTONUP; }

HBRUSH Brush(uint32_t color) {
  if (color == kButtonFace) return ::GetSysColorBrush(COLOR_BTNFACE);
  if (color == kWindowBackground) return ::GetSysColorBrush(COLOR_WINDOW);
  static std::map<uint32_t, HBRUSH> made;  // a handful of colours, kept for the program's life
  HBRUSH& brush = made[color];
  if (brush == nullptr) brush = ::CreateSolidBrush(ToColorRef(color));
  return brush;
}

bool SameItems(const std::vector<ComboItem>& shown, const std::vector<ComboItem>& wanted) {
  return std::equal(shown.begin(), shown.end(), wanted.begin(), wanted.end(), [](const ComboItem& a, const ComboItem& b) {
    return a.text == b.text && a.data == b.data && a.toolTip == b.toolTip;
  });
}

}  // namespace

std::string WindowTextUtf8(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return Utf8(text);
}

FormWidgets::FormWidgets(Session& session, const FormDef& form, HWND root, int dpi)
    : session_(session), form_(form), root_(root), dpi_(dpi) {
  static const BOOL commonControls = [] {
    INITCOMMONCONTROLSEX which = {sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    return ::InitCommonControlsEx(&which);
  }();
  (void)commonControls;
  g_forms.push_back(this);
  tips_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, root_, nullptr,
                            ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(tips_, TTM_SETMAXTIPWIDTH, 0, 600);
  Build();
  ApplyAll();
}

FormWidgets::~FormWidgets() {
  g_forms.erase(std::remove(g_forms.begin(), g_forms.end(), this), g_forms.end());
  for (const auto& [hwnd, id] : ids_) ::RemoveWindowSubclass(hwnd, ControlProc, 0);
  if (g_passed != nullptr && ids_.count(g_passed) != 0) g_passed = nullptr;
  if (g_swallow != nullptr && ids_.count(g_swallow) != 0) g_swallow = nullptr;
  if (::IsWindow(tips_)) ::DestroyWindow(tips_);
}

HWND FormWidgets::Window(Control id) const {
  auto it = entries_.find(id);
  return it == entries_.end() ? nullptr : it->second.hwnd;
}

const ControlDef* FormWidgets::Def(Control id) const {
  auto it = entries_.find(id);
  return it == entries_.end() ? nullptr : it->second.def;
}

FormWidgets::Entry* FormWidgets::Find(HWND hwnd) {
  auto it = ids_.find(hwnd);
  return it == ids_.end() ? nullptr : &entries_.at(it->second);
}

int FormWidgets::Pixels(int twips) const { return static_cast<int>(std::lround(twips * dpi_ / 1440.0)); }

RECT FormWidgets::Pixels(const TwipRect& r) const {
  const int left = Pixels(r.left);
  const int top = Pixels(r.top);
  return RECT{left, top, left + Pixels(r.width), top + Pixels(r.height)};
}

HWND FormWidgets::CreateContainer(HWND parent, int id, FormWidgets* form) {
  static const ATOM registered = [] {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ContainerProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kContainerClass;
    return ::RegisterClassW(&wc);
  }();
  (void)registered;
  HWND panel = ::CreateWindowExW(WS_EX_CONTROLPARENT, kContainerClass, L"",
                                 WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 1, 1, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 ::GetModuleHandleW(nullptr), nullptr);
  ::SetWindowLongPtrW(panel, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  return panel;
}

LRESULT CALLBACK FormWidgets::ContainerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* form = reinterpret_cast<FormWidgets*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  LRESULT result = 0;
  if (form != nullptr) {
    if (form->OnContainerMessage(msg, wParam, lParam, result)) return result;
    if (msg == WM_PAINT) {
      form->PaintFrame(hwnd);
      return 0;
    }
  }
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

void FormWidgets::Build() {
  for (const ControlDef& def : form_.controls) {
    HWND parent = def.parent == form_.id ? root_ : Window(def.parent);
    if (parent == nullptr) parent = root_;
    Entry& entry = entries_[def.id];
    entry.def = &def;
    entry.hwnd = Create(def, parent);
    entry.ownEnabled = def.enabled;
    ids_.emplace(entry.hwnd, def.id);
    ::SendMessageW(entry.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(NamedFont(def.fontFamily, def.fontPoints, dpi_)),
                   FALSE);
    Place(entry, def.rect);
    if (def.kind != ControlKind::Panel && def.kind != ControlKind::Frame && def.kind != ControlKind::Label &&
        def.kind != ControlKind::RoundLamp && def.kind != ControlKind::RectLamp) {
      ::SetWindowSubclass(entry.hwnd, ControlProc, 0, reinterpret_cast<DWORD_PTR>(this));
    }
    if (def.kind == ControlKind::TextField) SuppressContextMenu(entry.hwnd);
    TOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = root_;
    tool.uId = reinterpret_cast<UINT_PTR>(entry.hwnd);
    tool.lpszText = const_cast<wchar_t*>(L"");
    ::SendMessageW(tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SetToolTip(entry, def.toolTip);
  }
}

HWND FormWidgets::Create(const ControlDef& def, HWND parent) {
  const int id = DialogId(def.id);
  const std::wstring text = Wide(def.text);
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (def.visible ? WS_VISIBLE : 0);
  DWORD exStyle = 0;
  const wchar_t* cls = L"BUTTON";
  switch (def.kind) {
    case ControlKind::Button:
      // Drawn here: a button's face takes the model's colour (red while homing).
      style |= WS_TABSTOP | BS_OWNERDRAW;
      break;
    case ControlKind::Label:
      cls = L"STATIC";
      style |= SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX;
      break;
    case ControlKind::TextField:
      cls = L"EDIT";
      style |= WS_TABSTOP | ES_AUTOHSCROLL;
      exStyle = WS_EX_CLIENTEDGE;
      break;
    case ControlKind::Combo:
      cls = L"COMBOBOX";
      style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
      break;
    case ControlKind::Check:
      style |= WS_TABSTOP | BS_AUTOCHECKBOX;
      break;
    case ControlKind::Option:
      style |= WS_TABSTOP | BS_RADIOBUTTON;  // exclusive among siblings, done here
      break;
    case ControlKind::RoundLamp:
    case ControlKind::RectLamp: {
      HWND lamp = CreateLamp(parent, def.kind == ControlKind::RoundLamp, id);
      if (!def.visible) ::ShowWindow(lamp, SW_HIDE);
      return lamp;
    }
    case ControlKind::Frame:
    case ControlKind::Panel: {
      HWND panel = CreateContainer(parent, id, this);
      // A later panel of the table stays in front of an earlier one it overlaps (the
      // motion panel over the parameter panel); Windows puts a new window behind.
      ::SetWindowPos(panel, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      ::SetWindowTextW(panel, text.c_str());
      if (!def.visible) ::ShowWindow(panel, SW_HIDE);
      return panel;
    }
  }
  return ::CreateWindowExW(exStyle, cls, text.c_str(), style, 0, 0, 1, 1, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                           nullptr);
}

void FormWidgets::Place(const Entry& entry, const TwipRect& twips) {
  const RECT r = Pixels(twips);
  int height = r.bottom - r.top;
  if (entry.def->kind == ControlKind::Combo) {
    // The window of a drop-down list includes its open list; the closed box keeps the
    // layout's height.
    ::SendMessageW(entry.hwnd, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), std::max(height - 6, 8));
    height += Pixels(3000);
  }
  ::SetWindowPos(entry.hwnd, nullptr, r.left, r.top, r.right - r.left, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void FormWidgets::MoveTo(Control id, int leftTwips, int topTwips) {
  auto it = entries_.find(id);
  if (it == entries_.end()) return;
  TwipRect rect = it->second.def->rect;
  rect.left = leftTwips;
  rect.top = topTwips;
  Place(it->second, rect);
}

void FormWidgets::SetDpi(int dpi) {
  if (dpi == dpi_) return;
  // Where a control was moved (the view switch), it keeps its place in twips.
  std::map<Control, POINT> moved;
  for (auto& [id, entry] : entries_) {
    RECT r;
    ::GetWindowRect(entry.hwnd, &r);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(entry.hwnd), reinterpret_cast<POINT*>(&r), 1);
    moved[id] = POINT{static_cast<LONG>(std::lround(r.left * 1440.0 / dpi_)),
                      static_cast<LONG>(std::lround(r.top * 1440.0 / dpi_))};
  }
  dpi_ = dpi;
  for (auto& [id, entry] : entries_) {
    ::SendMessageW(entry.hwnd, WM_SETFONT,
                   reinterpret_cast<WPARAM>(NamedFont(entry.def->fontFamily, entry.def->fontPoints, dpi_)), TRUE);
    TwipRect rect = entry.def->rect;
    // Rounding in pixels must not move a control that stayed where the table says.
    if (std::abs(moved[id].x - rect.left) > 15 || std::abs(moved[id].y - rect.top) > 15) {
      rect.left = moved[id].x;
      rect.top = moved[id].y;
    }
    Place(entry, rect);
  }
}

void FormWidgets::ApplyAll() {
  for (const ControlDef& def : form_.controls) {
    if (session_.controls.Has(def.id)) Apply(def.id, session_.controls.State(def.id));
  }
}

bool FormWidgets::EffectiveEnabled(const Entry& entry) const {
  if (!entry.ownEnabled) return false;
  auto parent = entries_.find(entry.def->parent);
  return parent == entries_.end() || EffectiveEnabled(parent->second);
}

void FormWidgets::SetEnabledBelow(Control parent) {
  // A control in a disabled panel is disabled itself, so it looks it.
  for (auto& [id, entry] : entries_) {
    if (entry.def->parent != parent) continue;
    const bool enabled = EffectiveEnabled(entry);
    if ((::IsWindowEnabled(entry.hwnd) != FALSE) != enabled) ::EnableWindow(entry.hwnd, enabled);
    if (entry.def->kind == ControlKind::Panel || entry.def->kind == ControlKind::Frame) SetEnabledBelow(id);
  }
}

void FormWidgets::SetToolTip(Entry& entry, const std::string& text) {
  if (entry.toolTip == text) return;
  entry.toolTip = text;
  const std::wstring wide = Wide(text);
  TOOLINFOW tool = {};
  tool.cbSize = sizeof(tool);
  tool.hwnd = root_;
  tool.uId = reinterpret_cast<UINT_PTR>(entry.hwnd);
  tool.lpszText = const_cast<wchar_t*>(wide.c_str());
  ::SendMessageW(tips_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void FormWidgets::Apply(Control id, const ControlState& state) {
  // The form's own text is its window's title (the drive's address, say).
  if (id == form_.id) {
    if (!state.text.empty() && WindowTextUtf8(root_) != state.text) ::SetWindowTextW(root_, Wide(state.text).c_str());
    return;
  }
  auto it = entries_.find(id);
  if (it == entries_.end()) return;
  Entry& entry = it->second;
  HWND hwnd = entry.hwnd;
  applying_ = true;
  const ControlKind kind = entry.def->kind;
  if (kind != ControlKind::Combo && kind != ControlKind::RoundLamp && kind != ControlKind::RectLamp &&
      WindowTextUtf8(hwnd) != state.text) {
    ::SetWindowTextW(hwnd, Wide(state.text).c_str());
    // Show the start of a long text unless the operator is working in it.
    if (kind == ControlKind::TextField && ::GetFocus() != hwnd) ::SendMessageW(hwnd, EM_SETSEL, 0, 0);
    if (kind == ControlKind::Frame) ::InvalidateRect(hwnd, nullptr, TRUE);
  }
  if (entry.color != state.color || entry.textColor != state.textColor) {
    entry.color = state.color;
    entry.textColor = state.textColor;
    ::InvalidateRect(hwnd, nullptr, TRUE);
  }
  switch (kind) {
    case ControlKind::Combo:
      if (!SameItems(entry.items, state.items)) {
        entry.items = state.items;
        ::SendMessageW(hwnd, CB_RESETCONTENT, 0, 0);
        for (const ComboItem& item : state.items) {
          const auto at = ::SendMessageW(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item.text).c_str()));
          ::SendMessageW(hwnd, CB_SETITEMDATA, static_cast<WPARAM>(at), item.data);
        }
      }
      if (::SendMessageW(hwnd, CB_GETCURSEL, 0, 0) != state.comboIndex) {
        const int index = state.comboIndex < static_cast<int>(state.items.size()) ? state.comboIndex : -1;
        ::SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
      }
      break;
    case ControlKind::Check:
    case ControlKind::Option:
      if ((::SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED) != state.checked) {
        ::SendMessageW(hwnd, BM_SETCHECK, state.checked ? BST_CHECKED : BST_UNCHECKED, 0);
        if (kind == ControlKind::Option && state.checked) CheckOption(entry);
      }
      break;
    case ControlKind::RoundLamp:
    case ControlKind::RectLamp:
      SetLampColor(hwnd, state.color);
      break;
    default:
      break;
  }
  if (entry.ownEnabled != state.enabled || (::IsWindowEnabled(hwnd) != FALSE) != EffectiveEnabled(entry)) {
    entry.ownEnabled = state.enabled;
    ::EnableWindow(hwnd, EffectiveEnabled(entry));
    if (kind == ControlKind::Panel || kind == ControlKind::Frame) SetEnabledBelow(id);
  }
  if (((::GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0) != state.visible) {
    ::ShowWindow(hwnd, state.visible ? SW_SHOWNA : SW_HIDE);
  }
  SetToolTip(entry, state.toolTip.empty() ? entry.def->toolTip : state.toolTip);
  applying_ = false;
}

void FormWidgets::CheckOption(Entry& entry) {
  // Exclusive siblings switch off together; the model follows.
  ::SendMessageW(entry.hwnd, BM_SETCHECK, BST_CHECKED, 0);
  for (auto& [id, other] : entries_) {
    if (&other == &entry || other.def->kind != ControlKind::Option || other.def->parent != entry.def->parent) continue;
    ::SendMessageW(other.hwnd, BM_SETCHECK, BST_UNCHECKED, 0);
    session_.controls.SetCheckedFromWidget(id, false);
  }
  session_.controls.SetCheckedFromWidget(entry.def->id, true);
}

void FormWidgets::OnCommand(Entry& entry, int code) {
  if (applying_) return;
  const Control id = entry.def->id;
  switch (entry.def->kind) {
    case ControlKind::Button:
      if (code == BN_CLICKED) session_.events.Dispatch(id, UiEvent::Click);
      break;
    case ControlKind::TextField:
      if (code == EN_CHANGE) session_.controls.SetTextFromWidget(id, WindowTextUtf8(entry.hwnd));
      break;
    case ControlKind::Combo:
      if (code == CBN_SELCHANGE) {
        session_.controls.SetComboIndexFromWidget(id, static_cast<int>(::SendMessageW(entry.hwnd, CB_GETCURSEL, 0, 0)));
        session_.events.Dispatch(id, UiEvent::Click);
      }
      break;
    case ControlKind::Check:
      if (code == BN_CLICKED) {
        session_.controls.SetCheckedFromWidget(id, ::SendMessageW(entry.hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED);
        session_.events.Dispatch(id, UiEvent::Click);
      }
      break;
    case ControlKind::Option:
      if (code == BN_CLICKED && ::SendMessageW(entry.hwnd, BM_GETCHECK, 0, 0) != BST_CHECKED) {
        CheckOption(entry);
        session_.events.Dispatch(id, UiEvent::Click);
      }
      break;
    default:
      break;
  }
}

void FormWidgets::DrawButton(const DRAWITEMSTRUCT& item) {
  Entry* entry = Find(item.hwndItem);
  if (entry == nullptr) return;
  RECT box = item.rcItem;
  const bool pushed = (item.itemState & ODS_SELECTED) != 0;
  ::DrawFrameControl(item.hDC, &box, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
  RECT face = box;
  ::InflateRect(&face, -2, -2);
  if (entry->color != kButtonFace) ::FillRect(item.hDC, &face, Brush(entry->color));
  const std::wstring text = Wide(WindowTextUtf8(item.hwndItem));
  ::SetBkMode(item.hDC, TRANSPARENT);
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  ::SetTextColor(item.hDC, ::GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  if (pushed) ::OffsetRect(&face, 1, 1);
  ::DrawTextW(item.hDC, text.c_str(), -1, &face, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  if ((item.itemState & ODS_FOCUS) != 0) {
    ::InflateRect(&face, -1, -1);
    ::DrawFocusRect(item.hDC, &face);
  }
}

void FormWidgets::PaintFrame(HWND frame) {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(frame, &ps);
  Entry* entry = Find(frame);
  if (entry != nullptr && entry->def->kind == ControlKind::Frame) {
    RECT box;
    ::GetClientRect(frame, &box);
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(NamedFont(entry->def->fontFamily, entry->def->fontPoints, dpi_)));
    TEXTMETRICW metrics;
    ::GetTextMetricsW(dc, &metrics);
    RECT edge = box;
    edge.top += metrics.tmHeight / 2;
    ::DrawEdge(dc, &edge, EDGE_ETCHED, BF_RECT);
    const std::wstring text = Wide(WindowTextUtf8(frame));
    if (!text.empty()) {
      RECT caption = {Pixels(120), 0, box.right - Pixels(120), metrics.tmHeight};
      ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
      ::SetBkMode(dc, OPAQUE);
      ::SetTextColor(dc, ::GetSysColor(::IsWindowEnabled(frame) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
      ::DrawTextW(dc, (L" " + text + L" ").c_str(), -1, &caption, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    }
    ::SelectObject(dc, old);
  }
  ::EndPaint(frame, &ps);
}

bool FormWidgets::OnContainerMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (msg) {
    case WM_COMMAND: {
      Entry* entry = Find(reinterpret_cast<HWND>(lParam));
      if (entry == nullptr) return false;
      OnCommand(*entry, HIWORD(wParam));
      result = 0;
      return true;
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item->CtlType != ODT_BUTTON || Find(item->hwndItem) == nullptr) return false;
      DrawButton(*item);
      result = TRUE;
      return true;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      Entry* entry = Find(reinterpret_cast<HWND>(lParam));
      if (entry == nullptr) return false;
      HDC dc = reinterpret_cast<HDC>(wParam);
      if (entry->def->kind == ControlKind::TextField) {
        ::SetBkColor(dc, ToColorRef(entry->color));
        if (::IsWindowEnabled(entry->hwnd)) {
          ::SetTextColor(dc, entry->textColor == kDefaultTextColor ? ::GetSysColor(COLOR_WINDOWTEXT)
                                                                  : ToColorRef(entry->textColor));
        } else {
          ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
        }
        result = reinterpret_cast<LRESULT>(Brush(entry->color));
      } else {
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, ::IsWindowEnabled(entry->hwnd) ? ToColorRef(entry->def->textColor)
                                                          : ::GetSysColor(COLOR_GRAYTEXT));
        result = reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
      }
      return true;
    }
    default:
      return false;
  }
}

bool FormWidgets::MayLeaveFocusedField(HWND target) {
  HWND focused = ::GetFocus();
  if (focused == nullptr || focused == target) return true;
  for (FormWidgets* form : g_forms) {
    Entry* entry = form->Find(focused);
    if (entry == nullptr || entry->def->kind != ControlKind::TextField) continue;
    if (g_validating) return false;  // its message box is open; hold everything still
    g_validating = true;
    const bool ok = form->session_.events.Validate(entry->def->id);
    g_validating = false;
    if (ok) {
      // The focus change that follows needs no second check; forget it once it is done.
      g_passed = focused;
      ::PostMessageW(focused, kForgetPass, 0, 0);
    } else if (::GetFocus() != focused) {
      ::SetFocus(focused);
    }
    return ok;
  }
  return true;
}

LRESULT CALLBACK FormWidgets::ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                          DWORD_PTR form) {
  Entry* entry = reinterpret_cast<FormWidgets*>(form)->Find(hwnd);
  if (entry == nullptr) return ::DefSubclassProc(hwnd, msg, wParam, lParam);
  return reinterpret_cast<FormWidgets*>(form)->OnControlMessage(*entry, msg, wParam, lParam);
}

LRESULT FormWidgets::OnControlMessage(Entry& entry, UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND hwnd = entry.hwnd;
  const Control id = entry.def->id;
  const bool isButton = entry.def->kind == ControlKind::Button;
  const bool isField = entry.def->kind == ControlKind::TextField;
  if (IsPress(msg)) {
    if (!::IsWindowEnabled(hwnd)) return ::DefSubclassProc(hwnd, msg, wParam, lParam);
    if (msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN || msg == WM_MBUTTONDOWN) {
      g_swallow = nullptr;  // a new press; a release lost to a message box no longer counts
    } else if (g_swallow == hwnd) {
      return 0;  // second half of a double click whose first press was refused
    }
    // The field that has the focus validates first; refused, it keeps the focus and the
    // press does nothing.
    if (!MayLeaveFocusedField(hwnd)) {
      g_swallow = hwnd;
      return 0;
    }
    const LRESULT result = ::DefSubclassProc(hwnd, msg, wParam, lParam);
    if (isButton) session_.events.Dispatch(id, UiEvent::MouseDown, ButtonNumber(msg));
    return result;
  }
  if (IsRelease(msg)) {
    if (g_swallow == hwnd) {
      if ((wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) == 0) g_swallow = nullptr;
      return 0;
    }
    // A release on a button the program disabled meanwhile still ends a held jog.
    if (isButton) session_.events.Dispatch(id, UiEvent::MouseUp, ButtonNumber(msg));
    return ::DefSubclassProc(hwnd, msg, wParam, lParam);
  }
  if (!isField) return ::DefSubclassProc(hwnd, msg, wParam, lParam);
  switch (msg) {
    case WM_GETDLGCODE: {
      // Enter and Escape reach the field's key filter instead of closing anything.
      LRESULT code = ::DefSubclassProc(hwnd, msg, wParam, lParam);
      const auto* key = reinterpret_cast<const MSG*>(lParam);
      if (key != nullptr && key->message == WM_KEYDOWN && (key->wParam == VK_RETURN || key->wParam == VK_ESCAPE)) {
        code |= DLGC_WANTALLKEYS;
      }
      return code;
    }
    case WM_CHAR: {
      const auto unit = static_cast<wchar_t>(wParam);
      if (unit >= 0xD800 && unit <= 0xDFFF) break;  // half of a character outside the BMP: no filter takes it
      if (unit == 0x7F) break;                        // Ctrl+Backspace
      if (!session_.events.FilterKey(id, static_cast<char32_t>(unit))) return 0;
      break;
    }
    case WM_KILLFOCUS: {
      const auto next = reinterpret_cast<HWND>(wParam);
      if (g_passed == hwnd) {
        g_passed = nullptr;
        break;
      }
      // Another window (a message box, the dialog) taking the focus is no change of field.
      if (g_validating || next == nullptr || ::GetAncestor(next, GA_ROOT) != ::GetAncestor(hwnd, GA_ROOT)) break;
      // A change of field by the program or by a control that does not check first:
      // check once it is done, and take the focus back if the field refuses.
      ::PostMessageW(hwnd, kValidateLater, 0, 0);
      break;
    }
    case kValidateLater:
      if (!g_validating && ::GetFocus() != hwnd) {
        g_validating = true;
        const bool ok = session_.events.Validate(id);
        g_validating = false;
        if (!ok && ::IsWindow(hwnd)) ::SetFocus(hwnd);
      }
      return 0;
    case kForgetPass:
      if (g_passed == hwnd) g_passed = nullptr;
      return 0;
    default:
      break;
  }
  return ::DefSubclassProc(hwnd, msg, wParam, lParam);
}

void FormWidgets::Deliver(MSG& msg) {
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && !MayLeaveFocusedField(nullptr)) return;
  HWND root = msg.hwnd != nullptr ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  for (FormWidgets* form : g_forms) {
    if (form->root_ == root && ::IsDialogMessageW(root, &msg)) return;
  }
  ::TranslateMessage(&msg);
  ::DispatchMessageW(&msg);
}

}  // namespace dd
