// Reading the parameter set from a drive, comparing it with a backup file, and writing a
// file back the way a save does: the save's order and retry rule, the store command,
// then a read-back of every value written. The callers own the bus meanwhile (a tool,
// or the window with polling stopped and every worker ended). Standard library only.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "params/parameter_file.h"
#include "params/parameter_set.h"

namespace dd {

// Ends `failedRead` when every read came through in the end, but each of the tries had
// failed replies, so a late reply may stand in for another register's.
inline constexpr const char* kNotClean = " (replies failed on each try)";

// Model, current limits, speed coefficient and PulsesPerRev (motor teeth x pulses per
// tooth), read the connection sequence's way. nullopt when one of the scaling reads
// fails or gives a value nothing can be scaled with; `failedRead` then names it. A
// model that cannot be read is left empty.
std::optional<DriveFacts> ReadDriveFacts(const BusAccess& bus, std::string& failedRead);

// Whether the drive's origin and limit levels are configurable, found out as the
// connection sequence does: a level in use shows it; an all-clear drive is probed by
// writing "origin normally closed", reading back and clearing it again. nullopt when a
// read failed.
std::optional<bool> SensorLevelsConfigurable(const BusAccess& bus);

// Which parameters of the set to touch.
using ParameterMask = std::array<bool, kParameterCount>;

// Reads the masked parameters; each one that fails is left empty.
ParameterValues ReadParameters(const BusAccess& bus, const ParameterMask& which);

// The parameters a restore writes: every one the file holds, DriveNumber (the drive's
// bus address) only when asked.
ParameterMask RestoredParameters(const ParameterFile& file, bool withNumber);

struct Difference {
  ParameterWrite parameter;
  std::optional<int64_t> drive;  // empty: could not be read
  int64_t file = 0;
};
// The masked parameters whose drive value is not the file's.
std::vector<Difference> Differences(const ParameterValues& drive, const ParameterFile& file,
                                    const ParameterMask& which);

// The writes of a restore, in the save's order with its retry rule.
void WriteParameters(const BusAccess& bus, const ParameterFile& file, bool withNumber);

struct RestoreOutcome {
  bool stored = false;              // the store command was acknowledged
  bool lost = false;                // the port went away in the middle
  std::vector<Difference> notTaken; // read back otherwise than the file says
  // The drive took a new number from the file and answers there: read back at it.
  std::optional<uint16_t> newAddress;
  bool AllTook() const { return stored && !lost && notTaken.empty(); }
};
// Store command (the save's retry rule), `settleMs` for the drive to keep the set,
// then every written value read back (at the drive's new number, if it took one).
RestoreOutcome StoreAndVerify(const BusAccess& bus, const ParameterFile& file, bool withNumber,
                              int settleMs);

// What a backup holds: the facts and every parameter, SensorConfig only where the
// levels are configurable. Empty with `failedRead` set when a read fails.
struct DriveParameters {
  DriveFacts facts;
  ParameterValues values{};
};
// The facts and the masked parameters; empty with `failedRead` set when a read fails.
std::optional<DriveParameters> ReadDriveParameters(const BusAccess& bus, const ParameterMask& which,
                                                   std::string& failedRead);
std::optional<DriveParameters> ReadForBackup(const BusAccess& bus, bool sensorLevels,
                                             std::string& failedRead);
// The backup file's text for what was read; `header` lines become comments.
std::string BackupText(const DriveParameters& read, const std::vector<std::string>& header);

}  // namespace dd
