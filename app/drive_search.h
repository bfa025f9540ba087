// Finding the drives on a line whose addresses and baud rate nobody knows: every chosen
// port, rate and address gets one drive-model read (link/bus_probe.h), and each drive
// that answers is listed with its drive number. Window-free: drivectl runs it on its own
// thread, a window runs it as a DriveSearchJob and shows the job's snapshots.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace dd {

inline constexpr int kFirstDriveAddress = 1;
inline constexpr int kLastDriveAddress = 247;
// The drive's baud rates, fastest first: a search tries them in this order.
inline constexpr int32_t kSearchBaudRates[] = {250000, 115200, 57600, 38400, 19200, 9600};

struct AddressRange {
  int first = kFirstDriveAddress;
  int last = kLastDriveAddress;
  int Count() const { return last - first + 1; }
};

// "38" -> 38; nullopt with `error` set ("地址须为 1 到 247 之间的整数" in `chinese`, else
// English) for anything else.
std::optional<int> ParseDriveAddress(std::string_view text, std::string& error, bool chinese);
// "1-247", "30-40" or one address; an empty or reversed range is refused with `error`.
std::optional<AddressRange> ParseAddressRange(std::string_view text, std::string& error,
                                              bool chinese);

struct SearchPort {
  std::string name;    // "COM3", or the device path drivectl was given
  std::string device;  // what is opened
  int32_t number = 0;  // COMn, 0 for a bare device path
};
// COM1 to COM32 as they open now.
std::vector<SearchPort> UsableSearchPorts();

struct SearchPlan {
  std::vector<SearchPort> ports;
  std::vector<int32_t> bauds;
  AddressRange addresses;
  int64_t ProbeCount() const {
    return static_cast<int64_t>(ports.size()) * static_cast<int64_t>(bauds.size()) * addresses.Count();
  }
};

struct FoundDrive {
  SearchPort port;
  int32_t baud = 0;
  int address = 0;
  double model = 0;
  std::optional<int32_t> driveNumber;  // nullopt when it could not be read
};
// "COM3 115200 38 10500000 38" (port, baud, address, model code, drive number or "-").
std::string FoundDriveLine(const FoundDrive& drive);

struct SearchProgress {
  std::string port;
  int32_t baud = 0;
  int address = 0;        // being tried
  int64_t done = 0;       // planned probes done (repeats not counted)
  int64_t total = 0;
  double probesPerSecond = 0;
  double secondsLeft = 0;
};

enum class SearchEnd { Finished, Cancelled, PortLost };

struct SearchOutcome {
  SearchEnd end = SearchEnd::Finished;
  std::vector<FoundDrive> found;
  std::string message;  // PortLost: which port, in Chinese (the window's words)
  std::string port;     // PortLost: the port's name
};

struct SearchCallbacks {
  std::function<void(const SearchProgress&)> progress;  // before each probe
  std::function<void(const FoundDrive&)> found;
};

// Runs the whole search on the calling thread. `cancel` is looked at before every
// probe, so a cancel ends the search within one transaction.
SearchOutcome SearchDrives(const SearchPlan& plan, const std::atomic<bool>& cancel,
                           const SearchCallbacks& callbacks);

// A search on a thread of its own, for a window: it polls Take() on a timer.
class DriveSearchJob {
 public:
  explicit DriveSearchJob(SearchPlan plan);
  ~DriveSearchJob();  // cancels and waits (at most one transaction)
  DriveSearchJob(const DriveSearchJob&) = delete;
  DriveSearchJob& operator=(const DriveSearchJob&) = delete;

  void Cancel() { cancel_ = true; }
  struct Snapshot {
    SearchProgress progress;
    std::vector<FoundDrive> found;
    std::optional<SearchOutcome> outcome;  // set once the search has ended
  };
  Snapshot Take() const;
  // Cancels, waits for the thread (at most one transaction) and returns the last
  // snapshot, its outcome set: nothing found meanwhile is lost.
  Snapshot Stop();

 private:
  std::atomic<bool> cancel_{false};
  mutable std::mutex mutex_;
  Snapshot snapshot_;
  std::thread thread_;
};

}  // namespace dd
