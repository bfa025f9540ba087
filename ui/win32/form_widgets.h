// The native controls of one form, built from its layout table and numbered after their
// controls (GetDlgCtrlID is 100 + the Control). Mirrors control states from the model
// into the controls, reports what the user does back to the model and the event router,
// filters typed keys, runs the validation when a text field is about to lose the focus,
// and hides the text fields' context menu. Containers (panels, frames, the window
// itself) hand their controls' notifications here.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "app/control_model.h"
#include "ui/window_layout.h"

namespace dd {

struct Session;

// A window's text as UTF-8.
std::string WindowTextUtf8(HWND window);

class FormWidgets {
 public:
  // Builds every control of `form` inside `root` at `dpi` and applies the model's states.
  FormWidgets(Session& session, const FormDef& form, HWND root, int dpi);
  ~FormWidgets();
  FormWidgets(const FormWidgets&) = delete;
  FormWidgets& operator=(const FormWidgets&) = delete;

  const FormDef& Form() const { return form_; }
  HWND Root() const { return root_; }
  // The window of a control, nullptr when the form has no such control.
  HWND Window(Control id) const;
  const ControlDef* Def(Control id) const;
  static int DialogId(Control id) { return 100 + static_cast<int>(id); }

  void Apply(Control id, const ControlState& state);
  void ApplyAll();

  // Twips to pixels at the monitor's DPI (15 twips a pixel at 96 DPI).
  int Dpi() const { return dpi_; }
  int Pixels(int twips) const;
  RECT Pixels(const TwipRect& rect) const;
  // A new DPI (WM_DPICHANGED): every control placed and given its font again.
  void SetDpi(int dpi);
  void MoveTo(Control id, int leftTwips, int topTwips);

  // A container's message from one of its controls (WM_COMMAND, WM_CTLCOLOR*,
  // WM_DRAWITEM): true when handled, with `result`.
  bool OnContainerMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

  // Every message of the UI thread's loops goes through here: the Tab key leaves a
  // text field only when it passes its check, and Tab moves between controls.
  static void Deliver(MSG& msg);
  // Registers the containers' window class; the form's root windows forward as above.
  static HWND CreateContainer(HWND parent, int id, FormWidgets* form);

 private:
  struct Entry {
    const ControlDef* def = nullptr;
    HWND hwnd = nullptr;
    bool ownEnabled = true;
    uint32_t color = kButtonFace;
    uint32_t textColor = kDefaultTextColor;
    std::vector<ComboItem> items;
    std::string toolTip;
  };

  void Build();
  HWND Create(const ControlDef& def, HWND parent);
  void Place(const Entry& entry, const TwipRect& rect);
  void SetEnabledBelow(Control parent);
  bool EffectiveEnabled(const Entry& entry) const;
  void SetToolTip(Entry& entry, const std::string& text);
  void OnCommand(Entry& entry, int code);
  void CheckOption(Entry& entry);
  void DrawButton(const DRAWITEMSTRUCT& item);
  Entry* Find(HWND hwnd);

  static LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                      DWORD_PTR form);
  static LRESULT CALLBACK ContainerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT OnControlMessage(Entry& entry, UINT msg, WPARAM wParam, LPARAM lParam);
  void PaintFrame(HWND frame);
  // Whether the text field that holds the focus may give it up to `target` (nullptr:
  // to whatever comes next). Runs its validation at most once.
  static bool MayLeaveFocusedField(HWND target);

  Session& session_;
  const FormDef& form_;
  HWND root_;
  int dpi_;
  HWND tips_ = nullptr;
  std::map<Control, Entry> entries_;
  std::map<HWND, Control> ids_;
  bool applying_ = false;  // notifications caused by the model are not reported back
};

}  // namespace dd
