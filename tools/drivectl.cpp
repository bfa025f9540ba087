// drivectl --port PORT --baud B [--address N] [--trace] OPERATION [VALUE]
// drivectl --port PORT --baud B [--trace] dump
// drivectl --port PORT --baud B backup FILE
// drivectl --port PORT --baud B compare FILE [--force] [--with-number]
// drivectl --port PORT --baud B restore FILE [--force] [--with-number]
// drivectl ports
// drivectl scan [--port PORT] [--baud B] [--addresses FIRST-LAST]
// drivectl --version
//
// PORT is COMn (mapped as in link/com_port_map.h) or a device path; B one of the rates
// the drive offers (9600 to 250000). OPERATION is a drive operation by name
// (ReadRunSpeed, WriteRunSpeed 300, StopMotion, ...). A read prints its value alone on
// one line; a write or command prints nothing. dump reads every register and prints
// "Name value" lines. --trace shows each frame on stderr as "TX 01 04 ..." and
// "RX ...". Exit status: 0 success, 1 ShortReply, 2 BadCrc, 3 NoPort (the port is
// missing, not permitted or in use: stderr says which), 4 ValueOutOfRange (also a value
// no register holds), 64 usage error; the result is named on stderr. ports lists COM1 to
// COM32: device, whether it opens, and for USB adapters maker, product, serial number and
// latency timer. --address N (1 to 247, default 1) is the drive's bus address. scan
// searches the port (default every usable one) at the baud rate (default each of the
// drive's, fastest first) for the addresses (default 1-247) and prints "PORT BAUD ADDRESS
// MODEL NUMBER" per drive as it is found: exit status 0 when one was found, 1 when none,
// 3 when a port could not be opened or went away, 64 usage error.
//
// backup writes the parameter set to FILE (atomically). compare prints "Name drive file"
// for each parameter that differs (DriveNumber only with --with-number). restore checks
// the whole file first (nothing is written on any problem), then writes, stores and reads
// every value back; Ctrl-C waits for the end of its writes. Their exit status: 0 done /
// all equal / every value took, 1 compare found differences or a restored value did not
// take, 2 the file (unreadable, damaged, another model or sensor levels without --force,
// cannot be written), 3 the drive (port, a read that failed, or
// restore on a moving axis), 64 usage error.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "app/drive_search.h"
#include "app/number_text.h"
#include "app/port_descriptions.h"
#include "app/version.h"
#include "link/com_port_map.h"
#include "link/drive_commands.h"
#include "link/drive_catalog.h"
#include "link/frame_trace.h"
#include "link/modbus_rtu.h"
#include "link/port_facts.h"
#include "link/serial_port.h"
#include "params/parameter_file.h"
#include "params/parameter_restore.h"

namespace {

constexpr int kExitUsage = 64;
constexpr int kExitDiffers = 1;
constexpr int kExitFile = 2;
constexpr int kExitDrive = 3;
// --address; 1 unless given.
uint16_t kDriveAddress = 1;
// The rates the drive offers (the window's "波特率" list).
constexpr int32_t kBaudRates[] = {9600, 19200, 38400, 57600, 115200, 250000};

int ExitCodeOf(dd::CommandResult result) {
  switch (result) {
    case dd::kOk: return 0;
    case dd::kShortReply: return 1;
    case dd::kBadCrc: return 2;
    case dd::kNoPort: return 3;
    case dd::kValueOutOfRange: return 4;
    default: return 6;
  }
}

int Usage(const std::string& why) {
  if (!why.empty()) std::fprintf(stderr, "drivectl: %s\n", why.c_str());
  std::fprintf(stderr,
               "usage: drivectl --port PORT --baud B [--address N] [--trace] OPERATION [VALUE]\n"
               "       drivectl --port PORT --baud B [--trace] dump\n"
               "       drivectl --port PORT --baud B backup FILE\n"
               "       drivectl --port PORT --baud B compare|restore FILE [--force] [--with-number]\n"
               "       drivectl ports | --version\n"
               "       drivectl scan [--port PORT] [--baud B] [--addresses FIRST-LAST]\n"
               "PORT is COM1..COM32 or a device path; N the drive's address, 1 to 247 (default\n"
               "1); OPERATION is a drive operation name,\n"
               "e.g. ReadRunSpeed, WriteRunSpeed 300, WriteTargetPosition -2, StopMotion.\n");
  return kExitUsage;
}

int Fail(std::string_view what, dd::CommandResult result) {
  std::fprintf(stderr, "drivectl: %.*s failed: %.*s (%d)\n", static_cast<int>(what.size()),
               what.data(), static_cast<int>(dd::CommandResultName(result).size()),
               dd::CommandResultName(result).data(), result);
  return ExitCodeOf(result);
}

void TraceBytes(const char* direction, std::span<const uint8_t> bytes) {
  std::string line = direction;
  char hex[4];
  for (const uint8_t byte : bytes) {
    std::snprintf(hex, sizeof hex, " %02X", byte);
    line += hex;
  }
  std::fprintf(stderr, "%s\n", line.c_str());
}

void TraceFrame(const dd::TransactionRecord& record) {
  // Bytes the port refused never reached the line.
  const auto written = record.request.first(record.request.size() - std::min(record.unwritten, record.request.size()));
  if (!written.empty()) TraceBytes("TX", written);
  TraceBytes("RX", record.reply);
}

// A whole number, decimal or 0x hex. One too long for 64 bits comes back as the extreme of
// its sign: a whole number out of range, not "no number".
std::optional<int64_t> ParseInt(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || end != text.data() + text.size()) return std::nullopt;
  if (error == std::errc::result_out_of_range) {
    value = INT64_MAX;
  } else if (error != std::errc()) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

std::optional<double> ParseDouble(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

void PrintValue(int32_t value) { std::printf("%" PRId32 "\n", value); }
void PrintValue(double value) { std::printf("%.0f\n", value); }

// Runs one read; prints "value" or "Name value".
dd::CommandResult RunRead(const dd::DriveOperation& op, dd::SerialHandle port, bool withName) {
  if (withName) std::printf("%.*s ", static_cast<int>(op.Name().size()), op.Name().data());
  dd::CommandResult result = dd::kOk;
  if (op.kind == dd::OperationKind::ReadInt) {
    int32_t value = 0;
    result = op.readInt(port, kDriveAddress, value);
    if (result == dd::kOk) PrintValue(value);
  } else {
    double value = 0;
    result = op.readDouble(port, kDriveAddress, value);
    if (result == dd::kOk) PrintValue(value);
  }
  if (result != dd::kOk && withName) std::printf("-\n");
  std::fflush(stdout);
  return result;
}

// Why a port is not usable, in one phrase, e.g. "in use, held by process 42 (minicom)".
std::string AccessText(const dd::PortFacts& facts) {
  switch (facts.access) {
    case dd::PortAccess::Usable: return "usable";
    case dd::PortAccess::Missing: return "missing";
    case dd::PortAccess::NoPermission:
      if (!facts.GroupMayOpen()) {
        return "no permission; only its owner may open it (" + dd::ModeText(facts) +
               "), joining a group does not help: a udev rule can give it to group dialout "
               "(README: Serial ports on Linux)";
      }
      return "no permission; the device belongs to group " + facts.group +
             ", join it with: sudo usermod -aG " + facts.group + " $USER (then log in again)";
    case dd::PortAccess::InUse:
      if (!facts.staleLock.empty()) {
        return "stale lock file " + facts.staleLock + " (" + facts.staleWhy + "); root can remove it";
      }
      if (facts.holderPid <= 0) return "in use by another program";
      return "in use, held by process " + std::to_string(facts.holderPid) +
             (facts.holderName.empty() ? "" : " (" + facts.holderName + ")");
  }
  return {};
}

std::string AdapterText(const dd::PortFacts& facts) {
  std::string text;
  if (facts.usb) {
    text = "USB " + facts.usbId;
    if (!facts.manufacturer.empty()) text += " " + facts.manufacturer;
    if (!facts.product.empty()) text += " \"" + facts.product + "\"";
    if (!facts.serial.empty()) text += " serial " + facts.serial;
  }
  if (facts.latencyTimerMs >= 0) {
    text += (text.empty() ? "" : ", ") + std::string("latency timer ") +
            std::to_string(facts.latencyTimerMs) + " ms" +
            (facts.latencyWritable ? "" : " (not writable)");
  }
  return text;
}

int ListPorts() {
  for (int32_t n = dd::kFirstComPort; n <= dd::kLastComPort; ++n) {
    const std::string device = dd::PortDeviceName(n);
    std::string line = "COM" + std::to_string(n);
    line.resize(6, ' ');
    if (device.empty()) {
      std::printf("%s-  no device\n", line.c_str());
      continue;
    }
    const dd::PortFacts facts = dd::InspectPort(device);
    line += device;
    if (facts.resolved != device) line += " -> " + facts.resolved;
    line += "  " + AccessText(facts);
    const std::string adapter = AdapterText(facts);
    if (!adapter.empty()) line += "  " + adapter;
    std::printf("%s\n", line.c_str());
  }
  return 0;
}

bool IsRead(const dd::DriveOperation& op) {
  return op.kind == dd::OperationKind::ReadInt || op.kind == dd::OperationKind::ReadDouble;
}

bool IsFileCommand(std::string_view operation) {
  return operation == "backup" || operation == "compare" || operation == "restore";
}

void Say(const std::string& line) { std::fprintf(stderr, "drivectl: %s\n", line.c_str()); }

// The failed replies of this run by kind, so that a failed read is named by what came.
struct FailedReplies {
  int none = 0, exception = 0, cut = 0, badCrc = 0, late = 0;
  int exceptionCode = 0;
  void Count(const dd::TransactionRecord& r) {
    if (r.request.empty()) {
      ++late;
    } else if (r.result == dd::kBadCrc) {
      ++badCrc;
    } else if (r.result == dd::kShortReply && r.reply.empty()) {
      ++none;
    } else if (r.result == dd::kShortReply && r.reply.size() == 5 && (r.reply[1] & 0x80) != 0) {
      ++exception;
      exceptionCode = r.reply[2];
    } else if (r.result == dd::kShortReply) {
      ++cut;
    }
  }
  std::string Text() const {
    std::string text;
    const auto add = [&](int n, const std::string& what) {
      if (n > 0) text += (text.empty() ? ": " : ", ") + std::to_string(n) + " " + what;
    };
    add(none, "requests without a reply");
    add(exception, "exception replies (code " + std::to_string(exceptionCode) + ")");
    add(cut, "replies cut short");
    add(badCrc, "replies with a bad CRC");
    add(late, "late replies");
    return text;
  }
};
FailedReplies failedReplies;

int DriveFailed(std::string what) {
  const bool unsteady = what.ends_with(dd::kNotClean);
  if (unsteady) what.resize(what.size() - std::strlen(dd::kNotClean));
  Say("reading " + what + " from the drive failed" +
      (unsteady ? " (each of 3 tries had failed replies)" : "") + failedReplies.Text());
  return kExitDrive;
}

// Ctrl-C (SIGTERM, SIGHUP) while a restore writes is said and held off until its end, so
// the drive is not left half-written.
void SayRestoreFinishes(int signal) {
  static constexpr char kText[] =
      "drivectl: the restore finishes its writes and the store first (a few seconds), so the "
      "drive is not left half-written\n";
#ifdef _WIN32
  (void)_write(2, kText, sizeof kText - 1);
  std::signal(signal, SayRestoreFinishes);  // Windows resets the handler every time
#else
  (void)signal;
  [[maybe_unused]] const auto written = ::write(2, kText, sizeof kText - 1);
#endif
}

class InterruptsHeldOff {
 public:
  InterruptsHeldOff() {
    for (const int signal : kSignals) std::signal(signal, SayRestoreFinishes);
  }
  ~InterruptsHeldOff() {
    for (const int signal : kSignals) std::signal(signal, SIG_DFL);
  }
  InterruptsHeldOff(const InterruptsHeldOff&) = delete;
  InterruptsHeldOff& operator=(const InterruptsHeldOff&) = delete;

 private:
#ifdef SIGHUP
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
#else
  static constexpr int kSignals[] = {SIGINT, SIGTERM};
#endif
};

// Prints every problem; true when there was one.
bool Report(const std::string& path, const std::vector<dd::FileProblem>& problems) {
  for (const dd::FileProblem& p : problems) {
    std::fprintf(stderr, "%s\n", dd::DescribeProblem(path, p, /*chinese=*/false).c_str());
  }
  return !problems.empty();
}

// Whether the drive's sensor levels are configurable, found out only once the other
// checks passed (it may take a probe write), and the file checked against it: 0 to go on,
// else the exit status. With --force a SensorConfig line for fixed levels is left out.
int CheckSensorLevels(const dd::BusAccess& bus, const std::string& path, dd::ParameterFile& file,
                      dd::DriveFacts& facts, bool force) {
  const auto levels = dd::SensorLevelsConfigurable(bus);
  if (!levels) return DriveFailed("SensorConfig");
  facts.sensorLevels = *levels;
  if (Report(path, dd::CheckSensorLevels(file, facts, force))) return kExitFile;
  auto& sensor = file.values[dd::IndexOf(dd::ParameterWrite::SensorConfig)];
  if (sensor && !*levels) {
    Say(path + ":" + std::to_string(file.lines[dd::IndexOf(dd::ParameterWrite::SensorConfig)]) +
        ": SensorConfig skipped: this drive's origin and limit levels are fixed");
    sensor.reset();
  }
  return 0;
}

int Backup(const dd::BusAccess& bus, const std::string& path, const std::string& portName) {
  std::string failed;
  const auto levels = dd::SensorLevelsConfigurable(bus);
  if (!levels) return DriveFailed("SensorConfig");
  const auto read = dd::ReadForBackup(bus, *levels, failed);
  if (!read) return DriveFailed(failed);
  const std::string text = dd::BackupText(*read, dd::BackupHeader(portName, std::chrono::system_clock::now()));
  const std::string error = dd::WriteFileAtomically(path, text);
  if (!error.empty()) {
    Say("cannot write " + path + ": " + error);
    return kExitFile;
  }
  return 0;
}

int Compare(const dd::BusAccess& bus, const std::string& path, dd::ParameterFile file, bool force,
            bool withNumber) {
  std::string failed;
  auto drive = dd::ReadDriveParameters(bus, dd::RestoredParameters(file, true), failed);
  if (!drive) return DriveFailed(failed);
  if (const auto other = dd::CheckModel(file, drive->facts)) {
    if (!force) {
      Report(path, {*other});
      return kExitFile;
    }
    Say("note: the drive is model " + dd::PlainDecimal(*drive->facts.model) + ", " + path +
        " is for model " + dd::PlainDecimal(file.model));
  }
  if (const int refused = CheckSensorLevels(bus, path, file, drive->facts, force)) return refused;
  if (!withNumber) {
    const auto i = dd::IndexOf(dd::ParameterWrite::DriveNumber);
    Say("note: DriveNumber (the bus address a restore keeps) is not compared" +
        (drive->values[i] == file.values[i]
             ? std::string()
             : ", drive " + std::to_string(*drive->values[i]) + " file " + std::to_string(*file.values[i])) +
        "; --with-number compares it");
  }
  const auto differences =
      dd::Differences(drive->values, file, dd::RestoredParameters(file, withNumber));
  for (const dd::Difference& d : differences) {
    std::printf("%s %lld %lld\n", std::string(dd::InfoOf(d.parameter).name).c_str(),
                static_cast<long long>(*d.drive), static_cast<long long>(d.file));
  }
  return differences.empty() ? 0 : kExitDiffers;
}

int Restore(const dd::BusAccess& bus, const std::string& path, dd::ParameterFile file,
            bool force, bool withNumber) {
  // Speeds and the pulse length change under a running axis: a moving drive is left alone.
  double speed = 0;
  if (!dd::ReadWithRetry(bus, [&] { return dd::ReadActualSpeed(bus.port, bus.address, speed); })) {
    return DriveFailed("ActualSpeed");
  }
  if (speed != 0) {
    Say("the axis is moving (a jog, move or homing run): stop it, then restore");
    return kExitDrive;
  }
  std::string failed;
  auto facts = dd::ReadDriveFacts(bus, failed);
  if (!facts) return DriveFailed(failed);
  if (!facts->model && !force) return DriveFailed("DriveModel");
  if (Report(path, dd::CheckAgainstDrive(file, *facts, force))) return kExitFile;
  const InterruptsHeldOff heldOff;  // from the sensor probe's write on
  if (const int refused = CheckSensorLevels(bus, path, file, *facts, force)) return refused;
  dd::WriteParameters(bus, file, withNumber);
  const dd::RestoreOutcome outcome =
      dd::StoreAndVerify(bus, file, withNumber, dd::kStoreSettleMs);
  if (!outcome.stored) Say("the drive did not acknowledge the store command");
  if (outcome.newAddress) {
    Say("the drive took drive number " + std::to_string(*outcome.newAddress) + ": it answers at address " +
        std::to_string(*outcome.newAddress) + " now");
  }
  std::string unverified;
  bool differs = false;
  for (const dd::Difference& d : outcome.notTaken) {
    const std::string name(dd::InfoOf(d.parameter).name);
    if (!d.drive) {
      unverified += (unverified.empty() ? "" : ", ") + name;
      continue;
    }
    differs = true;
    Say(name + " did not take: the drive holds " + std::to_string(*d.drive) + ", the file says " +
        std::to_string(d.file));
  }
  // Written and (perhaps) stored, but unknown: a drive failure, not a value that did not take.
  if (!unverified.empty()) {
    Say("could not be verified, reading back failed" + failedReplies.Text() + ": " + unverified);
  }
  if (differs || (!outcome.stored && unverified.empty())) return kExitDiffers;
  return unverified.empty() ? 0 : kExitDrive;
}

// Every drive on the chosen ports, rates and addresses, one line each as it is found.
int Scan(const std::string& portName, std::optional<int32_t> baud, const dd::AddressRange& range) {
  dd::SearchPlan plan;
  plan.addresses = range;
  if (portName.empty()) {
    plan.ports = dd::UsableSearchPorts();
    if (plan.ports.empty()) {
      Say("no usable port (drivectl ports tells why)");
      return kExitDrive;
    }
  } else {
    const int32_t number = dd::ComPortNumber(portName);
    plan.ports.push_back({portName, number != 0 ? dd::PortDeviceName(number) : portName, number});
  }
  if (baud) {
    plan.bauds = {*baud};
  } else {
    plan.bauds.assign(std::begin(dd::kSearchBaudRates), std::end(dd::kSearchBaudRates));
  }
  const std::atomic<bool> never{false};
  dd::SearchCallbacks callbacks;
  callbacks.found = [](const dd::FoundDrive& drive) {
    std::printf("%s\n", dd::FoundDriveLine(drive).c_str());
    std::fflush(stdout);
  };
  const dd::SearchOutcome outcome = dd::SearchDrives(plan, never, callbacks);
  if (outcome.end == dd::SearchEnd::PortLost) {
    Say(outcome.port + " could not be opened or went away; the search stopped");
    return kExitDrive;
  }
  return outcome.found.empty() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string portName;
  std::optional<int32_t> baud;
  bool trace = false;
  bool force = false;
  bool withNumber = false;
  std::string operation;
  std::optional<std::string> value;
  std::optional<dd::AddressRange> addresses;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      Usage("");
      return 0;
    }
    if (arg == "--version") {
      std::printf("drivectl %s\n构建：%s（%s）\n", dd::kVersion, dd::kBuildCommit, dd::kBuildDate);
      return 0;
    }
    if (arg == "ports" && argc == 2) return ListPorts();
    if (arg == "--trace") {
      trace = true;
    } else if (arg == "--force") {
      force = true;
    } else if (arg == "--with-number") {
      withNumber = true;
    } else if (arg == "--address" || arg == "--addresses") {
      if (i + 1 >= argc) return Usage(std::string(arg) + " needs a value");
      std::string error;
      if (arg == "--address") {
        const auto address = dd::ParseDriveAddress(argv[++i], error, false);
        if (!address) return Usage(error);
        kDriveAddress = static_cast<uint16_t>(*address);
      } else {
        addresses = dd::ParseAddressRange(argv[++i], error, false);
        if (!addresses) return Usage(error);
      }
    } else if (arg == "--port" || arg == "--baud") {
      if (i + 1 >= argc) return Usage(std::string(arg) + " needs a value");
      const std::string_view next = argv[++i];
      if (arg == "--port") {
        portName = next;
      } else {
        const auto rate = ParseInt(next);
        if (!rate || std::find(std::begin(kBaudRates), std::end(kBaudRates), *rate) == std::end(kBaudRates)) {
          return Usage("bad baud rate: " + std::string(next) +
                       "; the drive offers 9600, 19200, 38400, 57600, 115200 and 250000");
        }
        baud = static_cast<int32_t>(*rate);
      }
    } else if (operation.empty()) {
      operation = arg;
    } else if (!value) {
      value = std::string(arg);
    } else {
      return Usage("too many arguments");
    }
  }
  if (operation == "scan") {
    if (value) return Usage("scan takes no value");
    return Scan(portName, baud, addresses.value_or(dd::AddressRange{}));
  }
  if (addresses) return Usage("--addresses belongs to scan");
  if (portName.empty()) return Usage("--port is required");
  if (!baud) return Usage("--baud is required");
  if (operation.empty()) return Usage("no operation given");

  const dd::DriveOperation* op = nullptr;
  std::optional<int32_t> intValue;
  std::optional<double> doubleValue;
  if ((force || withNumber) && operation != "restore" && operation != "compare") {
    return Usage("--force and --with-number belong to restore and compare");
  }
  dd::ParameterFile file;
  if (IsFileCommand(operation)) {
    if (!value) return Usage(operation + " needs a file");
    // The file is checked before the port is touched.
    if (operation != "backup") {
      std::string text;
      if (const auto problem = dd::ReadParameterText(*value, text)) {
        Report(*value, {*problem});
        return kExitFile;
      }
      if (Report(*value, dd::ParseParameterFile(text, file))) return kExitFile;
    }
  } else if (operation == "dump") {
    if (value) return Usage("dump takes no value");
  } else {
    op = dd::FindDriveOperation(operation);
    if (op == nullptr) return Usage("unknown operation: " + operation);
    const bool takesValue =
        op->kind == dd::OperationKind::WriteInt || op->kind == dd::OperationKind::WriteDouble;
    if (takesValue && !value) return Usage(operation + " needs a value");
    if (!takesValue && value) return Usage(operation + " takes no value");
    if (op->kind == dd::OperationKind::WriteInt) {
      const auto whole = ParseInt(*value);
      if (!whole) return Usage("not a whole number: " + *value);
      if (*whole < INT32_MIN || *whole > INT32_MAX) {
        Say("whole number out of range: " + *value);
        return Fail(op->Name(), dd::kValueOutOfRange);
      }
      intValue = static_cast<int32_t>(*whole);
    } else if (op->kind == dd::OperationKind::WriteDouble) {
      doubleValue = ParseDouble(*value);
      if (!doubleValue) return Usage("not a number: " + *value);
    }
  }

  dd::SetFrameTrace([trace](const dd::TransactionRecord& record) {
    failedReplies.Count(record);
    if (trace) TraceFrame(record);
  });

  const int32_t comNumber = dd::ComPortNumber(portName);
  const std::string device = comNumber != 0 ? dd::PortDeviceName(comNumber) : portName;
  dd::SerialHandle port = dd::OpenPortByPath(device, *baud, 8, 0, 2);
  if (port == 0) {
    const dd::PortFacts facts = dd::InspectPort(device);
    const std::string why =
        facts.access == dd::PortAccess::Usable ? "refused" : AccessText(facts);
    std::fprintf(stderr, "drivectl: cannot open %s (%s): %s\n", portName.c_str(),
                 device.empty() ? "no device" : device.c_str(), why.c_str());
    return kExitDrive;  // NoPort
  }
  if (const dd::LatencyTimerState latency = dd::LatencyTimerOf(port); latency.NotLowered()) {
    std::fprintf(stderr,
                 "drivectl: warning: the adapter holds replies for up to %d ms and %s is not "
                 "writable; replies may arrive too late (README: the udev rule for the latency "
                 "timer)\n",
                 latency.nowMs, latency.attribute.c_str());
  }
  // OpenPort keeps a port whose settings were refused; say so, the exchange may still work.
  if (!dd::ConfigurePort(port, *baud, 8, 0, 2, 26)) {
    std::fprintf(stderr, "drivectl: warning: %s refused 8E1 at %d baud\n", portName.c_str(),
                 *baud);
  }

  int exitCode = 0;
  const dd::BusAccess bus{port, kDriveAddress,
                          [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); },
                          nullptr};
  if (operation == "backup") {
    exitCode = Backup(bus, *value, portName);
  } else if (operation == "compare") {
    exitCode = Compare(bus, *value, file, force, withNumber);
  } else if (operation == "restore") {
    exitCode = Restore(bus, *value, file, force, withNumber);
  } else if (op == nullptr) {
    // dump: every read; a failed one is shown as "-" and the first failure sets the status.
    for (const dd::DriveOperation& each : dd::DriveOperations()) {
      if (!IsRead(each)) continue;
      const dd::CommandResult result = RunRead(each, port, /*withName=*/true);
      if (result != dd::kOk) {
        const int code = Fail(each.Name(), result);
        if (exitCode == 0) exitCode = code;
      }
    }
  } else {
    dd::CommandResult result = dd::kOk;
    switch (op->kind) {
      case dd::OperationKind::ReadInt:
      case dd::OperationKind::ReadDouble: result = RunRead(*op, port, false); break;
      case dd::OperationKind::WriteInt: result = op->writeInt(port, kDriveAddress, *intValue); break;
      case dd::OperationKind::WriteDouble:
        result = op->writeDouble(port, kDriveAddress, *doubleValue);
        break;
      case dd::OperationKind::Command: result = op->command(port, kDriveAddress); break;
    }
    if (result != dd::kOk) exitCode = Fail(op->Name(), result);
  }
  dd::ClosePort(port);
  return exitCode;
}
