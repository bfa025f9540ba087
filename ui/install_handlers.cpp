#include "ui/install_handlers.h"

#include "app/session.h"
#include "app/shell_handlers.h"
#include "motion/motion_handlers.h"
#include "params/parameter_handlers.h"
#include "status/drive_state_commands.h"
#include "status/sample_history.h"

namespace dd {

void InstallAllHandlers(Session& session) {
  // Before anything can start a worker that records into it.
  session.samples = std::make_shared<SampleHistory>();
  InstallShellHandlers(session);
  InstallParameterHandlers(session);
  InstallDriveStateHandlers(session);
  InstallMotionHandlers(session);
}

}  // namespace dd
