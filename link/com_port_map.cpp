#include "link/com_port_map.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace dd {

std::string PortDirectory() {
  const char* dir = std::getenv("DRIVEDESK_PORT_DIR");
  if (dir != nullptr && *dir != '\0') return dir;
  return kDefaultPortDirectory;
}

std::string DefaultComPortDevice(int32_t portNumber) {
  if (portNumber < kFirstComPort || portNumber > kLastComPort) return {};
  if (portNumber <= 8) return "/dev/ttyS" + std::to_string(portNumber - 1);
  if (portNumber <= 24) return "/dev/ttyUSB" + std::to_string(portNumber - 9);
  return "/dev/ttyACM" + std::to_string(portNumber - 25);
}

std::string ComPortDevice(int32_t portNumber) {
  if (portNumber < kFirstComPort || portNumber > kLastComPort) return {};
  const std::filesystem::path link =
      std::filesystem::path(PortDirectory()) / ("COM" + std::to_string(portNumber));
  std::error_code error;
  // symlink_status: a dangling link still wins, so the port then fails to open instead
  // of silently falling back to another device.
  if (std::filesystem::exists(std::filesystem::symlink_status(link, error))) return link.string();
  const char* defaults = std::getenv("DRIVEDESK_PORT_DEFAULTS");
  if (defaults != nullptr && std::string_view(defaults) == "0") return {};
  return DefaultComPortDevice(portNumber);
}

int32_t ComPortNumber(std::string_view name) {
  if (name.size() < 4 || name.size() > 5) return 0;
  for (std::size_t i = 0; i < 3; ++i) {
    const char c = static_cast<char>(name[i] & ~0x20);
    if (c != "COM"[i]) return 0;
  }
  const std::string_view digits = name.substr(3);
  if (digits.front() == '0') return 0;
  int32_t number = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + (c - '0');
  }
  return number <= kLastComPort ? number : 0;
}

}  // namespace dd
