// Port facts on Linux: the probe's errno, the UUCP lock's holder, and sysfs.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include "link/port_facts.h"
#include "link/port_lock.h"
#include "link/serial_port_posix.h"

namespace dd {
namespace {

namespace fs = std::filesystem;

fs::path SysfsRoot() {
  const char* root = std::getenv("DRIVEDESK_SYSFS_ROOT");
  return root != nullptr && *root != '\0' ? fs::path(root) : fs::path("/sys");
}

std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
  return line;
}

int ReadNumber(const fs::path& file) {
  const std::string text = ReadAttribute(file);
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  return !text.empty() && end != nullptr && *end == '\0' && value >= 0 && value < 100000
             ? static_cast<int>(value)
             : -1;
}

// The tty's own sysfs directory, found by device number: /sys/dev/char/MAJ:MIN.
std::optional<fs::path> TtyDirectory(const std::string& device) {
  struct stat info {};
  if (device.empty() || ::stat(device.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) return {};
  const fs::path link = SysfsRoot() / "dev" / "char" /
                        (std::to_string(major(info.st_rdev)) + ":" + std::to_string(minor(info.st_rdev)));
  std::error_code error;
  fs::path dir = fs::canonical(link, error);
  if (error) return {};
  return dir;
}

// The USB-serial port's directory (where ftdi_sio and friends keep latency_timer).
std::optional<fs::path> PortDirectory(const fs::path& tty) {
  std::error_code error;
  fs::path port = fs::canonical(tty / "device", error);
  if (error) return {};
  return port;
}

// Fills the adapter facts; true when the tty is a placeholder with no UART behind it
// (the serial core's type 0), which every PC has for /dev/ttyS0-3.
bool ReadSysfs(const std::string& device, PortFacts& facts) {
  const auto tty = TtyDirectory(device);
  if (!tty) return false;
  std::error_code error;
  if (fs::exists(*tty / "type", error) && ReadAttribute(*tty / "type") == "0") return true;
  const auto port = PortDirectory(*tty);
  if (!port) return false;
  const fs::path latency = *port / "latency_timer";
  if (fs::exists(latency, error)) {
    facts.latencyTimerMs = ReadNumber(latency);
    facts.latencyWritable = ::access(latency.c_str(), W_OK) == 0;
  }
  const fs::path root = SysfsRoot();
  for (fs::path dir = *port; dir.has_relative_path() && dir != root; dir = dir.parent_path()) {
    if (!fs::exists(dir / "idVendor", error)) continue;
    facts.usb = true;
    facts.usbId = ReadAttribute(dir / "idVendor") + ":" + ReadAttribute(dir / "idProduct");
    facts.manufacturer = ReadAttribute(dir / "manufacturer");
    facts.product = ReadAttribute(dir / "product");
    facts.serial = ReadAttribute(dir / "serial");
    break;
  }
  return false;
}

// Owner, group and mode of the device, for the advice on who may open it.
void ReadOwnership(const std::string& device, PortFacts& facts) {
  struct stat info {};
  if (::stat(device.c_str(), &info) != 0) return;
  char buffer[4096];
  group entry {};
  group* found = nullptr;
  facts.group = ::getgrgid_r(info.st_gid, &entry, buffer, sizeof buffer, &found) == 0 && found
                    ? found->gr_name
                    : std::to_string(info.st_gid);
  passwd user {};
  passwd* owner = nullptr;
  facts.owner = ::getpwuid_r(info.st_uid, &user, buffer, sizeof buffer, &owner) == 0 && owner
                    ? owner->pw_name
                    : std::to_string(info.st_uid);
  facts.mode = info.st_mode & 07777;
}

}  // namespace

PortFacts InspectPort(const std::string& device) {
  PortFacts facts;
  facts.device = device;
  std::error_code error;
  const fs::path resolved = device.empty() ? fs::path() : fs::canonical(device, error);
  facts.resolved = error ? device : resolved.string();
  if (device.empty() || ReadSysfs(device, facts)) return facts;  // Missing
  ReadOwnership(device, facts);
  switch (ProbeDevice(device)) {
    case 0: facts.access = PortAccess::Usable; break;
    case EACCES:
    case EPERM: facts.access = PortAccess::NoPermission; break;
    case EBUSY:
      facts.access = PortAccess::InUse;
    {
      const LockHolder holder = LockHolderOf(device);
      facts.holderPid = holder.pid;
      facts.staleLock = holder.stalePath;
      facts.staleWhy = holder.staleWhy;
      if (facts.holderPid > 0) facts.holderName = ProcessName(facts.holderPid);
    }
      break;
    default: facts.access = PortAccess::Missing; break;
  }
  return facts;
}

LatencyTimerState LowerLatencyTimer(const std::string& device) {
  LatencyTimerState state;
  const auto tty = TtyDirectory(device);
  const auto port = tty ? PortDirectory(*tty) : std::nullopt;
  if (!port) return state;
  const fs::path file = *port / "latency_timer";
  std::error_code error;
  if (!fs::exists(file, error)) return state;
  state.attribute = file.string();
  state.foundMs = state.nowMs = ReadNumber(file);
  if (state.foundMs <= 1) return state;
  {
    std::ofstream out(file);
    out << "1\n";
  }
  state.nowMs = ReadNumber(file);
  return state;
}

}  // namespace dd
