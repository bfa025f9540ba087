// drivectl run as a process: single operations against a scripted drive on a pty, the
// parameter backup against the simulated drive, and the port list with locks and rights.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "link/port_lock.h"
#include "sim/sim_drive.h"
#include "tests/link/pty_peer.h"
#include "tests/support/child_process.h"
#include "tests/support/fake_sysfs.h"

namespace dd {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Bytes;
using test::Hex;
using test::PeerAnswer;
using test::PtyPair;
using test::ScriptedPeer;

struct ProcessRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs drivectl (through `prefix`, e.g. setpriv, when given) to its end (killed if it
// outlives a minute) and collects its output.
ProcessRun Drivectl(const std::vector<std::string>& args, std::vector<std::string> prefix = {},
                    const std::string& drivectl = DRIVECTL_PATH) {
  std::vector<std::string> argv = std::move(prefix);
  argv.push_back(drivectl);
  argv.insert(argv.end(), args.begin(), args.end());
  test::ChildProcess child(argv);
  const int status = child.WaitExit(60s);
  return {status, child.Out(), child.Err()};
}

std::string Content(const fs::path& file) {
  std::stringstream text;
  text << std::ifstream(file, std::ios::binary).rdbuf();
  return text.str();
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Each run against its own scripted drive: a silent one when `reply` is null.
struct DrivectlCase {
  std::vector<std::string> args;  // after --port <pty> --baud 9600
  const char* reply;
  int status;
  std::vector<std::string> out;   // each contained in stdout; none: stdout empty
  std::string err;                // contained in stderr
  int requests;                   // -1: not counted
};

TEST(Drivectl, operationsTraceDumpFailuresAndUsage_exitCodesAndTexts) {
  const std::string trace = "TX 01 03 00 2C 00 02 05 C2\nRX " +
                            test::ToHex(test::ReadReply(1, 3, Hex("FF FF FF FE"))) + "\n";
  const DrivectlCase cases[] = {
      {{"--trace", "ReadActualPosition"}, "FF FF FF FE", 0, {"-2\n"}, trace, 1},
      // Only the four-register reads take this reply; the others fail their check.
      {{"dump"}, "00 00 00 00 00 00 00 07", 2, {"ReadMotorTeeth 0\n", "ReadSensorConfig 7\n"}, "", -1},
      {{"StopMotion"}, nullptr, 1, {}, "ShortReply", 1},
      {{"WriteRunSpeed", "70000"}, "", 4, {}, "ValueOutOfRange", 0},
      {{"WriteRunSpeed", "12345678901234567890123456"}, "", 4, {}, "whole number out of range", 0},
  };
  for (const DrivectlCase& c : cases) {
    ProcessRun run;
    std::size_t requests = 0;
    // A reply that missed its window on a loaded machine gives ShortReply: try again.
    for (int i = 0; i < 3 && (i == 0 || (run.status == 1 && c.status != 1)); ++i) {
      PtyPair pty;
      ScriptedPeer peer(pty.master(), c.reply ? test::Answering(Hex(c.reply)) : [](const Bytes&) { return PeerAnswer{}; });
      std::vector<std::string> args = {"--port", pty.slavePath(), "--baud", "9600"};
      args.insert(args.end(), c.args.begin(), c.args.end());
      run = Drivectl(args);
      requests = peer.requests().size();
    }
    EXPECT_EQ(run.status, c.status) << c.args[0] << run.err;
    for (const std::string& out : c.out) EXPECT_TRUE(Has(run.out, out)) << run.out;
    EXPECT_EQ(run.out.empty(), c.out.empty()) << run.out;
    EXPECT_TRUE(Has(run.err, c.err)) << run.err;
    EXPECT_TRUE(c.requests < 0 || requests == static_cast<std::size_t>(c.requests));
  }
  const ProcessRun missing = Drivectl({"--port", "/nonexistent/ttyX", "--baud", "9600", "ReadRunSpeed"});
  EXPECT_EQ(missing.status, 3);
  EXPECT_EQ(missing.err, "drivectl: cannot open /nonexistent/ttyX (/nonexistent/ttyX): missing\n");
  // Bad usage is refused before any port is opened.
  const std::vector<std::vector<std::string>> usage = {
      {"--port", "COM1", "--baud", "9600", "NoSuchOperation"},
      {"--port", "COM1", "--baud", "9600", "WriteRunSpeed"},
      {"--port", "COM1", "--baud", "9600", "WriteRunSpeed", "12x"},
      {"--port", "COM1", "--baud", "9600", "ReadRunSpeed", "5"},
      {"--baud", "9600", "ReadRunSpeed"},
      {"--port", "COM1", "ReadRunSpeed"},
      {"--port", "COM1", "--baud", "fast", "ReadRunSpeed"},
      {"--port", "COM1", "--baud", "11520", "ReadRunSpeed"},
  };
  for (const auto& args : usage) {
    const ProcessRun run = Drivectl(args);
    EXPECT_EQ(run.status, 64) << args.back();
    EXPECT_TRUE(Has(run.err, "usage"));
  }
  EXPECT_TRUE(Has(Drivectl(usage.back()).err, "offers 9600, 19200, 38400, 57600, 115200 and 250000"));
}

// --- Parameter backup, compare and restore against the simulated drive ---

fs::path Scratch(const std::string& name) {
  const auto dir = fs::temp_directory_path() / ("drivedesk-backup-test-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  return dir / name;
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

// Onto another model with fixed sensor levels: compare and restore refuse it without --force.
TEST(DrivectlParameters, backupOfTunedDrive_restoresOntoAnotherModelOnlyWithForce) {
  SimDrive good({.driveModel = 13000000, .driveConfig = 0x6004, .driveCurrent = 250, .currentReduction = 70,
                 .reductionDelay = 800, .pulseLength = 64, .runSpeed = 900, .startSpeed = 40, .commFilter = 9,
                 .speedFilter = 12, .homingSpeed = 300, .homingFilter = 4, .sensorConfig = 0x300B0000,
                 .inputBandwidth = 150000});
  ASSERT_TRUE(good.Start());
  good.SetValue(0x61, 5);  // its bus number, not stored: it answers at 1
  // Written through a link onto the file it names, which keeps its mode.
  const auto file = Scratch("good.txt"), link = Scratch("good-link.txt");
  std::ofstream(file) << "old";
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink(file, link);
  ProcessRun run = OnDrive(good, {"backup", link.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  auto wanted = SetRegisters(good);
  EXPECT_TRUE(Has(Content(file), "RunSpeed = 900")) << Content(file);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  good.Stop();

  SimDrive fresh({.sensorLevelsConfigurable = false});
  ASSERT_TRUE(fresh.Start());
  for (const char* command : {"compare", "restore"}) {
    run = OnDrive(fresh, {command, file.string()});
    EXPECT_EQ(run.status, 2) << command;
    EXPECT_TRUE(Has(run.err, file.string() + ":4: the file is for model 13000000")) << run.err;
  }
  run = OnDrive(fresh, {"compare", file.string(), "--force", "--with-number"});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 13) << run.out;
  EXPECT_TRUE(Has(run.out, "DriveConfig 8 24580\n")) << run.out;
  EXPECT_EQ(Writes(fresh), 1u);  // only the sensor-level probe

  // A jogging axis: refused, with nothing written.
  ASSERT_EQ(OnDrive(fresh, {"JogAwayFromMotor"}).status, 0);
  ASSERT_TRUE(fresh.WaitFor([&] { return fresh.Moving(); }, std::chrono::seconds(2)));
  run = OnDrive(fresh, {"restore", file.string(), "--force"});
  EXPECT_EQ(run.status, 3);
  EXPECT_TRUE(Has(run.err, "the axis is moving")) << run.err;
  EXPECT_EQ(Writes(fresh), 2u);  // the probe's and the jog's
  ASSERT_EQ(OnDrive(fresh, {"StopMotion"}).status, 0);
  ASSERT_TRUE(fresh.WaitForStandstill(std::chrono::seconds(10)));
  // Ctrl-C amid the writes is said and waits for the restore's end.
  test::ChildProcess child({DRIVECTL_PATH, "--port", fresh.DevicePath(), "--baud", "115200", "restore",
                            file.string(), "--force"});
  ASSERT_TRUE(fresh.WaitFor([&] { return Writes(fresh) > 6; }, 20s));
  ::kill(child.Pid(), SIGINT);
  EXPECT_EQ(child.WaitExit(60s), 0) << child.Err();
  EXPECT_TRUE(Has(child.Err(), "the restore finishes its writes")) << child.Err();
  EXPECT_TRUE(Has(child.Err(), ":18: SensorConfig skipped: this drive's origin and limit levels are fixed"));
  run = OnDrive(fresh, {"compare", file.string(), "--force"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");  // a clone keeps its own bus number
  EXPECT_TRUE(Has(run.err, "DriveNumber (the bus address a restore keeps) is not compared, drive 1 file 5"));

  // The drive vanishes after the store: written, stored, but not verified.
  fresh.ScriptFault(SimFaultRule{SimFault::Vanish, 1, 0x08, 4});
  run = OnDrive(fresh, {"restore", file.string(), "--force", "--with-number"});
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_TRUE(Has(run.err, "could not be verified, reading back failed: ")) << run.err;
  EXPECT_FALSE(Has(run.err, "did not take"));
  ASSERT_TRUE(fresh.Return());
  wanted.back() = 0;  // fixed levels
  EXPECT_EQ(SetRegisters(fresh), wanted);
  EXPECT_EQ(fresh.SaveCount(), 2u);
  run = OnDrive(fresh, {"--address", "5", "compare", file.string(), "--force"});
  EXPECT_EQ(run.status, 0) << run.err;  // stored with its number: it answers at 5 now
  EXPECT_EQ(run.out, "");
}

TEST(DrivectlParameters, damagedFile_isRejectedByLineWithNothingWritten) {
  SimDrive sim({.sensorConfig = 0x80000}), fixed({.sensorLevelsConfigurable = false});
  ASSERT_TRUE(sim.Start() && fixed.Start());
  const auto file = Scratch("base.txt");
  ASSERT_EQ(OnDrive(sim, {"backup", file.string()}).status, 0);
  const std::string base = Content(file);
  sim.ClearLog();
  struct Case {
    const char* from;
    const char* to;
    int line;  // 0: the line of `from`, -1: the last line, -2: the whole file, `to` its text
    const char* reason;
    bool force = false;
    bool fixed = false;  // onto a drive whose sensor levels are fixed
  };
  const Case cases[] = {
      {"RunSpeed = 512", "RunSpeed 512", 0, "expected \"Name = value\""},
      {"RunSpeed = 512", "RunSped = 512", 0, "unknown parameter \"RunSped\""},
      {"RunSpeed = 512", "RunSpeed = 1.5", 0, "not a whole number"},
      {"RunSpeed = 512", "RunSpeed = 70000", 0, "does not fit its register (0..65535)"},
      {"RunSpeed = 512", "RunSpeed = 12345678901234567890123456", 0, "does not fit its register"},
      {"DriveCurrent = 300", "", -1, "DriveCurrent is missing"},
      {"DriveCurrent = 300", "DriveCurrent = 900", 0, "outside 50..600", true},
      {"PulseLength = 128", "PulseLength = 51201", 0, "outside 1..51200"},
      {"DriveConfig = 8", "DriveConfig = 9", 0, "not a setting the window can make"},
      {"format = 1", "format = 2", 0, "format 2 is not supported"},
      {"HomingFilter = 6", "HomingFilter = 6 \xC3", 0, "not UTF-8"},
      {"SpeedFilter = 4", "SpeedFilter = 4\nSpeedFilter = 4", 1, "appears again (first on line"},
      {"运行速度", "\xD4\xCB\xD0\xD0\xCB\xD9\xB6\xC8", 0, "not UTF-8 text (ANSI, GBK or Latin-1?)"},
      {"", "\xFF\xFE" "f", -2, "the file is UTF-16 text: save it as UTF-8"},
      {"", "", -2, "the file is empty"},
      {"SensorConfig = 524288", "", -1, "SensorConfig is missing (this drive's origin and limit levels are"},
      {"SensorConfig", "SensorConfig", 0, "this drive's origin and limit levels are fixed", false, true},
  };
  for (const Case& c : cases) {
    std::string text = c.line == -2 ? c.to : base;
    const auto at = text.find(c.from);
    ASSERT_NE(at, std::string::npos) << c.from;
    if (c.line != -2) text.replace(at, std::string_view(c.from).size(), c.to);
    std::ofstream(file, std::ios::binary) << text;
    const auto lineOf = [&](std::size_t pos) { return 1 + std::count(text.begin(), text.begin() + pos, '\n'); };
    const auto line = c.line == -2 ? "" : ":" + std::to_string(c.line < 0 ? lineOf(text.size()) - 1 : lineOf(at) + c.line);
    std::vector<std::string> args = {"restore", file.string()};
    if (c.force) args.push_back("--force");
    const ProcessRun run = OnDrive(c.fixed ? fixed : sim, args);
    EXPECT_EQ(run.status, 2) << c.to;
    EXPECT_TRUE(Has(run.err, file.string() + line + ": ")) << c.to << "\n" << run.err;
    EXPECT_TRUE(Has(run.err, c.reason)) << run.err;
    EXPECT_LE(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;  // not one per line
  }
  EXPECT_EQ(Writes(sim) + fixed.SaveCount(), 0u);
  sim.ScriptFault(SimFault::Exception, -1);
  const ProcessRun refused = OnDrive(sim, {"backup", file.string()});
  EXPECT_EQ(refused.status, 3);
  EXPECT_TRUE(Has(refused.err, "reading SensorConfig from the drive failed: 10 exception replies (code 4)")) << refused.err;
  sim.ClearFaults();
  EXPECT_EQ(OnDrive(sim, {"compare", Scratch("absent.txt").string()}).status, 2);
  EXPECT_EQ(Drivectl({"--port", "/nonexistent/tty", "--baud", "9600", "backup", file.string()}).status, 3);
  EXPECT_EQ(OnDrive(sim, {"backup", "/nonexistent/dir/x.txt"}).status, 2);
}

// --- Ports: links, lock files and rights ---

// Port links, lock files and a fake sysfs for one test; the environment names them.
struct PortScene {
  fs::path dir = fs::temp_directory_path() / ("dd-ports-" + std::to_string(::getpid()));
  fs::path locks = dir / "locks";
  test::FakeSysfs sysfs;
  PortScene() {
    fs::remove_all(dir);
    fs::create_directories(locks);
    ::setenv("DRIVEDESK_PORT_DIR", dir.c_str(), 1);
    ::setenv("DRIVEDESK_PORT_DEFAULTS", "0", 1);
    ::setenv("DRIVEDESK_LOCK_DIR", locks.c_str(), 1);
  }
  ~PortScene() {
    fs::permissions(locks, fs::perms::owner_all);
    fs::remove_all(dir);
    ::unsetenv("DRIVEDESK_PORT_DIR");
    ::unsetenv("DRIVEDESK_LOCK_DIR");
  }
  void Link(int n, const PtyPair& pty) const {
    fs::create_symlink(pty.slavePath(), dir / ("COM" + std::to_string(n)));
  }
  fs::path LockOf(const PtyPair& pty) const {
    return locks / ("LCK..pts_" + pty.slavePath().substr(pty.slavePath().rfind('/') + 1));
  }
};

std::string LineOf(const std::string& out, const std::string& port) {
  const auto at = out.find(port + " ");
  return at == std::string::npos ? "" : out.substr(at, out.find('\n', at) - at);
}

TEST(Drivectl, portsAndOpen_honourLockFilesAndShowTheAdapter) {
  PortScene scene;
  PtyPair usb, held, stale, aliased;
  scene.Link(1, usb);
  scene.Link(2, held);
  scene.Link(3, stale);
  scene.Link(5, aliased);
  scene.sysfs.AddUsbAdapter(usb.slavePath(), "A10K3L2Q", 16);
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  std::ofstream(scene.LockOf(held)) << std::setw(10) << ::getpid() << "\n";  // this test process: alive
  std::ofstream(scene.LockOf(stale)) << std::setw(10) << dead << "\n";
  std::ofstream(scene.locks / "LCK..COM5") << std::setw(10) << ::getpid() << "\n";  // minicom -D on the link

  const ProcessRun ports = Drivectl({"ports"});
  EXPECT_EQ(ports.status, 0) << ports.err;
  EXPECT_TRUE(Has(LineOf(ports.out, "COM1"), " -> " + usb.slavePath() + "  usable  USB 0403:6001 FTDI "
                                            "\"FT232R USB UART\" serial A10K3L2Q, latency timer 16 ms"))
      << ports.out;
  std::string self;
  std::getline(std::ifstream("/proc/self/comm"), self);
  EXPECT_TRUE(Has(LineOf(ports.out, "COM2"), "in use, held by process " + std::to_string(::getpid()) +
                                                 " (" + self + ")")) << ports.out;
  EXPECT_TRUE(Has(LineOf(ports.out, "COM3"), "usable")) << ports.out;
  EXPECT_EQ(LineOf(ports.out, "COM4"), "COM4  -  no device");

  // A write through COMn at a custom rate prints nothing. (Locks and the latency timer
  // on open are the shell's tests; drivectl shares that code.)
  ScriptedPeer peer(usb.master(), test::Answering({}));
  const ProcessRun write = Drivectl({"--port", "COM1", "--baud", "250000", "WriteTargetPosition", "-2"});
  EXPECT_EQ(write.status, 0) << write.err;
  EXPECT_EQ(write.out + write.err, "");
  ASSERT_EQ(peer.requests().size(), 1u);
  EXPECT_EQ(test::ToHex(peer.requests()[0]), "01 10 00 2E 00 02 04 FF FF FF FE B0 6F");

  EXPECT_TRUE(Has(LineOf(ports.out, "COM5"), "in use, held by process " + std::to_string(::getpid())));
  const ProcessRun refused = Drivectl({"--port", "COM5", "--baud", "9600", "ReadRunSpeed"});
  EXPECT_EQ(refused.status, 3);
  EXPECT_TRUE(Has(refused.err, "held by process " + std::to_string(::getpid()))) << refused.err;
}

// Run as nobody when the tests run as root: root opens every device.
TEST(Drivectl, withoutRights_namesGroupLockDirectoryAndLatencyTimer) {
  PortScene scene;
  const bool root = ::geteuid() == 0;
  const std::vector<std::string> asUser =
      root ? std::vector<std::string>{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}
           : std::vector<std::string>{};
  const fs::path drivectl = scene.dir / "drivectl";  // the build tree may be closed to nobody
  fs::copy_file(DRIVECTL_PATH, drivectl);
  PtyPair closed, grouped, open, stale;
  ASSERT_EQ(::chmod(closed.slavePath().c_str(), root ? 0600 : 0), 0);
  ASSERT_EQ(::chmod(grouped.slavePath().c_str(), 0660), 0);
  ASSERT_EQ(::chmod(open.slavePath().c_str(), 0666), 0);
  ASSERT_EQ(::chmod(stale.slavePath().c_str(), 0666), 0);
  const fs::path staleLock = LockFilePath(stale.slavePath());
  std::ofstream(staleLock) << "2147483000\n";  // no such process, and nobody may remove it
  const fs::path latency = scene.sysfs.AddUsbAdapter(open.slavePath(), "B2", 16);
  fs::permissions(latency, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(scene.locks, fs::perms::owner_read | fs::perms::owner_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
  struct stat info {};
  ::stat(closed.slavePath().c_str(), &info);
  const std::string group = ::getgrgid(info.st_gid)->gr_name;
  const std::string owner = ::getpwuid(info.st_uid)->pw_name;

  // Each refused with exit status 3 and the reason.
  const auto refusal = [&](const PtyPair& pty, const std::string& reason) {
    const ProcessRun run = Drivectl({"--port", pty.slavePath(), "--baud", "9600", "ReadRunSpeed"}, asUser, drivectl);
    EXPECT_EQ(run.status, 3);
    EXPECT_TRUE(Has(run.err, reason)) << run.err;
  };
  refusal(closed, "no permission; only its owner may open it (" + owner + (root ? " 600" : " 000") +
                      "), joining a group does not help: a udev rule");
  if (root) {
    refusal(grouped, "no permission; the device belongs to group " + group + ", join it with: sudo usermod -aG " +
                         group + " $USER");
  }
  refusal(stale, "stale lock file " + staleLock.string() +
                     " (process 2147483000 no longer exists; removing it: Permission denied)");

  ScriptedPeer peer(open.master(), test::Answering(Hex("00 07")));
  const ProcessRun slow =
      Drivectl({"--port", open.slavePath(), "--baud", "9600", "ReadRunSpeed"}, asUser, drivectl);
  EXPECT_EQ(slow.status, 0) << slow.err;
  EXPECT_EQ(slow.out, "7\n");
  const std::string said = "cannot create lock files in " + scene.locks.string();
  EXPECT_TRUE(Has(slow.err, said)) << slow.err;
  EXPECT_EQ(slow.err.find(said), slow.err.rfind(said));  // once
  EXPECT_TRUE(Has(slow.err, "holds replies for up to 16 ms and " + latency.string() + " is not writable"))
      << slow.err;
}

}  // namespace
}  // namespace dd
