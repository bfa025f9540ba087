// Wires the motion panel: jog, relative move, homing ("归零") and its settings dialog.
#pragma once

#include "app/session.h"

namespace dd {

void InstallMotionHandlers(Session& session);

}  // namespace dd
