// The parameters that a save writes, described once: their names, the order and retry
// rule of the save, the grid field each one is edited in, the range of its register,
// and the drive operations that read and write it. The save, the backup file and the
// restore all read this table. Standard library only.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "app/bus_lock.h"
#include "app/control.h"
#include "link/modbus_rtu.h"
#include "link/serial_port.h"

namespace dd {

// The writes of a save, in the order they are sent.
enum class ParameterWrite {
  DriveConfig,
  InputBandwidth,
  DriveNumber,
  CurrentReduction,
  ReductionDelay,
  DriveCurrent,
  RunSpeed,
  HomingSpeed,
  StartSpeed,
  CommFilter,
  SpeedFilter,
  HomingFilter,
  PulseLength,
  SensorConfig,
};
inline constexpr int kParameterCount = 14;

struct ParameterInfo {
  ParameterWrite write;
  std::string_view name;     // the drive operations' name without Read/Write
  std::optional<Control> field;  // the grid field it is edited in; none for composed values
  double max;                    // largest value the register's encoding takes
  std::string_view caption;      // what the window calls it
};

// All parameters in the save's order.
const std::array<ParameterInfo, kParameterCount>& ParameterTable();
const ParameterInfo& InfoOf(ParameterWrite write);
// nullptr for a name that is not one of the set's.
const ParameterInfo* FindParameter(std::string_view name);
inline std::size_t IndexOf(ParameterWrite write) { return static_cast<std::size_t>(write); }

// The bus as its user lends it: which port and address, how to wait between attempts
// (the window keeps processing events, a tool just sleeps) and when the port is no
// longer ours (closed or reopened meanwhile; then nothing touches it again).
struct BusAccess {
  SerialHandle port = 0;
  uint16_t address = 1;
  std::function<void(int ms)> delay;
  std::function<bool()> lost;
  int* failedAttempts = nullptr;  // counts every attempt that failed, when set
  // When set, taken for each attempt only, so that polling and the stop get the bus
  // between any two transactions; an attempt that cannot take it in time fails.
  BusLock* lock = nullptr;
  bool Lost() const { return port == 0 || (lost && lost()); }
};

// One attempt, with the value the drive command takes (WriteDriveConfig: the image with
// its bytes exchanged).
CommandResult SendParameterWrite(ParameterWrite write, double value, SerialHandle port,
                                 uint16_t address);
// The save's retry rule: up to 11 attempts with 5 ms after each failure; gives up
// silently. True when one attempt succeeded.
bool WriteWithSaveRetry(const BusAccess& bus, ParameterWrite write, double value);
// The connection sequence's rule: up to 10 attempts with 5 ms after each failure.
// The value exactly as drivectl prints the read (SensorConfig: its low 32 bits, signed).
std::optional<int64_t> ReadParameter(const BusAccess& bus, ParameterWrite write);
// Attempts `op` the connection sequence's way (10 tries, 5 ms apart) for other reads.
bool ReadWithRetry(const BusAccess& bus, const std::function<CommandResult()>& op);
// After the store of a new drive number: where the drive answers now. `number`, unless
// the drive is silent there and still answers at the old address (a drive that takes
// its number only when switched off and on again); `number` also when it answers nowhere.
uint16_t AnsweringAddress(const BusAccess& bus, uint16_t number);

// A reply that comes after its request gave up can stand in for the next request's
// (a one-register reply does not name its register), so a group of reads is trusted
// only when none of its attempts failed after the line had been quiet long enough for
// any late reply to have come and be purged. Runs `reads` that way up to 3 times; true
// when one run was clean.
bool ReadCleanly(const BusAccess& bus, const std::function<void(const BusAccess&)>& reads);
inline constexpr int kLateReplyQuietMs = 200;

// Register 0x0008 as read, turned into the argument WriteDriveConfig takes.
int32_t DriveConfigWriteArgument(int32_t registerValue);
// What the save writes for a register value read from the drive.
double WriteArgumentOf(ParameterWrite write, int64_t registerValue);

// How long a save lets the drive keep the stored set before reading it again.
inline constexpr int kStoreSettleMs = 2000;

// Store command (SaveParameters) with the save's retry rule.
bool StoreWithSaveRetry(const BusAccess& bus);

}  // namespace dd
