// The drivesim program: first line is its device path, --com makes the COMn link,
// the console changes inputs, and it ends cleanly on SIGTERM or "quit".
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "raw_line.h"
#include "tests/support/child_process.h"

namespace dd {
namespace {

using namespace std::chrono_literals;

struct DrivesimProcess : test::ChildProcess {
  explicit DrivesimProcess(std::vector<std::string> args) : ChildProcess(WithProgram(args)) {}
  static std::vector<std::string> WithProgram(std::vector<std::string> args) {
    args.insert(args.begin(), DRIVESIM_PATH);
    return args;
  }
};

class Drivesim : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ::testing::TempDir() + "/drivesim-ports-" + std::to_string(getpid());
    setenv("DRIVEDESK_PORT_DIR", dir_.c_str(), 1);
  }
  void TearDown() override { unsetenv("DRIVEDESK_PORT_DIR"); }
  std::string dir_;
};

uint16_t ReadInput(const std::string& device, uint16_t reg) {
  test::RawLine line(device, 115200);
  char hex[32];
  std::snprintf(hex, sizeof hex, "01 04 %02X %02X 00 01", reg >> 8, reg & 0xFF);
  line.Send(test::WithCrc(hex));
  const auto reply = line.Receive(7, 2000ms);
  return reply.size() == 7 ? static_cast<uint16_t>((reply[3] << 8) | reply[4]) : 0xFFFF;
}

TEST_F(Drivesim, firstLineIsDevice_linkServesAndSigtermRemovesIt) {
  DrivesimProcess sim({"--com", "9"});
  ASSERT_GT(sim.Pid(), 0);
  const std::string device = sim.ReadLine(5000ms);
  ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
  const std::string link = dir_ + "/COM9";
  char target[256] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), device);
  EXPECT_EQ(ReadInput(link, 0x0040), 512);
  kill(sim.Pid(), SIGTERM);
  EXPECT_EQ(sim.WaitExit(5000ms), 0);
  struct stat st{};
  EXPECT_NE(lstat(link.c_str(), &st), 0);
}

TEST_F(Drivesim, consoleTogglesInputsAndErrorCode_quitEnds) {
  DrivesimProcess sim({"--baud", "115200", "--model", "21000000"});
  const std::string device = sim.ReadLine(5000ms);
  ASSERT_FALSE(device.empty());
  sim.Type("near on");
  sim.Type("origin on");
  sim.Type("error 1043");
  sim.Type("status");
  ASSERT_FALSE(sim.ReadLine(5000ms).empty());  // the status line: commands done
  EXPECT_EQ(ReadInput(device, 0x0080) & 0x000F, 0x0006);  // Dir, Free (variant 1)
  EXPECT_EQ(ReadInput(device, 0x0002), 1043);
  sim.Type("quit");
  EXPECT_EQ(sim.WaitExit(5000ms), 0);
}

TEST_F(Drivesim, badOption_endsWithUsageError) {
  DrivesimProcess sim({"--baud", "fast"});
  EXPECT_EQ(sim.WaitExit(5000ms), 2);
}

}  // namespace
}  // namespace dd
