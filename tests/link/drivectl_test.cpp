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
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/sim_drive.h"
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


// --- Parameter backup, compare and restore against the simulated drive ---

std::filesystem::path Scratch(const std::string& name) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("drivedesk-backup-test-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  return dir / name;
}

std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Put(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The set's registers by the drive's register map.
std::vector<uint64_t> SetRegisters(const SimDrive& sim) {
  std::vector<uint64_t> values;
  for (uint16_t reg : std::initializer_list<uint16_t>{0x08, 0x61, 0x13, 0x14, 0x12, 0x40, 0x46, 0x41, 0x42, 0x44, 0x47}) {
    values.push_back(*sim.Register(reg));
  }
  for (uint16_t block : std::initializer_list<uint16_t>{0x90, 0x2A, 0x84}) values.push_back(*sim.Value(block));
  return values;
}

std::size_t Writes(const SimDrive& sim) {
  std::size_t writes = 0;
  for (const SimLogEntry& e : sim.Log()) writes += e.function == 6 || e.function == 16;
  return writes;
}

ProcessRun OnDrive(const SimDrive& sim, std::vector<std::string> args) {
  args.insert(args.begin(), {"--port", sim.DevicePath(), "--baud", "115200"});
  return Drivectl(args);
}

TEST(DrivectlParameters, backupOfTunedDrive_restoresOntoAnotherModelOnlyWithForce) {
  SimConfig tuned;
  tuned.driveModel = 13000000;
  tuned.driveConfig = 0x6004;
  tuned.driveCurrent = 250;
  tuned.currentReduction = 70;
  tuned.reductionDelay = 800;
  tuned.pulseLength = 64;
  tuned.runSpeed = 900;
  tuned.startSpeed = 40;
  tuned.commFilter = 9;
  tuned.speedFilter = 12;
  tuned.homingSpeed = 300;
  tuned.homingFilter = 4;
  tuned.sensorConfig = 0x300B0000;
  tuned.inputBandwidth = 150000;
  SimDrive good(tuned);
  ASSERT_TRUE(good.Start());
  good.SetValue(0x61, 5);  // its bus number; it answers at 1 until powered up again
  const auto file = Scratch("good.txt");
  ProcessRun run = OnDrive(good, {"backup", file.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto wanted = SetRegisters(good);
  EXPECT_NE(Slurp(file).find("RunSpeed = 900"), std::string::npos) << Slurp(file);
  good.Stop();

  SimDrive fresh;
  ASSERT_TRUE(fresh.Start());
  run = OnDrive(fresh, {"compare", file.string()});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 14) << run.out;
  EXPECT_NE(run.out.find("DriveConfig 8 24580\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("SensorConfig 0 806027264\n"), std::string::npos) << run.out;
  // Another model: refused until --force, with nothing written.
  run = OnDrive(fresh, {"restore", file.string()});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find(file.string() + ":4: the file is for model 13000000"), std::string::npos)
      << run.err;
  EXPECT_EQ(Writes(fresh), 0u);

  run = OnDrive(fresh, {"restore", file.string(), "--force"});
  EXPECT_EQ(run.status, 0) << run.err;
  run = OnDrive(fresh, {"compare", file.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "DriveNumber 1 5\n");  // a clone keeps its own bus number
  run = OnDrive(fresh, {"restore", file.string(), "--force", "--with-number"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(SetRegisters(fresh), wanted);
  EXPECT_EQ(fresh.SaveCount(), 2u);
  run = OnDrive(fresh, {"compare", file.string()});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
}

TEST(DrivectlParameters, damagedFile_isRejectedByLineWithNothingWritten) {
  SimDrive sim;
  ASSERT_TRUE(sim.Start());
  const auto file = Scratch("base.txt");
  ASSERT_EQ(OnDrive(sim, {"backup", file.string()}).status, 0);
  const std::string base = Slurp(file);
  sim.ClearLog();
  struct Case {
    const char* from;
    const char* to;
    int line;  // 0: the line of `from`, -1: the last line
    const char* reason;
    bool force = false;
  };
  const Case cases[] = {
      {"RunSpeed = 512", "RunSpeed 512", 0, "expected \"Name = value\""},
      {"RunSpeed = 512", "RunSped = 512", 0, "unknown parameter \"RunSped\""},
      {"RunSpeed = 512", "RunSpeed = 1.5", 0, "not a whole number"},
      {"RunSpeed = 512", "RunSpeed = 70000", 0, "does not fit its register (0..65535)"},
      {"DriveCurrent = 300", "", -1, "DriveCurrent is missing"},
      {"DriveCurrent = 300", "DriveCurrent = 900", 0, "outside 50..600", true},
      {"CommFilter = 3", "CommFilter = -1", 0, "does not fit"},
      {"HomingFilter = 6", "HomingFilter = 19", 0, "outside 0..18"},
      {"PulseLength = 128", "PulseLength = 51201", 0, "outside 1..51200"},
      {"DriveConfig = 8", "DriveConfig = 9", 0, "not a setting the window can make"},
      {"SensorConfig = 0", "SensorConfig = 16", 0, "not a setting the window can make"},
      {"format = 1", "format = 2", 0, "format 2 is not supported"},
      {"HomingFilter = 6", "HomingFilter = 6 \xC3", 0, "not UTF-8"},
      {"SpeedFilter = 4", "SpeedFilter = 4\nSpeedFilter = 4", 1, "appears again (first on line"},
  };
  for (const Case& c : cases) {
    std::string text = base;
    const auto at = text.find(c.from);
    ASSERT_NE(at, std::string::npos) << c.from;
    text.replace(at, std::string_view(c.from).size(), c.to);
    Put(file, text);
    const auto lineOf = [&](std::size_t pos) { return 1 + std::count(text.begin(), text.begin() + pos, '\n'); };
    const auto line = c.line < 0 ? lineOf(text.size()) - 1 : lineOf(at) + c.line;
    std::vector<std::string> args = {"restore", file.string()};
    if (c.force) args.push_back("--force");
    const ProcessRun run = OnDrive(sim, args);
    EXPECT_EQ(run.status, 2) << c.to;
    EXPECT_NE(run.err.find(file.string() + ":" + std::to_string(line) + ": "), std::string::npos)
        << c.to << "\n" << run.err;
    EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
  }
  EXPECT_EQ(Writes(sim), 0u);
  EXPECT_EQ(OnDrive(sim, {"compare", Scratch("absent.txt").string()}).status, 2);
  EXPECT_EQ(Drivectl({"--port", "/nonexistent/tty", "--baud", "9600", "backup", file.string()}).status, 3);
  // A backup that cannot be written leaves nothing behind.
  EXPECT_EQ(OnDrive(sim, {"backup", "/nonexistent/dir/x.txt"}).status, 2);
}

}  // namespace
}  // namespace dd
