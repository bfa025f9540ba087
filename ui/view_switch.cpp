#include "ui/view_switch.h"

#include <array>

#include "app/session.h"
#include "ui/main_window.h"
#include "ui/window_layout.h"

namespace dd {
namespace {

constexpr std::array<const char*, 6> kConnectionGroup = {"Label6", "Combo1", "Command1",
                                                         "Label2", "Combo2", "Shape1"};

void SetView(Session& session, MainWindow& window, bool full) {
  ControlModel& model = session.controls;
  const int top = FindControlDef("Picture1")->rect.top;
  window.Controls().MoveTo("Picture1", full ? kPicture1FullLeft : kPicture1CompactLeft, top);
  for (const char* name : kConnectionGroup) model.SetVisible(name, full);
  model.SetVisible("Picture2", full);
  window.SyncNow();
  window.SetOuterSize(full ? kFullOuterWidth : kCompactOuterWidth,
                      full ? kFullOuterHeight : kCompactOuterHeight);
  model.SetVisible("Text6(0)", full);
  model.SetVisible("Text6(1)", full);
  model.SetText("Command10", full ? "简洁版" : "完全版");
  window.SyncNow();
}

}  // namespace

void SwitchView(Session& session, MainWindow& window) {
  const std::string caption = session.controls.Text("Command10");
  if (caption == "简洁版") {
    SetView(session, window, false);
  } else if (caption == "完全版") {
    SetView(session, window, true);
  }
}

void InstallViewSwitch(Session& session, MainWindow& window) {
  session.events.On("Command10", UiEvent::Click,
                    [&session, &window](int) { SwitchView(session, window); });
}

}  // namespace dd
