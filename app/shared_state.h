// Process-wide values shared by the UI thread and the workers. Each is a single word,
// read and written whole (atomics); each flag has one writer, as noted.
#pragma once

#include <atomic>
#include <cstdint>

#include "app/bus_lock.h"
#include "link/serial_port.h"

namespace dd {

struct SharedState {
  // Port and bus (UI thread writes the handle only while no worker runs).
  std::atomic<SerialHandle> PortHandle{0};
  std::atomic<uint16_t> DriveAddress{1};
  BusLock Bus;                              // BusLock
  std::atomic<int32_t> WorkerCount{0};      // every worker
  std::atomic<bool> StopPolling{false};     // UI thread
  std::atomic<double> TicksPerMs{0.0};      // load

  // Homing settings (load, settings dialog) and run state (homing workers).
  std::atomic<int16_t> HomingMode{0};
  std::atomic<int32_t> HomingOffsetTurns{1};
  std::atomic<bool> HomingIdle{true};
  std::atomic<bool> AbortRequested{false};  // stop button sets; stop sequence / homing clear
  std::atomic<uint32_t> StopClicks{0};      // stop button counts; homing runs compare

  // Connection-time values (connection sequence).
  std::atomic<int32_t> DriveVariant{0};
  std::atomic<int32_t> SpeedCoefficient{0};
  std::atomic<int16_t> MotorTeeth{0};
  std::atomic<double> PulsesPerRev{0.0};
  std::atomic<double> PulseLength{0.0};
  std::atomic<double> RunSpeedRpm{0.0};
  std::atomic<int32_t> HomingSpeedRpm{0};
  std::atomic<int32_t> HomingFilter{0};
  std::atomic<int16_t> MaxCurrent{0};
  std::atomic<int16_t> MinCurrent{0};
  std::atomic<bool> MotorEnabled{false};    // sequence; enable/release/move workers
  std::atomic<bool> LimitInputMode{false};
  std::atomic<bool> DirectionReversed{false};
  std::atomic<bool> SensorLevelSupported{false};

  // Status flags (StatusWorker), read by handlers and workers.
  std::atomic<bool> MotorMoving{false};
  std::atomic<bool> DriveHealthy{false};
  std::atomic<bool> FarLimitInput{false};
  std::atomic<bool> NearLimitInput{false};
  std::atomic<bool> OriginInput{false};
  std::atomic<double> ActualPosition{0.0};
  std::atomic<double> TargetPosition{0.0};
  std::atomic<bool> LimitSyncArmed{false};  // MoveWorker arms, StatusWorker clears

  std::atomic<double> MoveTarget{0.0};      // move click handler / homing workers

  // Not one answer in a whole polling cycle: the lamp shows amber (StatusWorker).
  std::atomic<bool> DriveSilent{false};
  // A close or a save that waits for the motion workers while the drive is silent tells
  // them to end, commanding nothing: no standstill or input will ever be reported, and
  // no command taken (UI thread, in WaitForMotionWorkers).
  std::atomic<bool> MotionAbandoned{false};

  // A jog button is held: set by its accepted press, cleared by its release or by the
  // stop at a program's end (UI thread).
  std::atomic<bool> JogHeld{false};
  // Jog, move, homing and stop workers still running (counted like WorkerCount). They
  // watch the polled inputs, so polling must outlive them.
  std::atomic<int32_t> MotionWorkerCount{0};

  // The window's close handler has run to its end: the orderly end has nothing left to
  // do (UI thread).
  std::atomic<bool> WindowClosed{false};

  // Bumped by every open and close of communication, so a connection sequence that is
  // interrupted by a close (it processes events while it waits) can tell and stop.
  std::atomic<uint32_t> ConnectionEpoch{0};
};

}  // namespace dd
