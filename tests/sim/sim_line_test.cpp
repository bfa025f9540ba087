// The simulator from outside: its slave side against libmodbus, an independent master
// (raw frames go over libmodbus's own line where its API cannot make them: bad CRC,
// noise, broadcast); our drive operations against each of its faults; the drivesim program.
#include <errno.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include <modbus.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/bus_log.h"
#include "app/bus_log_format.h"
#include "link/drive_commands.h"
#include "link/frame_trace.h"
#include "link/serial_port.h"
#include "sim/sim_drive.h"
#include "tests/link/pty_peer.h"
#include "tests/support/child_process.h"

namespace dd {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::ToHex;
using test::WithCrc;


// libmodbus as the master, at the simulator's line settings unless told otherwise.
struct Libmodbus {
  explicit Libmodbus(const std::string& device, int baud = 115200, char parity = 'E', int slave = 1)
      : ctx(modbus_new_rtu(device.c_str(), baud, parity, 8, 1)) {
    modbus_set_slave(ctx, slave);
    modbus_set_response_timeout(ctx, 0, 300000);
    connected = modbus_connect(ctx) == 0;
  }
  ~Libmodbus() {
    modbus_close(ctx);
    modbus_free(ctx);
  }
  int ReadInput(uint16_t reg) {
    uint16_t value = 0;
    return modbus_read_input_registers(ctx, reg, 1, &value) == 1 ? value : -1;
  }
  // Raw bytes out; the reply as it came, or nothing within `wait`.
  Bytes Exchange(const Bytes& frame, std::size_t replyLength, std::chrono::milliseconds wait = 2000ms) {
    if (::write(modbus_get_socket(ctx), frame.data(), frame.size()) != ssize_t(frame.size())) return {};
    return test::ReadUpTo(modbus_get_socket(ctx), replyLength, test::Clock::now() + wait);
  }
  modbus_t* ctx;
  bool connected = false;
};

TEST(SimProtocol, readsWritesExceptionsAndSilence) {
  SimDrive sim({.wireRealism = false});
  ASSERT_TRUE(sim.Start());
  auto mb = std::make_unique<Libmodbus>(sim.DevicePath());
  ASSERT_TRUE(mb->connected);
  uint16_t r[4] = {};
  ASSERT_EQ(modbus_read_registers(mb->ctx, 0x0004, 4, r), 4);  // model 10500000
  EXPECT_EQ((uint32_t{r[0]} << 16) | r[1], 10500000u);
  ASSERT_EQ(modbus_write_register(mb->ctx, 0x0047, 12), 1);
  EXPECT_EQ(mb->ReadInput(0x0047), 12);
  const uint16_t levels[4] = {0, 0, 0x3003, 0x0000};  // limits normally closed
  ASSERT_EQ(modbus_write_registers(mb->ctx, 0x0084, 4, levels), 4);
  EXPECT_EQ(sim.Value(0x0084), 805502976u);
  // Writing 0 clears the whole 64-bit block.
  const uint16_t zero[4] = {};
  ASSERT_EQ(modbus_write_registers(mb->ctx, 0x0084, 4, zero), 4);
  EXPECT_EQ(sim.Value(0x0084), 0u);
  // The control words go on the line low byte first: 20 04 is held as 0x2004.
  EXPECT_EQ(ToHex(mb->Exchange(WithCrc("01 06 00 08 20 04"), 8)), ToHex(WithCrc("01 06 00 08 20 04")));
  EXPECT_EQ(sim.Register(0x0008), 0x2004);

  // Exceptions, byte for byte: request -> reply without CRC.
  const std::pair<const char*, const char*> exceptions[] = {
      {"01 04 00 01 00 01", "01 84 02"},  // unknown register
      {"01 03 00 45 00 01", "01 83 02"},  // high word of a pair alone
      {"01 03 00 2C 00 01", "01 83 02"},  // block with a wrong count
      {"01 01 00 00 00 01", "01 81 01"},  // unknown function
      {"01 06 00 43 00 05", "01 86 02"},  // read-only register
      {"01 10 00 2C 00 02 04 00 00 00 01", "01 90 02"},
  };
  for (const auto& [request, reply] : exceptions) {
    EXPECT_EQ(ToHex(mb->Exchange(WithCrc(request), 5)), ToHex(WithCrc(reply))) << request;
  }

  // Silence: another slave, a broadcast (which acts), a wrong CRC, noise.
  const uint64_t before = sim.RequestCount();
  Bytes bad = WithCrc("01 04 00 40 00 01");
  bad.back() ^= 0x01;
  for (const Bytes& frame : {WithCrc("02 04 00 40 00 01"), WithCrc("00 06 00 41 00 07"), bad, test::Hex("55 AA")}) {
    EXPECT_TRUE(mb->Exchange(frame, 1, 50ms).empty()) << ToHex(frame);
  }
  ASSERT_TRUE(sim.WaitForRequests(before + 4, 2000ms));
  EXPECT_EQ(sim.Register(0x0041), 7);
  const auto log = sim.Log();
  for (auto e = log.end() - 4; e != log.end(); ++e) EXPECT_EQ(e->outcome, SimOutcome::Ignored);
  mb.reset();
  EXPECT_EQ(Libmodbus(sim.DevicePath(), 115200, 'E', 2).ReadInput(0x0040), -1);  // another slave
  EXPECT_EQ(errno, ETIMEDOUT);
  EXPECT_EQ(Libmodbus(sim.DevicePath()).ReadInput(0x0040), 512);
}

TEST(SimWire, answersOnlyMatchingLineSettingsAfterTheWireTime) {
  SimConfig c;  // wire realism on, 115200
  SimDrive sim(c);
  ASSERT_TRUE(sim.Start());
  for (const auto& [baud, parity, answered] :
       {std::tuple{115200, 'E', true}, {19200, 'E', false}, {115200, 'O', false}}) {
    EXPECT_EQ(Libmodbus(sim.DevicePath(), baud, parity).ReadInput(0x0040) == 512, answered) << baud << parity;
  }
  c.lineBaud = 9600;
  c.turnaroundMs = 1;
  SimDrive slow(c);
  ASSERT_TRUE(slow.Start());
  Libmodbus line(slow.DevicePath(), 9600);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(line.Exchange(WithCrc("01 04 00 40 00 01"), 7).size(), 7u);
  // 8 + 7 characters of 11 bits at 9600 bit/s is 17.2 ms, plus the turnaround.
  EXPECT_GE(std::chrono::steady_clock::now() - start, 17ms);
}

// --- Our link against the simulator's faults ---

// A loaded machine (sanitizers, parallel runs) can make a reply miss the 16 ms window,
// which turns any result into a time-out: a few more tries tell a fault from the load.
CommandResult Until(CommandResult wanted, const std::function<CommandResult()>& attempt) {
  CommandResult r = attempt();
  for (int i = 1; i < 6 && r != wanted; ++i) r = attempt();
  return r;
}

class LinkAgainstSim : public ::testing::Test {
 protected:
  void Open(SimConfig config) {
    config.wireRealism = false;  // wire time has its own test; here only the replies count
    ClosePort(port_);
    sent_ = 0;
    sim_ = std::make_unique<SimDrive>(config);
    ASSERT_TRUE(sim_->Start());
    port_ = OpenPortByPath(sim_->DevicePath(), 115200, 8, 0, 2);
    ASSERT_NE(port_, 0);
  }
  void SetUp() override {
    SetFrameTrace([this](const TransactionRecord& r) {
      if (r.request.empty()) return;
      ++sent_;
      traced_ = {{r.request.begin(), r.request.end()}, {r.reply.begin(), r.reply.end()}};
    });
    Open({});
  }
  void TearDown() override {
    SetFrameTrace(nullptr);
    ClosePort(port_);
  }
  // One request, then a wait until the simulator heard it and wrote its whole reply: a
  // late or split reply's stray bytes are on the line before the next request goes out,
  // and on a loaded machine no two requests meet in the simulator's input as one frame.
  CommandResult Call(const std::function<CommandResult()>& call) {
    const CommandResult r = call();
    EXPECT_TRUE(sim_->WaitFor([&] {
      const auto log = sim_->Log();
      return log.size() == sent_ &&
             (log.back().reply.empty() || log.back().replied.time_since_epoch().count() != 0);
    }, 2000ms));
    return r;
  }
  CommandResult Faulted(SimFault fault, const std::function<CommandResult()>& call) {
    sim_->ScriptFault(fault, 1);
    return Call(call);
  }

  std::unique_ptr<SimDrive> sim_;
  SerialHandle port_ = 0;
  std::size_t sent_ = 0;
  std::pair<std::vector<uint8_t>, std::vector<uint8_t>> traced_;  // the last request and reply
};

TEST_F(LinkAgainstSim, eachFault_failsAsPredictedAndTheNextRequestIsClean_chanceRepeatsWithSeed) {
  const std::pair<SimFault, CommandResult> faults[] = {
      {SimFault::Drop, kShortReply},      {SimFault::Silent, kShortReply},
      {SimFault::Short, kShortReply},     {SimFault::Exception, kShortReply},
      {SimFault::BadCrc, kBadCrc},        {SimFault::Late, kShortReply},
      {SimFault::Split, kShortReply}};
  int32_t v = 0;
  const auto read = [&] { return ReadRunSpeed(port_, 1, v); };
  const auto write = [&] { return WriteRunSpeed(port_, 1, 512); };
  for (const auto& [fault, result] : faults) {
    const int kind = static_cast<int>(fault);
    EXPECT_EQ(Until(result, [&] { v = 77; return Faulted(fault, read); }), result) << kind;
    EXPECT_EQ(v, result == kBadCrc ? 0 : 77) << kind;
    // The trace holds what went over the line, a dropped or corrupt reply included.
    if (fault == SimFault::Drop || fault == SimFault::BadCrc) {
      EXPECT_EQ(traced_, std::pair(sim_->Log().back().request, sim_->Log().back().reply)) << kind;
    }
    EXPECT_EQ(Until(kOk, [&] { return Call(read); }), kOk) << kind;
    EXPECT_EQ(v, 512) << kind;
    EXPECT_EQ(Until(result, [&] { return Faulted(fault, write); }), result) << kind;
  }
  // A dropped reply's command was carried out; a silent drive's was not.
  EXPECT_EQ(Faulted(SimFault::Drop, [&] { return WriteRunSpeed(port_, 1, 300); }), kShortReply);
  EXPECT_EQ(sim_->Register(0x0040), 300);
  EXPECT_EQ(Faulted(SimFault::Silent, [&] { return WriteRunSpeed(port_, 1, 400); }), kShortReply);
  EXPECT_EQ(sim_->Register(0x0040), 300);
  // Faults by chance repeat with their seed.
  std::string patterns[2];
  for (std::string& pattern : patterns) {
    SimConfig c;
    c.seed = 42;
    c.faultProbability[static_cast<std::size_t>(SimFault::Drop)] = 0.5;
    Open(c);
    for (int i = 0; i < 12; ++i) Call(read);
    for (const auto& e : sim_->Log()) pattern += e.fault ? 'x' : 'o';
  }
  EXPECT_EQ(patterns[0], patterns[1]);
  EXPECT_TRUE(patterns[0].find('x') != std::string::npos && patterns[0].find('o') != std::string::npos);
}

// The bus log against the simulator's own record: every byte it received is a TX, every
// byte it sent an RX or a LateReply, in its order, also for a reply that came late, one
// split past the give-up with the next request already out, an exception reply and
// repeated identical failures; a vanished port is one PortError, no TX, and a PortBack.
TEST_F(LinkAgainstSim, busLogHoldsWhatTheSimulatorReceivedAndSent_inItsOrder) {
  BusLog log;
  SetFrameTrace([&](const TransactionRecord& r) {
    if (!r.request.empty() && r.unwritten == 0) ++sent_;
    log.Push(r);
  });
  int32_t v = 0;
  const auto read = [&] { return ReadRunSpeed(port_, 1, v); };
  Faulted(SimFault::Late, read);
  Call(read);  // finds the late reply waiting
  Faulted(SimFault::Exception, read);
  sim_->ScriptFault(SimFault::Silent, 4);
  for (int i = 0; i < 4; ++i) Call(read);
  sim_->ScriptFault(SimFault::Split, 1);
  read();  // gives up on the first part; its retry goes out before the rest came
  Call(read);
  Call([&] { return ReadErrorCode(port_, 1, v); });
  sim_->Vanish();
  for (int i = 0; i < 50; ++i) EXPECT_NE(read(), kOk);
  ASSERT_TRUE(sim_->Return());
  ClosePort(port_);
  port_ = OpenPortByPath(sim_->DevicePath(), 115200, 8, 0, 2);
  EXPECT_EQ(Call(read), kOk);

  std::vector<BusRecord> records;
  uint64_t cursor = 0;
  log.ReadFrom(cursor, records, 1000);
  Bytes tx, rx, simTx, simRx;
  std::string text;
  for (const BusRecord& r : records) {
    for (uint64_t i = 0; i < (r.kind == BusRecordKind::Repeated ? r.count : r.kind == BusRecordKind::Frame); ++i) {
      tx.insert(tx.end(), r.Written().begin(), r.Written().end());
      rx.insert(rx.end(), r.Reply().begin(), r.Reply().end());
    }
    AppendLogLines(r, text);
  }
  const auto simLog = sim_->Log();
  for (const SimLogEntry& e : simLog) {
    simTx.insert(simTx.end(), e.request.begin(), e.request.end());
    simRx.insert(simRx.end(), e.reply.begin(), e.reply.end());
  }
  EXPECT_EQ(ToHex(tx), ToHex(simTx));
  EXPECT_EQ(ToHex(rx), ToHex(simRx)) << text;
  // The late reply is timed when it was taken off the line, after the simulator sent it.
  const auto late = std::find_if(records.begin(), records.end(), [](const BusRecord& r) { return r.Request().empty(); });
  ASSERT_NE(late, records.end());
  EXPECT_GE(late->received, simLog[0].replied);
  EXPECT_LT(late->received - simLog[0].replied, 500ms);
  for (const char* line : {" -- LateReply\n", " -- Exception 04 SlaveDeviceFailure\n", " -- Timeout\n",
                           " -- Repeated 3 Timeout\n", " -- PortError\n", " -- PortBack 49 unsent\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << text;
  }
  EXPECT_EQ(text.find(" -- PortError\n"), text.rfind(" -- PortError\n")) << text;
}

// --- The drivesim program ---

test::ChildProcess Drivesim(std::vector<std::string> args) {
  args.insert(args.begin(), DRIVESIM_PATH);
  return test::ChildProcess(args);
}

// One read through our link, with time-outs generous enough for a loaded machine.
int32_t Read(const std::string& device, CommandResult (*op)(SerialHandle, uint16_t, int32_t&)) {
  SerialHandle port = OpenPortByPath(device, 115200, 8, 0, 2);
  int32_t value = -1;
  if (port == 0 || !SetPortTimeouts(port, 100, 100) || op(port, 1, value) != kOk) value = -1;
  ClosePort(port);
  return value;
}

TEST(Drivesim, firstLineIsDevice_linkServesAndSigtermRemovesIt) {
  const std::string dir = ::testing::TempDir() + "/drivesim-ports-" + std::to_string(getpid());
  setenv("DRIVEDESK_PORT_DIR", dir.c_str(), 1);
  test::ChildProcess sim = Drivesim({"--com", "9"});
  ASSERT_GT(sim.Pid(), 0);
  const std::string device = sim.ReadLine(5000ms);
  ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
  const std::string link = dir + "/COM9";
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), device);
  EXPECT_EQ(Read(link, ReadRunSpeed), 512);
  kill(sim.Pid(), SIGTERM);
  EXPECT_EQ(sim.WaitExit(5000ms), 0);
  struct stat st{};
  EXPECT_NE(lstat(link.c_str(), &st), 0);
  unsetenv("DRIVEDESK_PORT_DIR");
}

TEST(Drivesim, consoleTogglesInputsAndErrorCode_quitEnds) {
  test::ChildProcess sim = Drivesim({"--baud", "115200", "--model", "21000000"});
  const std::string device = sim.ReadLine(5000ms);
  ASSERT_FALSE(device.empty());
  for (const char* line : {"near on", "origin on", "error 1043", "status"}) sim.Type(line);
  ASSERT_FALSE(sim.ReadLine(5000ms).empty());  // the status line: commands done
  EXPECT_EQ(Read(device, ReadPortStatus) & 0x000F, 0x0006);  // Dir, Free (variant 1)
  EXPECT_EQ(Read(device, ReadErrorCode), 1043);
  sim.Type("quit");
  EXPECT_EQ(sim.WaitExit(5000ms), 0);
  EXPECT_EQ(Drivesim({"--baud", "fast"}).WaitExit(5000ms), 2);  // usage error
}

}  // namespace
}  // namespace dd
