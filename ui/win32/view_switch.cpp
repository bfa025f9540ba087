#include "ui/win32/view_switch.h"

#include "ui/win32/main_window.h"
#include "ui/view_switch.h"

namespace dd {

void SwitchView(Session& session, MainWindow& window) { SwitchViewOf(session, window); }

void InstallViewSwitch(Session& session, MainWindow& window) {
  session.events.On(Control::ViewButton, UiEvent::Click,
                    [&session, &window](int) { SwitchView(session, window); });
}

}  // namespace dd
