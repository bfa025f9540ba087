// The polling worker: reads the drive's live state over and over, shows it and keeps
// the shared status flags that motion and homing rely on.
#pragma once

#include "app/session.h"

namespace dd {

// Starts the StatusWorker thread (counted in WorkerCount); it ends at the top of the
// first cycle that finds StopPolling set.
void StartStatusWorker(Session& session);

}  // namespace dd
