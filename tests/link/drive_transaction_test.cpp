// Drive operations over a pseudo-terminal against a scripted drive.
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <mutex>

#include "link/com_port_map.h"
#include "link/drive_catalog.h"
#include "link/drive_commands.h"
#include "link/frame_trace.h"
#include "link/modbus_rtu.h"
#include "link/serial_port.h"
#include "tests/link/pty_peer.h"

namespace dd {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::Bytes;
using test::Hex;
using test::PeerAnswer;
using test::PtyPair;
using test::ScriptedPeer;
using test::ToHex;
using test::WithCrc;

constexpr uint16_t kAddress = 1;

// Echo for writes, a reply with `data` for reads.
ScriptedPeer::Handler Answering(Bytes data) {
  return [data](const Bytes& request) {
    if (request[1] == 3 || request[1] == 4) {
      return PeerAnswer{test::ReadReply(request[0], request[1], data)};
    }
    if (request[1] == 6) return PeerAnswer{request};
    return PeerAnswer{WithCrc(Bytes(request.begin(), request.begin() + 6))};
  };
}

class DriveOverPty : public testing::Test {
 protected:
  void SetUp() override {
    port_ = OpenPortByPath(pty_.slavePath(), 9600, 8, 0, 2);
    ASSERT_NE(port_, 0);
  }
  void TearDown() override { ClosePort(port_); }
  // Generous time-outs for tests about content, not timing: a loaded machine (sanitizers,
  // ctest -j2) may wake the peer thread late.
  void RelaxTimeouts() { ASSERT_TRUE(SetPortTimeouts(port_, 100, 100)); }

  PtyPair pty_;
  SerialHandle port_ = 0;
};

// --- Byte-exact exchanges ---

using Call = std::function<CommandResult(SerialHandle, double&)>;

template <typename T>
Call Read(CommandResult (*op)(SerialHandle, uint16_t, T&)) {
  return [op](SerialHandle port, double& out) {
    T value{};
    const CommandResult result = op(port, kAddress, value);
    out = static_cast<double>(value);
    return result;
  };
}
template <typename T>
Call Write(CommandResult (*op)(SerialHandle, uint16_t, T), T value) {
  return [op, value](SerialHandle port, double&) { return op(port, kAddress, value); };
}
Call Command(CommandResult (*op)(SerialHandle, uint16_t)) {
  return [op](SerialHandle port, double&) { return op(port, kAddress); };
}

struct ExchangeCase {
  Call call;
  const char* request;    // without CRC, unless `crc` is given
  const char* crc;
  const char* replyData;  // data bytes of a read reply; "" for writes
  double value;           // decoded value for reads
};

TEST_F(DriveOverPty, everyRequestShape_exactBytesAndDecodedValues) {
  RelaxTimeouts();
  const ExchangeCase cases[] = {
      {Write(WriteRunSpeed, 300), "01 06 00 40 01 2C", "88 53", "", 0},
      {Read(ReadRunSpeed), "01 04 00 40 00 01", "30 1E", "01 2C", 300},
      {Command(StopMotion), "01 06 00 00 00 08", "88 0C", "", 0},
      {Read(ReadActualPosition), "01 03 00 2C 00 02", "05 C2", "FF FF FF FE", -2},
      {Write(WriteTargetPosition, -2.0), "01 10 00 2E 00 02 04 FF FF FF FE", "B0 6F", "", 0},
      {Read(ReadTravelTotal), "01 03 10 08 00 04", "", "00 00 00 01 00 00 00 00", 4294967296.0},
      {Read(ReadPulseLength), "01 03 00 2A 00 02", "", "FF FF FF FE", 4294967294.0},
      {Read(ReadMotorTeeth), "01 03 00 50 00 04", "", "00 32 FF FF FF FF FF FF", 50},
      {Read(ReadDriveModel), "01 03 00 04 00 04", "", "00 01 00 02 FF FF FF FF", 65538},
      {Read(ReadSensorConfig), "01 03 00 84 00 04", "", "FF FF FF FF 00 08 00 00", 524288},
      {Read(ReadDriveConfig), "01 04 00 08 00 01", "", "20 04", 0x2004},
      {Read(ReadControlWord), "01 04 00 00 00 01", "", "00 08", 8},
      {Read(ReadCpuTemperature), "01 04 03 00 00 01", "", "00 26", 38},
      {Read(ReadRunTime), "01 03 10 06 00 02", "", "00 01 5F 90", 90000},
      {Read(ReadBusBaudRate), "01 03 00 62 00 02", "", "00 01 C2 00", 115200},
      {Read(ReadPortStatus), "01 04 00 80 00 01", "", "03 0F", 0x030F},
      {Read(ReadActualSpeed), "01 03 00 45 00 02", "", "FF FF FF 00", -256},
      {Command(SetZeroPosition), "01 06 00 00 01 00", "", "", 0},
      {Command(ClearCommand), "01 06 00 00 00 00", "", "", 0},
      {Command(SaveParameters), "01 06 00 00 00 01", "", "", 0},
      {Command(ReleaseMotor), "01 06 00 00 00 04", "", "", 0},
      {Command(JogAwayFromMotor), "01 06 00 00 00 10", "", "", 0},
      {Command(JogTowardMotor), "01 06 00 00 00 20", "", "", 0},
      {Command(ReverseOriginSearch), "01 06 00 00 04 00", "", "", 0},
      {Command(StartOriginSearch), "01 06 00 00 08 00", "", "", 0},
      {Write(WriteDriveConfig, 0x0420), "01 06 00 08 20 04", "", "", 0},
      {Write(WriteSensorConfig, 524288.0), "01 10 00 84 00 04 08 00 00 00 00 00 08 00 00", "", "", 0},
      {Write(WriteTargetPosition, 2.5), "01 10 00 2E 00 02 04 00 00 00 02", "", "", 0},  // to even
      {Write(WritePulseLength, 4294967295.0), "01 10 00 2A 00 02 04 FF FF FF FF", "", "", 0},
      {Write(WriteInputBandwidth, 100000.0), "01 10 00 90 00 02 04 00 01 86 A0", "", "", 0},
  };
  std::mutex mutex;
  Bytes data;
  ScriptedPeer peer(pty_.master(), [&](const Bytes& request) {
    const std::lock_guard lock(mutex);
    return Answering(data)(request);
  });
  std::size_t sent = 0;
  for (const ExchangeCase& c : cases) {
    {
      const std::lock_guard lock(mutex);
      data = Hex(c.replyData);
    }
    double value = -12345;
    EXPECT_EQ(c.call(port_, value), kOk) << c.request;
    ASSERT_TRUE(peer.waitForRequests(++sent, 1s));
    const Bytes expected = *c.crc ? Hex(std::string(c.request) + " " + c.crc) : WithCrc(Hex(c.request));
    EXPECT_EQ(ToHex(peer.requests().back()), ToHex(expected));
    if (*c.replyData != '\0') {
      EXPECT_EQ(value, c.value) << c.request;
    }
  }
}

// --- Failures ---

TEST_F(DriveOverPty, silentDrive_readFailsAfterAboutSixteenMs) {
  ScriptedPeer peer(pty_.master(), [](const Bytes&) { return PeerAnswer{}; });
  int32_t value = 77;
  const auto start = Clock::now();
  EXPECT_EQ(ReadRunSpeed(port_, kAddress, value), kShortReply);
  const auto elapsed = Clock::now() - start;
  EXPECT_EQ(value, 77);
  EXPECT_GE(elapsed, 15ms);
  EXPECT_LE(elapsed, 300ms);
}

// A drive that answers every request with what `answer` makes of it.
struct BadAnswerCase {
  const char* what;
  std::function<Bytes(const Bytes&)> answer;
  bool write;            // StopMotion, else ReadErrorCode
  CommandResult result;
  int32_t value;         // the read's output afterwards (77 before)
};

TEST_F(DriveOverPty, unusableReplies_failAsTheirKindAndSetOrKeepTheOutput) {
  RelaxTimeouts();
  const auto exception = [](const Bytes& r) {
    return WithCrc(Bytes{r[0], static_cast<uint8_t>(r[1] | 0x80), 2});
  };
  const BadAnswerCase cases[] = {
      {"exception", exception, false, kShortReply, 77},
      // A frame followed by its own CRC has a CRC of 0: two zero bytes "check out".
      {"exception + 00 00", [&](const Bytes& r) { Bytes b = exception(r); b.push_back(0); b.push_back(0); return b; },
       false, kBadCrc, 0},
      {"wrong crc", [](const Bytes& r) { Bytes b = test::ReadReply(r[0], r[1], Bytes(2u * r[5], 0x11)); b.back() ^= 0x5A; return b; },
       false, kBadCrc, 0},
      {"other address", [](const Bytes&) { return test::ReadReply(7, 4, Hex("01 2C")); }, false, kOk, 300},
      {"echo of another value", [](const Bytes& r) { Bytes b(r.begin(), r.begin() + 6); b[5] ^= 0x01; return WithCrc(b); },
       true, kBadCrc, 0},
      {"write echo wrong crc", [](const Bytes& r) { Bytes b = r; b[7] ^= 0xFF; return b; }, true, kBadCrc, 0},
  };
  for (const BadAnswerCase& c : cases) {
    ScriptedPeer peer(pty_.master(), [&c](const Bytes& r) { return PeerAnswer{c.answer(r)}; });
    int32_t value = 77;
    EXPECT_EQ(c.write ? StopMotion(port_, kAddress) : ReadErrorCode(port_, kAddress, value), c.result) << c.what;
    if (!c.write) {
      EXPECT_EQ(value, c.value) << c.what;
    }
    ASSERT_TRUE(peer.waitIdle(2s));
  }
}

TEST_F(DriveOverPty, lateReplyBytes_areNotTakenAsNextWritesReply) {
  // First request: the echo comes after the read gave up. Second: no answer at all.
  int calls = 0;
  ScriptedPeer peer(pty_.master(), [&calls](const Bytes& r) {
    return ++calls == 1 ? PeerAnswer{r, 60ms} : PeerAnswer{};
  });
  EXPECT_EQ(StopMotion(port_, kAddress), kShortReply);
  ASSERT_TRUE(peer.waitIdle(2s));
  const auto deadline = Clock::now() + 2s;
  while (pty_.pendingAtSlave() < 8 && Clock::now() < deadline) std::this_thread::yield();
  ASSERT_EQ(pty_.pendingAtSlave(), 8);
  EXPECT_EQ(ClearCommand(port_, kAddress), kShortReply);
}

TEST_F(DriveOverPty, lateReadReply_doesNotSpoilNextRead) {
  int calls = 0;
  ScriptedPeer peer(pty_.master(), [&calls](const Bytes& r) {
    ++calls;
    if (calls == 1) return PeerAnswer{test::ReadReply(r[0], r[1], Hex("00 00 00 09")), 60ms};
    return PeerAnswer{test::ReadReply(r[0], r[1], Hex("00 00 00 05"))};
  });
  double target = -1;
  EXPECT_EQ(ReadTargetPosition(port_, kAddress, target), kShortReply);
  ASSERT_TRUE(peer.waitIdle(2s));
  const auto deadline = Clock::now() + 2s;
  while (pty_.pendingAtSlave() < 9 && Clock::now() < deadline) std::this_thread::yield();
  RelaxTimeouts();
  EXPECT_EQ(ReadActualPosition(port_, kAddress, target), kOk);
  EXPECT_EQ(target, 5);
}

TEST(DriveWithoutPort, everyOperation_returnsMinusOneAndSendsNothing) {
  int traced = 0;
  SetFrameTrace([&traced](const TransactionRecord&) { ++traced; });
  for (const DriveOperation& op : DriveOperations()) {
    int32_t i = 5;
    double d = 5;
    CommandResult result = 0;
    switch (op.kind) {
      case OperationKind::ReadInt: result = op.readInt(0, kAddress, i); break;
      case OperationKind::ReadDouble: result = op.readDouble(0, kAddress, d); break;
      case OperationKind::WriteInt: result = op.writeInt(0, kAddress, 1); break;
      case OperationKind::WriteDouble: result = op.writeDouble(0, kAddress, 1); break;
      case OperationKind::Command: result = op.command(0, kAddress); break;
    }
    EXPECT_EQ(result, kNoPort) << op.name;
    EXPECT_EQ(i, 5) << op.name;
    EXPECT_EQ(d, 5) << op.name;
  }
  SetFrameTrace(nullptr);
  EXPECT_EQ(traced, 0);
}

TEST_F(DriveOverPty, unencodableValues_areRefusedWithoutSending) {
  ScriptedPeer peer(pty_.master(), Answering({}));
  EXPECT_EQ(WriteRunSpeed(port_, kAddress, 65536), kValueOutOfRange);
  EXPECT_EQ(WriteRunSpeed(port_, kAddress, -1), kValueOutOfRange);
  EXPECT_EQ(WriteTargetPosition(port_, kAddress, 2147483648.0), kValueOutOfRange);
  EXPECT_EQ(WriteSensorConfig(port_, kAddress, -1.0), kValueOutOfRange);
  EXPECT_EQ(WritePulseLength(port_, kAddress, std::nan("")), kValueOutOfRange);
  EXPECT_FALSE(peer.waitForRequests(1, 50ms));
}

// --- Transport ---

TEST_F(DriveOverPty, exclusiveOpenLineSettingsAndNoHandle) {
  EXPECT_TRUE(ConfigurePort(port_, 250000, 8, 0, 2, 26));
  EXPECT_TRUE(ConfigurePort(port_, 115200, 8, 0, 2, 26));
  EXPECT_FALSE(ConfigurePort(port_, 9600, 9, 0, 2, 26));
  EXPECT_FALSE(ConfigurePort(port_, 9600, 8, 1, 2, 26));
  EXPECT_FALSE(ConfigurePort(port_, 9600, 8, 0, 7, 26));
  EXPECT_FALSE(ConfigurePort(0, 9600, 8, 0, 2, 26));
  EXPECT_FALSE(SetPortTimeouts(0, 2, 3));
  uint8_t byte = 0;
  EXPECT_EQ(WriteFrame(port_, &byte, 0), 0);
  EXPECT_EQ(WriteFrame(0, &byte, 1), 0);
  EXPECT_EQ(ReadReply(0, &byte, 1), 0);
  PurgePort(0, true, true);
  PurgePort(port_, false, false);
  SerialHandle none = 0;
  ClosePort(none);
  EXPECT_EQ(none, 0);
  EXPECT_EQ(OpenPortByPath(pty_.slavePath(), 9600, 8, 0, 2), 0);
  ClosePort(port_);
  EXPECT_EQ(port_, 0);
  SerialHandle again = OpenPortByPath(pty_.slavePath(), 9600, 8, 0, 2);
  EXPECT_NE(again, 0);
  ClosePort(again);
}

TEST(OpenPort, handleNeverZero_missingDeviceOrNonTerminalGivesZero) {
  PtyPair pty;
  const int savedStdin = ::dup(0);
  ::close(0);
  SerialHandle port = OpenPortByPath(pty.slavePath(), 9600, 8, 0, 2);
  ::dup2(savedStdin, 0);
  ::close(savedStdin);
  EXPECT_GT(port, 2);
  ClosePort(port);
  EXPECT_EQ(OpenPortByPath("/nonexistent/ttyX", 9600, 8, 0, 2), 0);
  EXPECT_EQ(OpenPortByPath("/dev/null", 9600, 8, 0, 2), 0);
  EXPECT_EQ(OpenPortByPath("", 9600, 8, 0, 2), 0);
}

// --- COMn through the port directory ---

class PortDirectory : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("drivedesk-link-test-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    ::setenv("DRIVEDESK_PORT_DIR", dir_.c_str(), 1);
    ::setenv("DRIVEDESK_PORT_DEFAULTS", "0", 1);
  }
  void TearDown() override {
    ::unsetenv("DRIVEDESK_PORT_DIR");
    ::unsetenv("DRIVEDESK_PORT_DEFAULTS");
    std::filesystem::remove_all(dir_);
  }
  std::filesystem::path dir_;
};

TEST_F(PortDirectory, twoDigitComNumber_opensItsLink) {
  PtyPair pty;
  PtyPair other;
  std::filesystem::create_symlink(pty.slavePath(), dir_ / "COM12");
  std::filesystem::create_symlink(other.slavePath(), dir_ / "COM1");
  EXPECT_EQ(PortDeviceName(12), (dir_ / "COM12").string());
  SerialHandle port = OpenPort(12, 9600, 8, 0, 2);
  ASSERT_NE(port, 0);
  ASSERT_TRUE(SetPortTimeouts(port, 100, 100));
  ScriptedPeer peer(pty.master(), Answering(Hex("01 2C")));
  int32_t value = 0;
  EXPECT_EQ(ReadRunSpeed(port, kAddress, value), kOk);
  EXPECT_EQ(value, 300);
  ClosePort(port);
}

TEST_F(PortDirectory, probeReportsFreePortsOnly_defaultsOffMeansNoDevice) {
  PtyPair pty;
  std::filesystem::create_symlink(pty.slavePath(), dir_ / "COM3");
  std::filesystem::create_symlink("/nonexistent/tty", dir_ / "COM4");
  EXPECT_NE(ProbePort(3), 0);
  EXPECT_EQ(ProbePort(4), 0);
  EXPECT_EQ(ProbePort(5), 0);
  SerialHandle port = OpenPort(3, 9600, 8, 0, 2);
  ASSERT_NE(port, 0);
  EXPECT_EQ(ProbePort(3), 0);  // held
  EXPECT_EQ(OpenPort(3, 9600, 8, 0, 2), 0);
  ClosePort(port);
  EXPECT_NE(ProbePort(3), 0);
  EXPECT_EQ(ComPortDevice(6), "");  // no link, defaults off
  EXPECT_EQ(OpenPort(6, 9600, 8, 0, 2), 0);
  ::setenv("DRIVEDESK_PORT_DEFAULTS", "1", 1);
  EXPECT_EQ(ComPortDevice(6), "/dev/ttyS5");
}

TEST(ComPortMap, defaultTableNamesAndDirectory) {
  const std::pair<int, const char*> cases[] = {
      {1, "/dev/ttyS0"},    {8, "/dev/ttyS7"},    {9, "/dev/ttyUSB0"}, {24, "/dev/ttyUSB15"},
      {25, "/dev/ttyACM0"}, {32, "/dev/ttyACM7"}, {0, ""},             {33, ""}};
  for (const auto& [n, device] : cases) EXPECT_EQ(DefaultComPortDevice(n), device) << n;
  const std::pair<const char*, int> names[] = {{"COM1", 1},  {"COM12", 12}, {"com32", 32},
                                               {"COM33", 0}, {"COM0", 0},   {"COM07", 0},
                                               {"COM", 0},   {"/dev/ttyS0", 0}, {"COM1x", 0}};
  for (const auto& [name, n] : names) EXPECT_EQ(ComPortNumber(name), n) << name;
  ::unsetenv("DRIVEDESK_PORT_DIR");
  EXPECT_EQ(dd::PortDirectory(), "/tmp/drivedesk-ports");
  ::setenv("DRIVEDESK_PORT_DIR", "/somewhere/else", 1);
  EXPECT_EQ(dd::PortDirectory(), "/somewhere/else");
  ::unsetenv("DRIVEDESK_PORT_DIR");
}

}  // namespace
}  // namespace dd
