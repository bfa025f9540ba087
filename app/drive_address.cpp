#include "app/drive_address.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/drive_search.h"

namespace dd {
namespace {

constexpr const char* kAddressKey = "address";

std::string EnvOrEmpty(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? std::string(v) : std::string();
}

}  // namespace

std::string UserSettingsPath() {
#ifdef _WIN32
  const std::string base = EnvOrEmpty("APPDATA");
  return base.empty() ? "" : base + "\\DriveDesk\\settings.conf";
#else
  std::string base = EnvOrEmpty("XDG_CONFIG_HOME");
  if (base.empty()) {
    const std::string home = EnvOrEmpty("HOME");
    if (home.empty()) return "";
    base = home + "/.config";
  }
  return base + "/drivedesk/settings.conf";
#endif
}

std::optional<int> RememberedAddress(const std::string& path) {
  if (path.empty()) return std::nullopt;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq);
    while (!key.empty() && key.back() == ' ') key.pop_back();
    if (key != kAddressKey) continue;
    std::string error;
    return ParseDriveAddress(line.substr(eq + 1), error, false);
  }
  return std::nullopt;
}

bool RememberAddress(const std::string& path, int address) {
  if (path.empty()) return false;
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  const std::string temporary = path + ".new";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << "# DriveDesk settings\n" << kAddressKey << " = " << address << "\n";
    if (!out.flush()) return false;
  }
  std::filesystem::rename(temporary, path, ec);
  return !ec;
}

std::string WindowTitleFor(int address) {
  return address == 1 ? "DriveDesk" : "DriveDesk - 驱动器地址 " + std::to_string(address);
}

void LoadDriveAddress(Session& s) {
  const int address = RememberedAddress(s.SettingsPath).value_or(1);
  s.state.DriveAddress = static_cast<uint16_t>(address);
  s.controls.SetText(Control::MainWindow, WindowTitleFor(address));
}

void UseDriveAddress(Session& s, int address) {
  s.state.DriveAddress = static_cast<uint16_t>(address);
  s.controls.SetText(Control::MainWindow, WindowTitleFor(address));
  // A settings file that cannot be written costs only the next start's default.
  if (!s.SettingsPath.empty()) (void)RememberAddress(s.SettingsPath, address);
}

std::string ChangeDriveAddress(Session& s, std::string_view text) {
  if (s.state.PortHandle.load() != 0) return "请先关闭通信，再更改驱动器地址；";
  std::string error;
  const auto address = ParseDriveAddress(text, error, true);
  if (!address) return error + "；";
  UseDriveAddress(s, *address);
  return "";
}

void EnterDriveAddress(Session& s, std::string_view text) {
  const std::string problem = ChangeDriveAddress(s, text);
  if (!problem.empty()) s.Message(MessageIcon::Error, kAddressTitle, "    " + problem);
}

bool DriveAddressChangeable(const Session& s) { return s.state.PortHandle.load() == 0; }

bool UseFoundDrive(Session& s, const FoundDrive& drive) {
  if (s.state.PortHandle.load() != 0) return false;
  const auto ports = s.controls.Items(Control::PortList);
  const auto bauds = s.controls.Items(Control::BaudList);
  int portIndex = -1;
  int baudIndex = -1;
  for (std::size_t i = 0; i < ports.size(); ++i) {
    if (drive.port.number != 0 && ports[i].data == drive.port.number) portIndex = static_cast<int>(i);
  }
  for (std::size_t i = 0; i < bauds.size(); ++i) {
    if (bauds[i].text == std::to_string(drive.baud)) baudIndex = static_cast<int>(i);
  }
  if (portIndex < 0 || baudIndex < 0) return false;
  s.controls.SetComboIndex(Control::PortList, portIndex);
  s.controls.SetComboIndex(Control::BaudList, baudIndex);
  // As the operator's clicks: the connect button follows the two lists.
  s.events.Dispatch(Control::PortList, UiEvent::Click);
  s.events.Dispatch(Control::BaudList, UiEvent::Click);
  UseDriveAddress(s, drive.address);
  return true;
}

}  // namespace dd
