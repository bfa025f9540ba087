// A simulated closed-loop stepper drive serving Modbus RTU on a fresh pseudo-terminal,
// with a motion model, sensors, faults on demand and a request log. All methods are
// thread-safe; one worker thread serves the line and runs the motion.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim_config.h"

namespace dd {

// What became of one request frame.
enum class SimOutcome {
  Answered,     // normal reply sent
  Exception,    // exception reply sent (unknown function/register, or Exception fault)
  Faulted,      // a fault other than Exception changed or suppressed the reply (see `fault`)
  Ignored,      // bad CRC, another address, broadcast, or line settings that do not match
};

struct SimLogEntry {
  std::chrono::steady_clock::time_point received;  // end of the request frame
  std::chrono::steady_clock::time_point replied;   // last reply byte written; epoch if none
  uint8_t address = 0;
  uint8_t function = 0;
  uint16_t reg = 0;
  uint16_t count = 0;     // registers read or written (1 for function 6)
  uint64_t value = 0;     // written value (fn 6: the word; fn 16: the registers big-endian)
  SimOutcome outcome = SimOutcome::Ignored;
  std::optional<SimFault> fault;
  uint8_t exceptionCode = 0;
  std::vector<uint8_t> request;
  std::vector<uint8_t> reply;  // bytes intended for the wire (after fault shaping)
};

// A scripted fault: applies to the next `count` matching requests (-1 = until cleared).
// Matching narrows by register start address and/or function code when given.
struct SimFaultRule {
  SimFault kind = SimFault::Drop;
  int count = 1;
  std::optional<uint16_t> reg;
  std::optional<uint8_t> function;
};

class SimDrive {
 public:
  explicit SimDrive(SimConfig config = {});
  ~SimDrive();  // Stop()
  SimDrive(const SimDrive&) = delete;
  SimDrive& operator=(const SimDrive&) = delete;

  // Opens a fresh pty (raw, at the configured baud, 8E1) and starts serving it.
  bool Start();
  // Stops the worker, closes the pty and removes the COMn link. Idempotent.
  void Stop();
  bool Running() const;
  // Slave side path, e.g. /dev/pts/7; empty while stopped or vanished.
  std::string DevicePath() const;
  // Makes <port dir>/COMn a link to the device (DRIVEDESK_PORT_DIR, default
  // /tmp/drivedesk-ports); follows Return(), removed on Vanish() and Stop().
  bool LinkAsCom(int n);
  static std::string PortDirectory();

  // Unplugs: closes the pty, the master's next I/O fails. The drive keeps its state.
  void Vanish();
  // Plugs back in on a new pty (the path may differ); returns false on failure.
  bool Return();
  bool Vanished() const;
  // Drops unsaved parameters, reloads the saved copy, stops the motor, zeroes the
  // position counter (the axis does not move) and the error code.
  void PowerCycle();

  // --- Registers as the master sees them ---
  // Single register (function 4 view). nullopt for an unknown address.
  std::optional<uint16_t> Register(uint16_t address) const;
  // Registers of a read at `address` with `count` (functions 3/4: multi-register
  // values by their start address first, else consecutive single registers).
  std::optional<std::vector<uint16_t>> ReadRegisters(uint16_t address, uint16_t count) const;
  // Writes as functions 6 and 16 do, commands included. False where the drive would
  // answer with an exception.
  bool WriteRegister(uint16_t address, uint16_t value);
  bool WriteRegisters(uint16_t address, const std::vector<uint16_t>& values);
  // Convenience: value of a 2- or 4-register block at its start address, big-endian.
  std::optional<uint64_t> Value(uint16_t address) const;
  // Sets any register or value directly, bypassing writability (e.g. read-only
  // constants). `count` 1, 2 or 4; returns false for an unknown address.
  bool SetValue(uint16_t address, uint64_t value, uint16_t count = 1);
  void SetErrorCode(uint16_t code);
  uint16_t ControlWord() const;
  uint16_t PortStatus() const;
  // The saved copy that PowerCycle() restores (after SaveParameters).
  uint64_t SaveCount() const;

  // --- Axis ---
  double TruePosition() const;        // physical, position units
  double DrivePosition() const;       // actual-position counter (physical minus zero)
  double TargetPosition() const;      // in drive coordinates
  double Speed() const;               // position units / s, signed
  int32_t SpeedRegister() const;      // as 0x0045 reads
  bool Enabled() const;
  bool Moving() const;
  void SetTruePosition(double position);  // teleport; stops any motion
  void MoveSensor(SimSensorId sensor, double position);
  void WireSensor(SimSensorId sensor, bool wired);
  void SetSensorNormallyClosed(SimSensorId sensor, bool normallyClosed);
  // Forces the input as seen by the drive (nullopt: back to the sensor).
  void ForceInput(SimSensorId sensor, std::optional<bool> active);
  bool Triggered(SimSensorId sensor) const;    // physically
  bool InputActive(SimSensorId sensor) const;  // as PortStatusWord shows it
  SimAxis Axis() const;

  // --- Faults ---
  void SetFaultProbability(SimFault kind, double probability);
  void ScriptFault(const SimFaultRule& rule);
  void ScriptFault(SimFault kind, int count = 1);
  void ClearFaults();  // rules and probabilities
  // Line expectations (take effect at the next frame).
  void SetLineBaud(uint32_t baud);
  void SetWireRealism(bool on);

  // --- Log ---
  std::vector<SimLogEntry> Log() const;  // snapshot, oldest first (last 20000 kept)
  uint64_t RequestCount() const;         // frames received since start, ever
  void ClearLog();

  // --- Waiting without sleeping blindly ---
  // Evaluates `predicate` after every served frame and motion step until it holds
  // or the timeout passes. Do not call from the predicate back into WaitFor.
  bool WaitFor(const std::function<bool()>& predicate, std::chrono::milliseconds timeout) const;
  bool WaitForRequests(uint64_t count, std::chrono::milliseconds timeout) const;
  bool WaitForStandstill(std::chrono::milliseconds timeout) const;

  const SimConfig& InitialConfig() const;

  // Speed conversions with the drive's present constants.
  double UnitsPerRevolution() const;
  double SpeedUnitsToUnitsPerSecond(double speedUnits) const;

 private:
  bool StartThread();
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace dd
