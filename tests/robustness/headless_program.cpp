#include "tests/robustness/headless_program.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <string>


namespace dd::test {

PortDirectory::PortDirectory() {
  std::string templ = (std::filesystem::temp_directory_path() / "ddports-XXXXXX").string();
  if (::mkdtemp(templ.data()) != nullptr) path_ = templ;
  ::setenv("DRIVEDESK_PORT_DIR", path_.c_str(), 1);
  ::setenv("DRIVEDESK_PORT_DEFAULTS", "0", 1);
}

PortDirectory::~PortDirectory() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

double TransactionWireSeconds(std::size_t requestBytes, std::size_t replyBytes, uint32_t baud,
                              double turnaroundMs) {
  const double charTime = 11.0 / std::max<uint32_t>(baud, 1);
  const double silence = std::max(3.5 * charTime, 0.00175);
  double seconds = charTime * static_cast<double>(requestBytes);
  if (replyBytes > 0) {
    seconds += std::max(turnaroundMs / 1000.0, silence) + charTime * static_cast<double>(replyBytes);
  }
  return seconds;
}

double PollingCycleLimitSeconds(uint32_t baud, double turnaroundMs) {
  // Error code, actual, target, deviation, current, speed, run time, travel, inputs.
  static constexpr std::size_t kReplies[] = {7, 9, 9, 9, 7, 9, 9, 13, 7};
  double seconds = 0;
  for (const std::size_t reply : kReplies) seconds += TransactionWireSeconds(8, reply, baud, turnaroundMs);
  return seconds;
}

double LoggedWireSeconds(const std::vector<SimLogEntry>& log, uint32_t baud, double turnaroundMs) {
  double seconds = 0;
  for (const SimLogEntry& e : log) {
    seconds += TransactionWireSeconds(e.request.size(), e.reply.size(), baud, turnaroundMs);
  }
  return seconds;
}

}  // namespace dd::test
