// Steps that must run however the process ends (a log to flush, say): on a normal
// return from main, after the orderly end that a signal or the session's end asks
// for, and when that end runs out of time. Not run when a second signal ends the
// process at once.
#pragma once

#include <functional>

namespace dd {

// Registers a step; steps run once, the last registered first. Any thread.
void AddExitStep(std::function<void()> step);

// Runs the registered steps (once; later calls wait for the first to finish).
void RunExitSteps();

// Runs the exit steps and ends the process with `exitCode`, without destructors:
// workers may still be running.
[[noreturn]] void EndProcessNow(int exitCode);

}  // namespace dd
