// Enable, release, set zero and the stop sequence: short workers behind the buttons
// the enable, set-zero and stop buttons.
#pragma once

#include "app/session.h"

namespace dd {

// Worker bodies (run inside StartWorker). Each is also callable as a plain routine.
void EnableWorker(Session& session);
// A jog button's release: ClearCommand as EnableWorker sends it, but as a stopping
// command (it goes out without waiting for the late-reply guard).
void JogReleaseWorker(Session& session);
void ReleaseWorker(Session& session);
void SetZeroWorker(Session& session);
// The stop sequence: StopMotion, target onto the last polled actual position, ClearCommand;
// clears AbortRequested at its end; a stopping command throughout. Runs in the caller's
// thread.
void AbortMotion(Session& session);

// Installs the handlers of the enable button (使能/脱机), the set-zero button (置零) and
// the stop button (中断).
void InstallDriveStateHandlers(Session& session);

}  // namespace dd
