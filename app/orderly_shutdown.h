// Ending the program without leaving the drive running: the one path for a signal,
// the end of the desktop session and a window closed while a jog button is held.
// Platform-neutral and free of the window system; the platform files only bring the
// request to the UI thread.
#pragma once

#include "app/session.h"

namespace dd {

// A jog button is held, or a move, a homing run or a stop is under way.
bool MotionRunning(const Session& session);

// What "中断" does (its click handler: AbortRequested, then AbortMotion as a worker);
// the held jog button counts as released. UI thread.
void StopRunningMotion(Session& session);

// Stops what moves, then runs the window's close handler (workers waited out with
// polling until motion has ended, port closed). Returns when that is done; safe to
// call again. UI thread.
void ShutDownSession(Session& session);

// Seconds after which a program asked to end ends even if the drive does not answer.
inline constexpr int kShutdownDeadlineMs = 5000;

// The end asked for from outside the window: arms the deadline (exit code 1 when it
// fires), shuts the session down, runs the exit steps and ends the process with 0.
// Returns at once, doing nothing, when an end is already under way. UI thread.
void EndProgram(Session& session, int deadlineMs = kShutdownDeadlineMs);

}  // namespace dd
