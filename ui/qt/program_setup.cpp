#include "ui/qt/program_setup.h"

#include "app/session.h"
#include "ui/qt/bus_log_window.h"
#include "ui/qt/drive_search_dialog.h"
#include "ui/install_handlers.h"
#include "ui/qt/main_window.h"
#include "ui/qt/parameter_file_menu.h"
#include "ui/qt/qt_ui_services.h"
#include "ui/qt/view_switch.h"

namespace dd {

void LoadProgram(Session& session, QtUiServices& services, MainWindow& window) {
  services.SetMainWindow(&window);
  InstallAllHandlers(session);
  InstallViewSwitch(session, window);
  InstallBusLogMenu(window);
  InstallDriveAddressMenu(session, window);
  // Owned by the menu.
  new ParameterFileMenu(session, *window.FileMenu(), StandardParameterFileDialogs(&window));
  window.Load();
}

}  // namespace dd
