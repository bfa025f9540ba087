// The drivesim program: first line is its device path, --com makes the COMn link,
// the console changes inputs, and it ends cleanly on SIGTERM or "quit".
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "raw_line.h"

extern char** environ;

namespace dd {
namespace {

using namespace std::chrono_literals;

class DrivesimProcess {
 public:
  explicit DrivesimProcess(std::vector<std::string> args) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    args.insert(args.begin(), DRIVESIM_PATH);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, DRIVESIM_PATH, &actions, nullptr, argv.data(), environ) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }
  ~DrivesimProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (stdin_ >= 0) close(stdin_);
    if (stdout_ >= 0) close(stdout_);
  }
  std::string ReadLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      const auto nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        std::string line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return {};
      pollfd p{stdout_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return {};
      char buf[256];
      const ssize_t n = read(stdout_, buf, sizeof buf);
      if (n <= 0) return {};
      buffer_.append(buf, static_cast<std::size_t>(n));
    }
  }
  void Type(const std::string& line) {
    const std::string text = line + "\n";
    ASSERT_EQ(write(stdin_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  // Exit status once it ended within the timeout; -1 otherwise.
  int WaitExit(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      const pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        pid_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      // No signal to wait on for a child here: poll the pipe as a short timed wait.
      pollfd p{stdout_, POLLIN, 0};
      poll(&p, 1, 10);
      char buf[256];
      if (p.revents & POLLIN) {
        [[maybe_unused]] const ssize_t n = read(stdout_, buf, sizeof buf);
      }
    }
    return -1;
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = 0;
  int stdin_ = -1;
  int stdout_ = -1;
  std::string buffer_;
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
  ASSERT_GT(sim.pid(), 0);
  const std::string device = sim.ReadLine(5000ms);
  ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
  const std::string link = dir_ + "/COM9";
  char target[256] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), device);
  EXPECT_EQ(ReadInput(link, 0x0040), 512);
  kill(sim.pid(), SIGTERM);
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
