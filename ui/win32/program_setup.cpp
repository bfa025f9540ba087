#include "ui/win32/program_setup.h"

#include <utility>

#include "app/session.h"
#include "ui/install_handlers.h"
#include "ui/win32/drive_search_dialog.h"
#include "ui/win32/main_window.h"
#include "ui/win32/parameter_file_menu.h"
#include "ui/win32/view_switch.h"
#include "ui/win32/win32_ui_services.h"

namespace dd {

void LoadProgram(Session& session, Win32UiServices& services, MainWindow& window,
                 ParameterFileDialogs dialogs) {
  services.SetMainWindow(&window);
  InstallAllHandlers(session);
  InstallViewSwitch(session, window);
  if (!dialogs.openFile) dialogs = StandardParameterFileDialogs(window.Handle());
  InstallParameterFileMenu(session, window, std::move(dialogs));
  InstallDriveAddressMenu(session, window);
  window.Load();
}

}  // namespace dd
