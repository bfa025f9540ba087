// One table of every control of the main window and the homing settings dialog: kind,
// parent, caption, list items, geometry in twips, start state and tooltip, and the
// control's name in the form designer's layout description. The widgets are built from
// it, and the control model is declared from it, so logic tests without widgets see the
// same start states as the window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/control_model.h"

namespace dd {

// Default background of an editable text field (the platform's window colour).
inline constexpr uint32_t kWindowBackground = 0x80000005;
// Default text colour (the platform's window-text colour).
inline constexpr uint32_t kWindowText = 0x80000008;

enum class ControlKind {
  Button,
  Label,
  TextField,
  Combo,  // drop-down list, no typing
  Check,
  Option,
  RoundLamp,
  RectLamp,
  Frame,  // captioned group
  Panel,  // plain container
};

struct TwipRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const TwipRect&) const = default;
};

struct ControlDef {
  Control id = Control::MainWindow;
  std::string designerName;  // in the layout description: "Text2(4)", "Form2.Option1"
  ControlKind kind = ControlKind::Label;
  Control parent = Control::MainWindow;  // a window, panel or frame
  std::string text;    // caption or start text
  std::vector<ComboItem> items;
  TwipRect rect;       // relative to the parent
  bool enabled = true;
  bool visible = true;
  uint32_t color = kButtonFace;     // lamp fill, button face or field background
  uint32_t textColor = kWindowText;
  std::string fontFamily;           // empty: the window's font
  int fontPoints = 0;               // 0: the window's size
  std::string toolTip;
};

struct FormDef {
  Control id = Control::MainWindow;  // MainWindow or SettingsDialog
  std::string designerName;          // "Form1", "Form2"
  std::string title;
  TwipRect client;       // width/height of the client area
  int outerWidth = 0;    // outer window in the full view (0: not fixed)
  int outerHeight = 0;
  std::vector<ControlDef> controls;  // parents before their children
};

const FormDef& MainFormDef();
const FormDef& SettingsFormDef();
// Looks a control up in both forms; nullptr for the windows themselves.
const ControlDef* FindControlDef(Control id);

// Outer window sizes of the two views of the main window, in twips.
inline constexpr int kFullOuterWidth = 10275;
inline constexpr int kFullOuterHeight = 8970;
inline constexpr int kCompactOuterWidth = 6015;
inline constexpr int kCompactOuterHeight = 3690;
inline constexpr int kMotionPanelFullLeft = 4320;
inline constexpr int kMotionPanelCompactLeft = 240;

// Start state of one control as the model holds it.
ControlState StartState(const ControlDef& def);
// Declares every control of both forms in the model with its start state.
void DefineControls(ControlModel& model);
// Puts every control of `form` back to its start state (with change notification);
// the dialog starts fresh on each opening.
void ResetControls(ControlModel& model, const FormDef& form);

}  // namespace dd
