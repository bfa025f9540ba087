// Temporary directories named by an environment variable while they live: a private
// port directory, and a sysfs tree in which a pseudo-terminal can pass for a USB-serial
// adapter or an empty UART slot.
#pragma once

#include <filesystem>
#include <string>

namespace dd::test {

class EnvDir {
 public:
  explicit EnvDir(const char* variable);  // removed, and the variable unset, with the object
  ~EnvDir();
  EnvDir(const EnvDir&) = delete;
  EnvDir& operator=(const EnvDir&) = delete;
  const std::filesystem::path& Root() const { return root_; }

 protected:
  std::filesystem::path root_;

 private:
  const char* variable_;
};

// DRIVEDESK_PORT_DIR, with the default ports off: COMn links of this run only, and lock
// files of this run only (a link is locked under its name, the same in every run).
struct PortDirectory : EnvDir {
  PortDirectory();
  ~PortDirectory();
};

class FakeSysfs : public EnvDir {
 public:
  FakeSysfs();
  // `device` (any character device) becomes an FTDI FT232R with this serial number and
  // latency timer; returns the latency_timer file.
  std::filesystem::path AddUsbAdapter(const std::string& device, const std::string& serial,
                                      int latencyMs);
  // `device` becomes a serial-core slot with no UART behind it (type 0).
  void AddEmptySlot(const std::string& device);

 private:
  std::filesystem::path TtyDir(const std::string& device, const std::filesystem::path& port);
  int count_ = 0;
};

}  // namespace dd::test
