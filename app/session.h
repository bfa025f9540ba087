// Everything one running program shares: the flags, the controls' state, the event
// routes and the window services. Knows nothing of widgets; the window observes it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/control_model.h"
#include "app/event_router.h"
#include "app/shared_state.h"
#include "app/ui_services.h"

namespace dd {

class SampleHistory;

struct Session {
  explicit Session(UiServices& services) : ui(services) {}
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  SharedState state;
  ControlModel controls;
  EventRouter events;
  UiServices& ui;
  // What the polling read, over time (status subsystem); set before any worker starts,
  // null where nobody records.
  std::shared_ptr<SampleHistory> samples;

  // Run by a one-shot timer after communication opened and after a save; installed by the
  // parameter subsystem.
  std::function<void()> ConnectionSequence;

  // Set when communication opens: what the user should know about the adapter (a
  // latency timer that could not be lowered), "" when nothing. For the communication log.
  std::string PortNotice;

  // Where the drive's address is remembered between runs (app/drive_address.h); "" keeps
  // nothing (tests).
  std::string SettingsPath;

  // Shorthands for the common calls.
  void Message(MessageIcon icon, const std::string& title, const std::string& text) {
    ui.ShowMessage(icon, title, text);
  }
  // Connected while the connect button reads "关闭通信".
  bool Connected() const { return controls.Text(Control::OpenCloseButton) == "关闭通信"; }
};

// Runs `body` as a worker thread in the common skeleton: counted in WorkerCount from
// before the thread starts until it ends; never joined.
void StartWorker(Session& session, std::function<void()> body);

// StartWorker for a jog, move, homing or stop worker: also counted in MotionWorkerCount.
void StartMotionWorker(Session& session, std::function<void()> body);

// Waits more than `ms` milliseconds on a steady clock; on the UI thread it keeps
// processing window events meanwhile, on a worker it only sleeps.
void DelayMs(Session& session, int ms);

// Processes window events until WorkerCount is 0 (UI thread; no time limit).
void WaitForWorkers(Session& session);
// The same until MotionWorkerCount is 0; polling goes on meanwhile. Once the drive is
// silent (DriveSilent) the workers are told to end (MotionAbandoned).
void WaitForMotionWorkers(Session& session);

// "0"/"1" text of the low 8*bytes bits of value, most significant first.
std::string ToBinaryString(int32_t value, int16_t bytes);

// Tries `command` up to `attempts` times, with DelayMs(delayMs) after each failure
// (0: back to back); returns whether one attempt returned 0.
template <typename Command>
bool Retry(Session& session, int attempts, int delayMs, Command&& command) {
  for (int i = 0; i < attempts; ++i) {
    if (command() == 0) return true;
    if (delayMs > 0) DelayMs(session, delayMs);
  }
  return false;
}

// Port and address as the workers use them.
inline SerialHandle Port(const Session& s) { return s.state.PortHandle.load(); }
inline uint16_t Addr(const Session& s) { return s.state.DriveAddress.load(); }

}  // namespace dd
