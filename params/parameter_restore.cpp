#include "params/parameter_restore.h"

#include "app/clock_text.h"
#include "app/number_text.h"
#include "link/drive_commands.h"
#include "params/field_validation.h"

namespace dd {
namespace {

constexpr int32_t kOriginClosedProbe = 0x00080000;  // bit 19 only

bool Bit(int32_t v, int bit) { return ((static_cast<uint32_t>(v) >> bit) & 1u) != 0; }

template <typename T>
bool Read(const BusAccess& bus, CommandResult (*read)(SerialHandle, uint16_t, T&), T& value) {
  return ReadWithRetry(bus, [&] { return read(bus.port, bus.address, value); });
}

std::optional<DriveFacts> ReadFactsOnce(const BusAccess& bus, std::string& failedRead) {
  DriveFacts facts;
  double model = 0;
  if (Read(bus, ReadDriveModel, model)) facts.model = model;
  int32_t coefficient = 0, teeth = 0, maxCurrent = 0, minCurrent = 0;
  double perTooth = 0;
  FieldBounds& b = facts.bounds;
  if (!Read(bus, ReadSpeedFactor, coefficient) || !RpmPerSpeedUnit(coefficient, 1.0)) {
    failedRead = "SpeedFactor";
  } else if (!Read(bus, ReadMotorTeeth, teeth) || teeth < 0 || teeth > 32767) {
    failedRead = "MotorTeeth";
  } else if (!Read(bus, ReadPulsesPerTooth, perTooth) || !(perTooth > 0)) {
    failedRead = "PulsesPerTooth";
  } else if (!Read(bus, ReadMaxCurrent, maxCurrent)) {
    failedRead = "MaxCurrent";
  } else if (!Read(bus, ReadMinCurrent, minCurrent)) {
    failedRead = "MinCurrent";
  } else {
    // As the connection sequence holds them.
    const auto bound = [](int32_t v) { return static_cast<int16_t>(v > 32767 ? 32767 : v); };
    b.speedCoefficient = coefficient;
    b.pulsesPerRev = (teeth == 0 ? 50.0 : teeth) * perTooth;
    b.pulsesPerRevText = Grouped(b.pulsesPerRev);
    b.maxCurrent = bound(maxCurrent);
    b.minCurrent = bound(minCurrent);
    return facts;
  }
  return std::nullopt;
}

}  // namespace

std::optional<DriveFacts> ReadDriveFacts(const BusAccess& bus, std::string& failedRead) {
  std::optional<DriveFacts> facts;
  if (!ReadCleanly(bus, [&](const BusAccess& b) { facts = ReadFactsOnce(b, failedRead); }) &&
      facts) {
    failedRead = std::string("the drive's scaling") + kNotClean;
    return std::nullopt;
  }
  return facts;
}

std::optional<bool> SensorLevelsConfigurable(const BusAccess& bus) {
  const auto clear = [](int32_t s) {
    return !Bit(s, 29) && !Bit(s, 28) && !Bit(s, 13) && !Bit(s, 12) && !Bit(s, 19) && !Bit(s, 4);
  };
  int32_t sensor = 0;
  if (!Read(bus, ReadSensorConfig, sensor)) return std::nullopt;
  if (!clear(sensor)) return true;
  // Nothing configured: a drive with configurable levels keeps a written level.
  WriteWithSaveRetry(bus, ParameterWrite::SensorConfig, kOriginClosedProbe);
  int32_t probed = 0;
  if (!Read(bus, ReadSensorConfig, probed)) return std::nullopt;
  if (Bit(probed, 4) || !Bit(probed, 19)) return false;
  WriteWithSaveRetry(bus, ParameterWrite::SensorConfig, 0);
  return true;
}

ParameterValues ReadParameters(const BusAccess& bus, const ParameterMask& which) {
  ParameterValues values{};
  for (const ParameterInfo& p : ParameterTable()) {
    if (which[IndexOf(p.write)]) values[IndexOf(p.write)] = ReadParameter(bus, p.write);
  }
  return values;
}

ParameterMask RestoredParameters(const ParameterFile& file, bool withNumber) {
  ParameterMask mask{};
  for (const ParameterInfo& p : ParameterTable()) {
    mask[IndexOf(p.write)] = file.values[IndexOf(p.write)].has_value() &&
                             (withNumber || p.write != ParameterWrite::DriveNumber);
  }
  return mask;
}

std::vector<Difference> Differences(const ParameterValues& drive, const ParameterFile& file,
                                    const ParameterMask& which) {
  std::vector<Difference> differences;
  for (const ParameterInfo& p : ParameterTable()) {
    const std::size_t i = IndexOf(p.write);
    if (!which[i] || !file.values[i]) continue;
    if (drive[i] != file.values[i]) differences.push_back({p.write, drive[i], *file.values[i]});
  }
  return differences;
}

void WriteParameters(const BusAccess& bus, const ParameterFile& file, bool withNumber) {
  const ParameterMask mask = RestoredParameters(file, withNumber);
  for (const ParameterInfo& p : ParameterTable()) {
    if (bus.Lost()) return;
    const std::size_t i = IndexOf(p.write);
    if (mask[i]) WriteWithSaveRetry(bus, p.write, WriteArgumentOf(p.write, *file.values[i]));
  }
}

RestoreOutcome StoreAndVerify(const BusAccess& bus, const ParameterFile& file, bool withNumber,
                              int settleMs) {
  RestoreOutcome outcome;
  outcome.stored = StoreWithSaveRetry(bus);
  if (bus.delay && settleMs > 0) bus.delay(settleMs);
  BusAccess at = bus;
  const auto& number = file.values[IndexOf(ParameterWrite::DriveNumber)];
  if (withNumber && number && *number >= 1 && *number <= 247 && *number != bus.address) {
    at.address = AnsweringAddress(bus, static_cast<uint16_t>(*number));
    if (at.address != bus.address) outcome.newAddress = at.address;
  }
  const ParameterMask mask = RestoredParameters(file, withNumber);
  ParameterValues read{};
  // A read-back spoilt by late replies is named as not taken: never a false success.
  ReadCleanly(at, [&](const BusAccess& b) { read = ReadParameters(b, mask); });
  outcome.notTaken = Differences(read, file, mask);
  outcome.lost = bus.Lost();
  return outcome;
}

std::optional<DriveParameters> ReadDriveParameters(const BusAccess& bus, const ParameterMask& which,
                                                   std::string& failedRead) {
  std::optional<DriveParameters> read;
  const bool clean = ReadCleanly(bus, [&](const BusAccess& b) {
    read.reset();
    std::optional<DriveFacts> facts = ReadFactsOnce(b, failedRead);
    if (!facts) return;
    if (!facts->model) {
      failedRead = "DriveModel";
      return;
    }
    DriveParameters values{*facts, ReadParameters(b, which)};
    for (const ParameterInfo& p : ParameterTable()) {
      if (which[IndexOf(p.write)] && !values.values[IndexOf(p.write)]) {
        failedRead = p.name;
        return;
      }
    }
    read = values;
  });
  if (read && !clean) {
    failedRead = std::string("the parameter set") + kNotClean;
    return std::nullopt;
  }
  return read;
}

std::optional<DriveParameters> ReadForBackup(const BusAccess& bus, bool sensorLevels,
                                             std::string& failedRead) {
  ParameterMask mask;
  mask.fill(true);
  mask[IndexOf(ParameterWrite::SensorConfig)] = sensorLevels;
  return ReadDriveParameters(bus, mask, failedRead);
}

std::vector<std::string> BackupHeader(const std::string& portName, std::chrono::system_clock::time_point when) {
  return {"DriveDesk parameter backup, " + portName + ", " + IsoLocalTime(when),
          "Values in the drive's register units; the comments give the readings."};
}

std::string BackupText(const DriveParameters& read, const std::vector<std::string>& header) {
  const FieldBounds& b = read.facts.bounds;
  return FormatParameterFile(read.facts.model.value_or(0), read.values, header,
                             RpmPerSpeedUnit(b.speedCoefficient, b.pulsesPerRev), b.pulsesPerRev);
}

}  // namespace dd
