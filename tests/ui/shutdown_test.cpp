// The real program, offscreen, against drivesim, ended from outside while its
// operator holds a jog button: the axis stops before the process ends; a silent drive
// delays the end by seconds at most; a second signal ends it at once.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <utility>

#include "tests/support/child_process.h"
#include "tests/support/fake_sysfs.h"

namespace dd::test {
namespace {

using namespace std::chrono_literals;

class ProgramEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    sim_ = std::make_unique<ChildProcess>(std::vector<std::string>{DRIVESIM_PATH, "--com", "5"});
    ASSERT_FALSE(sim_->ReadLine(5000ms).empty());
  }
  // Starts drivedesk with its scripted operator; returns once it jogs.
  void StartJogging(std::vector<std::string> options = {}) {
    options.insert(options.begin(), OPERATED_PROGRAM_PATH);
    program_ = std::make_unique<ChildProcess>(options);
    ASSERT_EQ(program_->ReadLine(30000ms), "jogging");
  }
  // The drive's speed and control word, from its console.
  std::pair<int, unsigned> Status() {
    sim_->Type("status");
    std::string line;
    while (line.rfind("pos ", 0) != 0 && !(line = sim_->ReadLine(5000ms)).empty()) {
    }
    std::pair<int, unsigned> s{-1, 0xFFFF};
    const auto at = line.find(" speed ");
    if (at != std::string::npos) std::sscanf(line.c_str() + at, " speed %d cw 0x%x", &s.first, &s.second);
    return s;
  }

  PortDirectory ports_;
  EnvDir runtime_{"XDG_RUNTIME_DIR"};  // the single-instance lock of these runs only
  std::unique_ptr<ChildProcess> sim_;
  std::unique_ptr<ChildProcess> program_;
};

TEST_F(ProgramEnd, sigtermWhileJogging_stopsTheAxisThenEnds_logHasTheStop) {
  const std::string log = (runtime_.Root() / "bus.log").string();
  ASSERT_NO_FATAL_FAILURE(StartJogging({"--log", log}));
  EXPECT_NE(Status().first, 0);
  kill(program_->Pid(), SIGTERM);
  EXPECT_EQ(program_->WaitExit(10000ms), 0);
  auto [speed, controlWord] = Status();
  for (auto deadline = std::chrono::steady_clock::now() + 5s; speed != 0 && std::chrono::steady_clock::now() < deadline;) {
    std::tie(speed, controlWord) = Status();
  }
  EXPECT_EQ(speed, 0);
  EXPECT_TRUE(controlWord != 0x0010 && controlWord != 0x0020) << "the jog command still stands";
  // The stop went over the line after the signal, and the file got it before the end.
  std::ifstream file(log);
  const std::string text{std::istreambuf_iterator<char>(file), {}};
  EXPECT_NE(text.find(" TX 01 06 00 00 00 08 "), std::string::npos);
  EXPECT_EQ(text.back(), '\n');
}

TEST_F(ProgramEnd, silentDrive_endsWithinSecondsAndASecondSignalAtOnce) {
  for (const bool twice : {false, true}) {
    ASSERT_NO_FATAL_FAILURE(StartJogging());
    sim_->Type("fault silent forever");
    Status();
    kill(program_->Pid(), SIGTERM);
    if (twice) kill(program_->Pid(), SIGINT);
    const int status = program_->WaitExit(twice ? 2000ms : 15000ms);
    EXPECT_NE(status, -1) << "still running";
    // Both pending at once: the kernel may hand over either first.
    if (twice) { EXPECT_TRUE(status == 128 + SIGINT || status == 128 + SIGTERM) << status; }
    sim_->Type("fault clear");
  }
}

}  // namespace
}  // namespace dd::test
