#include "app/drive_search.h"

#include <charconv>
#include <chrono>
#include <deque>

#include "app/number_text.h"
#include "link/bus_probe.h"
#include "link/com_port_map.h"
#include "link/drive_commands.h"
#include "link/port_facts.h"
#include "link/serial_port.h"

namespace dd {
namespace {

using Clock = std::chrono::steady_clock;

// A drive that gave bytes but no clean answer is asked this often in all.
constexpr int kProbeAttempts = 3;
constexpr int kNumberAttempts = 3;

std::optional<int> WholeNumber(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

class Search {
 public:
  Search(const SearchPlan& plan, const std::atomic<bool>& cancel, const SearchCallbacks& callbacks)
      : plan_(plan), cancel_(cancel), callbacks_(callbacks), started_(Clock::now()) {
    progress_.total = plan.ProbeCount();
  }

  SearchOutcome Run() {
    for (const SearchPort& port : plan_.ports) {
      if (!SearchPortAtEveryRate(port)) break;
    }
    if (outcome_.end == SearchEnd::Finished && cancel_.load()) outcome_.end = SearchEnd::Cancelled;
    return outcome_;
  }

 private:
  // False when the search ends here (cancel, port lost).
  bool SearchPortAtEveryRate(const SearchPort& port) {
    SerialHandle handle = OpenPortByPath(port.device, plan_.bauds.front(), 8, 0, 2);
    if (handle == 0) return Lost(port, "无法打开");
    bool goOn = true;
    for (const int32_t baud : plan_.bauds) {
      progress_.port = port.name;
      progress_.baud = baud;
      // A rate the port refuses is skipped: probing at the old one would list a drive
      // at the wrong rate. Refused parity alone (Wine on a pseudo-terminal) is no reason.
      if (!ConfigurePort(handle, baud, 8, 0, 2, 26) && PortBaudRate(handle) != baud) {
        progress_.done += plan_.addresses.Count();
        continue;
      }
      PurgePort(handle, true, true);
      goOn = SearchLine(handle, port, baud);
      if (!goOn) break;
    }
    ClosePort(handle);
    return goOn;
  }

  bool SearchLine(SerialHandle handle, const SearchPort& port, int32_t baud) {
    std::vector<bool> found(kLastDriveAddress + 1, false);
    std::vector<bool> reasked(kLastDriveAddress + 1, false);
    std::deque<int> later;  // addresses whose late replies showed up meanwhile
    const AddressRange range = plan_.addresses;
    for (int next = range.first; next <= range.last || !later.empty();) {
      const bool planned = next <= range.last;
      const int address = planned ? next++ : later.front();
      if (!planned) later.pop_front();
      if (cancel_.load()) return false;
      progress_.address = address;
      Report();
      for (int attempt = 1; attempt <= kProbeAttempts; ++attempt) {
        const ProbeReply reply = ProbeDriveModel(handle, static_cast<uint8_t>(address));
        if (reply.result == ProbeResult::NotSent) return Lost(port, "已断开");
        if (reply.result == ProbeResult::Answered) {
          found[static_cast<std::size_t>(address)] = true;
          Found(handle, port, baud, address, reply.model);
          break;
        }
        if (reply.result == ProbeResult::Silent) break;
        if (reply.result == ProbeResult::OtherAddress) {
          const int from = reply.from;
          if (from >= range.first && from <= range.last && from != address &&
              !found[static_cast<std::size_t>(from)] && !reasked[static_cast<std::size_t>(from)]) {
            reasked[static_cast<std::size_t>(from)] = true;
            later.push_back(from);
          }
        }
        if (cancel_.load()) return false;
      }
      if (planned) ++progress_.done;
    }
    return true;
  }

  void Found(SerialHandle handle, const SearchPort& port, int32_t baud, int address, double model) {
    FoundDrive drive{port, baud, address, model, std::nullopt};
    for (int i = 0; i < kNumberAttempts && !drive.driveNumber; ++i) {
      int32_t number = 0;
      if (ReadDriveNumber(handle, static_cast<uint16_t>(address), number) == 0) drive.driveNumber = number;
    }
    outcome_.found.push_back(drive);
    if (callbacks_.found) callbacks_.found(drive);
  }

  bool Lost(const SearchPort& port, const char* how) {
    outcome_.end = SearchEnd::PortLost;
    outcome_.port = port.name;
    outcome_.message = "串口 " + port.name + " " + how + "，搜索已停止；";
    return false;
  }

  void Report() {
    const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
    if (seconds > 0 && progress_.done > 0) {
      progress_.probesPerSecond = static_cast<double>(progress_.done) / seconds;
      progress_.secondsLeft =
          static_cast<double>(progress_.total - progress_.done) / progress_.probesPerSecond;
    }
    if (callbacks_.progress) callbacks_.progress(progress_);
  }

  const SearchPlan& plan_;
  const std::atomic<bool>& cancel_;
  const SearchCallbacks& callbacks_;
  const Clock::time_point started_;
  SearchProgress progress_;
  SearchOutcome outcome_;
};

}  // namespace

std::optional<int> ParseDriveAddress(std::string_view text, std::string& error, bool chinese) {
  const auto value = WholeNumber(text);
  if (value && *value >= kFirstDriveAddress && *value <= kLastDriveAddress) return value;
  error = chinese ? "驱动器地址须为 1 到 247 之间的整数"
                  : "the address must be a whole number from 1 to 247: " + std::string(text);
  return std::nullopt;
}

std::optional<AddressRange> ParseAddressRange(std::string_view text, std::string& error,
                                              bool chinese) {
  const auto dash = text.find('-');
  const std::string_view firstText = text.substr(0, dash);
  const std::string_view lastText = dash == std::string_view::npos ? firstText : text.substr(dash + 1);
  const auto first = WholeNumber(firstText);
  const auto last = WholeNumber(lastText);
  const auto inRange = [](std::optional<int> v) {
    return v && *v >= kFirstDriveAddress && *v <= kLastDriveAddress;
  };
  if (inRange(first) && inRange(last) && *first <= *last) return AddressRange{*first, *last};
  if (inRange(first) && inRange(last)) {
    error = chinese ? "地址范围的起点大于终点" : "the address range is reversed: " + std::string(text);
  } else {
    error = chinese ? "地址范围须为 1 到 247 之内，例如 1-247"
                    : "the address range must lie within 1-247, e.g. 1-247: " + std::string(text);
  }
  return std::nullopt;
}

std::vector<SearchPort> UsableSearchPorts() {
  std::vector<SearchPort> ports;
  for (int32_t n = kFirstComPort; n <= kLastComPort; ++n) {
    const std::string device = PortDeviceName(n);
    if (device.empty() || InspectPort(device).access != PortAccess::Usable) continue;
    ports.push_back({"COM" + std::to_string(n), device, n});
  }
  return ports;
}

std::string FoundDriveLine(const FoundDrive& d) {
  return d.port.name + " " + std::to_string(d.baud) + " " + std::to_string(d.address) + " " +
         PlainDecimal(d.model) + " " + (d.driveNumber ? std::to_string(*d.driveNumber) : "-");
}

SearchOutcome SearchDrives(const SearchPlan& plan, const std::atomic<bool>& cancel,
                           const SearchCallbacks& callbacks) {
  if (plan.ports.empty() || plan.bauds.empty()) return {};
  return Search(plan, cancel, callbacks).Run();
}

DriveSearchJob::DriveSearchJob(SearchPlan plan) {
  snapshot_.progress.total = plan.ProbeCount();
  thread_ = std::thread([this, plan = std::move(plan)] {
    SearchCallbacks callbacks;
    callbacks.progress = [this](const SearchProgress& p) {
      const std::lock_guard lock(mutex_);
      snapshot_.progress = p;
    };
    callbacks.found = [this](const FoundDrive& d) {
      const std::lock_guard lock(mutex_);
      snapshot_.found.push_back(d);
    };
    SearchOutcome outcome = SearchDrives(plan, cancel_, callbacks);
    const std::lock_guard lock(mutex_);
    snapshot_.outcome = std::move(outcome);
  });
}

DriveSearchJob::~DriveSearchJob() {
  cancel_ = true;
  if (thread_.joinable()) thread_.join();
}

DriveSearchJob::Snapshot DriveSearchJob::Stop() {
  cancel_ = true;
  if (thread_.joinable()) thread_.join();
  return snapshot_;
}

DriveSearchJob::Snapshot DriveSearchJob::Take() const {
  const std::lock_guard lock(mutex_);
  return snapshot_;
}

}  // namespace dd
