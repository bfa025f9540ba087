// drivectl run as a process against a scripted drive on a pseudo-terminal.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/link/pty_peer.h"

extern char** environ;

namespace dd {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::Hex;
using test::PeerAnswer;
using test::PtyPair;
using test::ScriptedPeer;
using test::WithCrc;

struct ProcessRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Starts drivectl, collects its output, and stops it by its pid if it outlives 10 s.
ProcessRun Drivectl(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  std::string program = DRIVECTL_PATH;
  argv.push_back(program.data());
  std::vector<std::string> copy = args;
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);

  int outPipe[2];
  int errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  ProcessRun run;
  if (spawned != 0) {
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    return run;
  }
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  bool outOpen = true;
  bool errOpen = true;
  char buffer[512];
  while ((outOpen || errOpen) && std::chrono::steady_clock::now() < deadline) {
    pollfd fds[2] = {{outOpen ? outPipe[0] : -1, POLLIN, 0}, {errOpen ? errPipe[0] : -1, POLLIN, 0}};
    if (::poll(fds, 2, 100) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].revents == 0) continue;
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 0 ? run.out : run.err).append(buffer, static_cast<std::size_t>(n));
      } else {
        (i == 0 ? outOpen : errOpen) = false;
      }
    }
  }
  if (outOpen || errOpen) ::kill(pid, SIGKILL);
  ::close(outPipe[0]);
  ::close(errPipe[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

ScriptedPeer::Handler Drive(Bytes readData) {
  return [readData](const Bytes& r) {
    if (r[1] == 3 || r[1] == 4) return PeerAnswer{test::ReadReply(r[0], r[1], readData)};
    if (r[1] == 6) return PeerAnswer{r};
    return PeerAnswer{WithCrc(Bytes(r.begin(), r.begin() + 6))};
  };
}

TEST(Drivectl, readWithTrace_printsValueAndFrames) {
  PtyPair pty;
  ScriptedPeer peer(pty.master(), Drive(Hex("FF FF FF FE")));
  const ProcessRun run =
      Drivectl({"--port", pty.slavePath(), "--baud", "9600", "--trace", "ReadActualPosition"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "-2\n");
  EXPECT_NE(run.err.find("TX 01 03 00 2C 00 02 05 C2\n"), std::string::npos) << run.err;
  const std::string rx = "RX " + test::ToHex(test::ReadReply(1, 3, Hex("FF FF FF FE"))) + "\n";
  EXPECT_NE(run.err.find(rx), std::string::npos) << run.err;
}

TEST(Drivectl, writeThroughComLink_printsNothingAndSendsFrame) {
  PtyPair pty;
  const auto dir = std::filesystem::temp_directory_path() /
                   ("drivedesk-drivectl-test-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::filesystem::create_symlink(pty.slavePath(), dir / "COM17");
  ::setenv("DRIVEDESK_PORT_DIR", dir.c_str(), 1);
  ScriptedPeer peer(pty.master(), Drive({}));
  const ProcessRun run = Drivectl({"--port", "COM17", "--baud", "250000", "WriteTargetPosition", "-2"});
  ::unsetenv("DRIVEDESK_PORT_DIR");
  std::filesystem::remove_all(dir);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  ASSERT_EQ(peer.requests().size(), 1u);
  EXPECT_EQ(test::ToHex(peer.requests()[0]), "01 10 00 2E 00 02 04 FF FF FF FE B0 6F");
}

TEST(Drivectl, silentDrive_exitsNonZeroNamingShortReply) {
  PtyPair pty;
  ScriptedPeer peer(pty.master(), [](const Bytes&) { return PeerAnswer{}; });
  const ProcessRun run = Drivectl({"--port", pty.slavePath(), "--baud", "9600", "StopMotion"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("ShortReply"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
}

TEST(Drivectl, missingPort_exitsNonZeroNamingNoPort) {
  const ProcessRun run = Drivectl({"--port", "/nonexistent/ttyX", "--baud", "9600", "ReadRunSpeed"});
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.err.find("NoPort"), std::string::npos) << run.err;
}

TEST(Drivectl, dump_printsOneNameValueLinePerRead) {
  PtyPair pty;
  ScriptedPeer peer(pty.master(), Drive(Hex("00 00 00 00 00 00 00 07")));
  const ProcessRun run = Drivectl({"--port", pty.slavePath(), "--baud", "9600", "dump"});
  EXPECT_NE(run.out.find("ReadMotorTeeth 0\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("ReadSensorConfig 7\n"), std::string::npos) << run.out;
}

TEST(Drivectl, badUsage_isRefusedBeforeOpeningAnyPort) {
  const std::vector<std::vector<std::string>> cases = {
      {"--port", "COM1", "--baud", "9600", "NoSuchOperation"},
      {"--port", "COM1", "--baud", "9600", "WriteRunSpeed"},
      {"--port", "COM1", "--baud", "9600", "WriteRunSpeed", "12x"},
      {"--port", "COM1", "--baud", "9600", "ReadRunSpeed", "5"},
      {"--baud", "9600", "ReadRunSpeed"},
      {"--port", "COM1", "ReadRunSpeed"},
      {"--port", "COM1", "--baud", "fast", "ReadRunSpeed"},
  };
  for (const auto& args : cases) {
    const ProcessRun run = Drivectl(args);
    EXPECT_EQ(run.status, 64) << args.back();
    EXPECT_NE(run.err.find("usage"), std::string::npos);
  }
}

TEST(Drivectl, valueOutOfRange_isNamedAndNothingSent) {
  PtyPair pty;
  ScriptedPeer peer(pty.master(), Drive({}));
  const ProcessRun run = Drivectl({"--port", pty.slavePath(), "--baud", "9600", "WriteRunSpeed", "70000"});
  EXPECT_EQ(run.status, 4);
  EXPECT_NE(run.err.find("ValueOutOfRange"), std::string::npos) << run.err;
  EXPECT_TRUE(peer.requests().empty());
}

}  // namespace
}  // namespace dd
