#include "tests/support/fake_sysfs.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <fstream>

namespace dd::test {

namespace fs = std::filesystem;

namespace {
void Write(const fs::path& file, const std::string& text) { std::ofstream(file) << text << "\n"; }
}  // namespace

EnvDir::EnvDir(const char* variable) : variable_(variable) {
  std::string templ = (fs::temp_directory_path() / "dd-env-XXXXXX").string();
  if (::mkdtemp(templ.data()) != nullptr) root_ = templ;
  ::chmod(root_.c_str(), 0755);  // a test may drop to another user
  ::setenv(variable_, root_.c_str(), 1);
}

EnvDir::~EnvDir() {
  ::unsetenv(variable_);
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

PortDirectory::PortDirectory() : EnvDir("DRIVEDESK_PORT_DIR") {
  ::setenv("DRIVEDESK_PORT_DEFAULTS", "0", 1);
  fs::create_directory(root_ / "locks");
  ::chmod((root_ / "locks").c_str(), 01777);
  ::setenv("DRIVEDESK_LOCK_DIR", (root_ / "locks").c_str(), 1);
}
PortDirectory::~PortDirectory() { ::unsetenv("DRIVEDESK_LOCK_DIR"); }

FakeSysfs::FakeSysfs() : EnvDir("DRIVEDESK_SYSFS_ROOT") { fs::create_directories(root_ / "dev" / "char"); }

// <port>/tty/<name> with its "device" link back to the port, reached from /dev/char
// through relative links, as the kernel lays it out.
fs::path FakeSysfs::TtyDir(const std::string& device, const fs::path& port) {
  struct stat info {};
  ::stat(device.c_str(), &info);
  const fs::path tty = port / "tty" / port.filename();
  fs::create_directories(tty);
  fs::create_directory_symlink("../..", tty / "device");
  const std::string number = std::to_string(major(info.st_rdev)) + ":" + std::to_string(minor(info.st_rdev));
  fs::create_directory_symlink(fs::path("../..") / fs::relative(tty, root_), root_ / "dev" / "char" / number);
  return tty;
}

fs::path FakeSysfs::AddUsbAdapter(const std::string& device, const std::string& serial, int latencyMs) {
  const std::string bus = "usb" + std::to_string(++count_);
  const fs::path usb = root_ / "devices" / bus / "1-1";
  const fs::path port = usb / "1-1:1.0" / ("ttyUSB" + std::to_string(count_));
  fs::create_directories(port);
  for (const auto& [file, text] : {std::pair<const char*, std::string>{"idVendor", "0403"}, {"idProduct", "6001"},
                                    {"manufacturer", "FTDI"}, {"product", "FT232R USB UART"}, {"serial", serial}}) {
    Write(usb / file, text);
  }
  Write(port / "latency_timer", std::to_string(latencyMs));
  TtyDir(device, port);
  return port / "latency_timer";
}

void FakeSysfs::AddEmptySlot(const std::string& device) {
  const fs::path port = root_ / "devices" / "platform" / ("serial8250-" + std::to_string(++count_));
  Write(TtyDir(device, port) / "type", "0");
}

}  // namespace dd::test
