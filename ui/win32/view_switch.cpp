#include "ui/win32/view_switch.h"

#include <array>

#include "app/session.h"
#include "ui/win32/main_window.h"
#include "ui/window_layout.h"

namespace dd {
namespace {

constexpr std::array kConnectionGroup = {Control::PortCaption, Control::PortList,
                                         Control::OpenCloseButton, Control::BaudCaption,
                                         Control::BaudList, Control::CommLamp};

void SetView(Session& session, MainWindow& window, bool full) {
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

}  // namespace

void SwitchView(Session& session, MainWindow& window) {
  const std::string caption = session.controls.Text(Control::ViewButton);
  if (caption == "简洁版") {
    SetView(session, window, false);
  } else if (caption == "完全版") {
    SetView(session, window, true);
  }
}

void InstallViewSwitch(Session& session, MainWindow& window) {
  session.events.On(Control::ViewButton, UiEvent::Click,
                    [&session, &window](int) { SwitchView(session, window); });
}

}  // namespace dd
