// A sysfs tree in a temporary directory, named by $DRIVEDESK_SYSFS_ROOT while it lives,
// in which a pseudo-terminal can pass for a USB-serial adapter or an empty UART slot.
#pragma once

#include <filesystem>
#include <string>

namespace dd::test {

class FakeSysfs {
 public:
  FakeSysfs();
  ~FakeSysfs();
  FakeSysfs(const FakeSysfs&) = delete;
  FakeSysfs& operator=(const FakeSysfs&) = delete;

  // `device` (any character device) becomes an FTDI FT232R with this serial number and
  // latency timer; returns the latency_timer file.
  std::filesystem::path AddUsbAdapter(const std::string& device, const std::string& serial,
                                      int latencyMs);
  // `device` becomes a serial-core slot with no UART behind it (type 0).
  void AddEmptySlot(const std::string& device);
  const std::filesystem::path& Root() const { return root_; }

 private:
  std::filesystem::path TtyDir(const std::string& device, const std::filesystem::path& port);
  std::filesystem::path root_;
  int count_ = 0;
};

}  // namespace dd::test
