#include "app/exit_steps.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace dd {
namespace {

struct ExitSteps {
  std::mutex mutex;
  std::vector<std::function<void()>> steps;
  bool done = false;
};

// Never destroyed: steps may run from atexit, after static destructors began.
ExitSteps& Steps() {
  static auto* steps = new ExitSteps;
  return *steps;
}

}  // namespace

void AddExitStep(std::function<void()> step) {
  static const bool registered = std::atexit([] { RunExitSteps(); }) == 0;
  (void)registered;
  std::lock_guard lock(Steps().mutex);
  Steps().steps.push_back(std::move(step));
}

void RunExitSteps() {
  ExitSteps& s = Steps();
  std::lock_guard lock(s.mutex);
  if (s.done) return;
  s.done = true;
  for (auto it = s.steps.rbegin(); it != s.steps.rend(); ++it) {
    try {
      (*it)();
    } catch (...) {
      // One failing step must not keep the others from running.
    }
  }
}

void EndProcessNow(int exitCode) {
  RunExitSteps();
  std::fflush(nullptr);
  std::_Exit(exitCode);
}

}  // namespace dd
