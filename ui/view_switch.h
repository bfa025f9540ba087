// The full/compact switch of the main window (the view button), for either window: it
// moves, hides and resizes, and never looks at the connection or the motion state.
// `Window` offers Controls().MoveTo, SyncNow and SetOuterSize in twips.
#pragma once

#include <array>
#include <string>

#include "app/session.h"
#include "ui/window_layout.h"

namespace dd {

template <typename Window>
void SetView(Session& session, Window& window, bool full) {
  static constexpr std::array kConnectionGroup = {Control::PortCaption, Control::PortList,
                                                  Control::OpenCloseButton, Control::BaudCaption,
                                                  Control::BaudList, Control::CommLamp};
  ControlModel& model = session.controls;
  const int top = FindControlDef(Control::MotionPanel)->rect.top;
  window.Controls().MoveTo(Control::MotionPanel,
                           full ? kMotionPanelFullLeft : kMotionPanelCompactLeft, top);
  for (const Control control : kConnectionGroup) model.SetVisible(control, full);
  model.SetVisible(Control::ParameterPanel, full);
  window.SyncNow();
  window.SetOuterSize(full ? kFullOuterWidth : kCompactOuterWidth,
                      full ? kFullOuterHeight : kCompactOuterHeight);
  model.SetVisible(Control::StatusCaption, full);
  model.SetVisible(Control::StatusText, full);
  model.SetText(Control::ViewButton, full ? "简洁版" : "完全版");
  window.SyncNow();
}

// Switches by the caption of the view button: "简洁版" to the compact view, "完全版" back.
template <typename Window>
void SwitchViewOf(Session& session, Window& window) {
  const std::string caption = session.controls.Text(Control::ViewButton);
  if (caption == "简洁版") {
    SetView(session, window, false);
  } else if (caption == "完全版") {
    SetView(session, window, true);
  }
}

}  // namespace dd
