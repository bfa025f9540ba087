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

FakeSysfs::FakeSysfs()
    : root_(fs::temp_directory_path() / ("dd-sysfs-" + std::to_string(::getpid()))) {
  fs::remove_all(root_);
  fs::create_directories(root_ / "dev" / "char");
  ::setenv("DRIVEDESK_SYSFS_ROOT", root_.c_str(), 1);
}

FakeSysfs::~FakeSysfs() {
  ::unsetenv("DRIVEDESK_SYSFS_ROOT");
  fs::remove_all(root_);
}

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
  Write(usb / "idVendor", "0403");
  Write(usb / "idProduct", "6001");
  Write(usb / "manufacturer", "FTDI");
  Write(usb / "product", "FT232R USB UART");
  Write(usb / "serial", serial);
  Write(port / "latency_timer", std::to_string(latencyMs));
  TtyDir(device, port);
  return port / "latency_timer";
}

void FakeSysfs::AddEmptySlot(const std::string& device) {
  const fs::path port = root_ / "devices" / "platform" / ("serial8250-" + std::to_string(++count_));
  Write(TtyDir(device, port) / "type", "0");
}

}  // namespace dd::test
