#include "app/orderly_shutdown.h"

#include <chrono>
#include <thread>

#include "app/exit_steps.h"

namespace dd {

bool MotionRunning(const Session& session) {
  const SharedState& st = session.state;
  return st.JogHeld.load() || st.MotorMoving.load() || !st.HomingIdle.load() ||
         st.MotionWorkerCount.load() > 0;
}

void StopRunningMotion(Session& session) {
  session.state.JogHeld = false;
  session.events.Dispatch(Control::StopButton, UiEvent::Click);
}

void ShutDownSession(Session& session) {
  // The window's own close came first (Qt's aboutToQuit follows it).
  if (session.state.WindowClosed.load()) return;
  if (MotionRunning(session)) StopRunningMotion(session);
  session.events.Dispatch(Control::MainWindow, UiEvent::Close);
}

void EndProgram(Session& session, int deadlineMs) {
  static bool ending = false;
  if (ending) return;
  ending = true;
  std::thread([deadlineMs] {
    std::this_thread::sleep_for(std::chrono::milliseconds(deadlineMs));
    EndProcessNow(1);
  }).detach();
  ShutDownSession(session);
  EndProcessNow(0);
}

}  // namespace dd
