// Drive operations over a pseudo-terminal against a scripted drive and against libmodbus;
// opening ports by path and by COM number.
#include <gtest/gtest.h>
#include <modbus.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <thread>
#include <vector>

#include "link/com_port_map.h"
#include "link/drive_commands.h"
#include "link/frame_trace.h"
#include "link/serial_port.h"
#include "tests/link/pty_peer.h"

namespace dd {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::Clock;
using test::Hex;
using test::PeerAnswer;
using test::PtyPair;
using test::ScriptedPeer;
using test::ToHex;
using test::WithCrc;

constexpr uint16_t kAddress = 1;

class DriveOverPty : public testing::Test {
 protected:
  void SetUp() override {
    port_ = OpenPortByPath(pty_.slavePath(), 9600, 8, 0, 2);
    ASSERT_NE(port_, 0);
  }
  void TearDown() override {
    SetFrameTrace(nullptr);
    ClosePort(port_);
  }
  // Generous time-outs for tests about content, not timing: a loaded machine (sanitizers,
  // ctest -j2) may wake the peer thread late.
  void RelaxTimeouts() { ASSERT_TRUE(SetPortTimeouts(port_, 100, 100)); }

  PtyPair pty_;
  SerialHandle port_ = 0;
};

// --- Byte-exact exchanges ---

struct ExchangeCase {
  const char* operation;
  double value;           // a write's value; a read's decoded value
  const char* request;    // without CRC, unless `crc` is given
  const char* crc;
  const char* replyData;  // data bytes of a read reply; "" for writes
};

TEST_F(DriveOverPty, everyRequestShape_exactBytesAndDecodedValues) {
  RelaxTimeouts();
  const ExchangeCase cases[] = {
      {"WriteRunSpeed", 300, "01 06 00 40 01 2C", "88 53", ""},
      {"ReadRunSpeed", 300, "01 04 00 40 00 01", "30 1E", "01 2C"},
      {"StopMotion", 0, "01 06 00 00 00 08", "88 0C", ""},
      {"ReadActualPosition", -2, "01 03 00 2C 00 02", "05 C2", "FF FF FF FE"},
      {"WriteTargetPosition", -2.0, "01 10 00 2E 00 02 04 FF FF FF FE", "B0 6F", ""},
      {"ReadTravelTotal", 4294967296.0, "01 03 10 08 00 04", "", "00 00 00 01 00 00 00 00"},
      {"ReadPulseLength", 4294967294.0, "01 03 00 2A 00 02", "", "FF FF FF FE"},
      {"ReadMotorTeeth", 50, "01 03 00 50 00 04", "", "00 32 FF FF FF FF FF FF"},
      {"ReadDriveModel", 65538, "01 03 00 04 00 04", "", "00 01 00 02 FF FF FF FF"},
      {"ReadSensorConfig", 524288, "01 03 00 84 00 04", "", "FF FF FF FF 00 08 00 00"},
      {"ReadDriveConfig", 0x2004, "01 04 00 08 00 01", "", "20 04"},
      {"ReadActualSpeed", -256, "01 03 00 45 00 02", "", "FF FF FF 00"},
      {"SetZeroPosition", 0, "01 06 00 00 01 00", "", ""},
      {"WriteDriveConfig", 0x0420, "01 06 00 08 20 04", "", ""},
      {"WriteSensorConfig", 524288.0, "01 10 00 84 00 04 08 00 00 00 00 00 08 00 00", "", ""},
      {"WriteTargetPosition", 2.5, "01 10 00 2E 00 02 04 00 00 00 02", "", ""},  // to even
      {"WriteTargetPosition", -3.5, "01 10 00 2E 00 02 04 FF FF FF FC", "", ""},
      {"WritePulseLength", 4294967295.0, "01 10 00 2A 00 02 04 FF FF FF FF", "", ""},
  };
  std::mutex mutex;
  Bytes data;
  ScriptedPeer peer(pty_.master(), [&](const Bytes& request) {
    const std::lock_guard lock(mutex);
    return test::Answering(data)(request);
  });
  std::size_t sent = 0;
  for (const ExchangeCase& c : cases) {
    {
      const std::lock_guard lock(mutex);
      data = Hex(c.replyData);
    }
    const DriveOperation* op = FindDriveOperation(c.operation);
    ASSERT_NE(op, nullptr) << c.operation;
    int32_t i = -12345;
    double d = -12345;
    EXPECT_EQ(test::CallOperation(*op, port_, i, d, c.value), kOk) << c.request;
    const double value = op->kind == OperationKind::ReadInt ? i : d;
    ASSERT_TRUE(peer.waitForRequests(++sent, 1s));
    const Bytes expected = *c.crc ? Hex(std::string(c.request) + " " + c.crc) : WithCrc(Hex(c.request));
    EXPECT_EQ(ToHex(peer.requests().back()), ToHex(expected));
    EXPECT_EQ(value, *c.replyData ? c.value : -12345) << c.request;  // writes leave it
  }
}

// A silent drive: each read gives up after about 16 ms and keeps its output, and the
// trace counts the attempts. Then the trace names every operation and shows both frames.
TEST_F(DriveOverPty, silentDriveThenEveryOperation_timeOutsAndFrameTrace) {
  struct Seen { Bytes request, reply; CommandResult result; int attempt; std::string operation; };
  std::vector<Seen> seen;
  SetFrameTrace([&](const TransactionRecord& r) {
    seen.push_back({{r.request.begin(), r.request.end()}, {r.reply.begin(), r.reply.end()},
                    r.result, r.attempt, std::string(r.operation)});
  });
  std::atomic<bool> silent = true;
  const auto answer = [](const Bytes& r) {  // every read all zeros, every write echoed
    return r[1] == 3 || r[1] == 4 ? test::ReadReply(1, r[1], Bytes(2u * r[5], 0)) : WithCrc(Bytes(r.begin(), r.begin() + 6));
  };
  ScriptedPeer peer(pty_.master(), [&](const Bytes& r) { return PeerAnswer{silent ? Bytes{} : answer(r)}; });
  int32_t i = 77;
  double d = 0;
  for (int attempt = 1; attempt <= 3; ++attempt) {
    const auto start = Clock::now();
    EXPECT_EQ(ReadRunSpeed(port_, kAddress, i), kShortReply);
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, 15ms);
    EXPECT_LE(elapsed, 300ms);
    EXPECT_EQ(i, 77);
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(attempt));
    EXPECT_EQ(seen.back().attempt, attempt);
    EXPECT_TRUE(seen.back().reply.empty());
    EXPECT_EQ(seen.back().result, kShortReply);
  }
  silent = false;
  RelaxTimeouts();
  seen.clear();
  for (const DriveOperation& op : DriveOperations()) {
    int32_t i0 = 5;
    double d0 = 5;  // without a port: -1, outputs kept, nothing sent or traced
    EXPECT_EQ(test::CallOperation(op, 0, i0, d0), kNoPort) << op.Name();
    EXPECT_EQ(i0 + d0, 10) << op.Name();
    EXPECT_EQ(test::CallOperation(op, port_, i, d), kOk) << op.Name();
    ASSERT_TRUE(peer.waitForRequests(3 + seen.size(), 1s));
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().operation, op.Name());
    EXPECT_EQ(seen.back().attempt, 1);
    EXPECT_EQ(ToHex(seen.back().request), ToHex(peer.requests().back()));
    EXPECT_EQ(ToHex(seen.back().reply), ToHex(answer(peer.requests().back())));
  }
  EXPECT_EQ(seen.size(), DriveOperations().size());
}

// --- libmodbus as the slave ---

// Our master against libmodbus as the slave: frames and CRCs are checked by code we did
// not write. libmodbus serves the master side of the pty whose slave side our port opens.
TEST(LibmodbusSlave, everyFunctionWeUse_readsAndWritesWhatLibmodbusHolds) {
  PtyPair pty;
  modbus_mapping_t* mapping = modbus_mapping_new(0, 0, 0x1100, 0x1100);
  modbus_t* ctx = modbus_new_rtu(pty.slavePath().c_str(), 9600, 'E', 8, 1);
  ASSERT_TRUE(mapping != nullptr && ctx != nullptr && modbus_set_slave(ctx, 1) == 0);
  ASSERT_EQ(modbus_set_socket(ctx, pty.master()), 0);
  modbus_set_indication_timeout(ctx, 0, 50000);  // the server loop sees the stop flag
  std::mutex mutex;  // the pty between us and the server is no synchronisation to a race check
  std::atomic<bool> stop{false};
  std::thread server([&] {
    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    while (!stop) {
      const int length = modbus_receive(ctx, query);
      const std::lock_guard lock(mutex);
      if (length > 0) modbus_reply(ctx, query, length, mapping);
    }
  });
  const auto holding = [&](int reg, int count) {
    const std::lock_guard lock(mutex);
    return std::vector<uint16_t>(mapping->tab_registers + reg, mapping->tab_registers + reg + count);
  };
  const auto set = [&](uint16_t* table, int reg, std::initializer_list<uint16_t> values) {
    const std::lock_guard lock(mutex);
    std::copy(values.begin(), values.end(), table + reg);
  };
  SerialHandle port = OpenPortByPath(pty.slavePath(), 9600, 8, 0, 2);
  EXPECT_TRUE(SetPortTimeouts(port, 200, 200));  // a thread hop: allow for a loaded machine
  set(mapping->tab_input_registers, 0x40, {300});
  int32_t value = 0;
  EXPECT_EQ(ReadRunSpeed(port, kAddress, value), kOk);  // function 4
  EXPECT_EQ(value, 300);
  set(mapping->tab_registers, 0x2C, {0xFFFF, 0xFFFE});
  double position = 0;
  EXPECT_EQ(ReadActualPosition(port, kAddress, position), kOk);  // function 3
  EXPECT_EQ(position, -2);
  set(mapping->tab_registers, 0x1008, {0, 1, 0, 0});
  EXPECT_EQ(ReadTravelTotal(port, kAddress, position), kOk);
  EXPECT_EQ(position, 4294967296.0);
  EXPECT_EQ(WriteRunSpeed(port, kAddress, 1234), kOk);  // function 6
  EXPECT_EQ(holding(0x40, 1), std::vector<uint16_t>{1234});
  EXPECT_EQ(WriteDriveConfig(port, kAddress, 0x0420), kOk);
  EXPECT_EQ(holding(0x08, 1), std::vector<uint16_t>{0x2004});
  EXPECT_EQ(WriteTargetPosition(port, kAddress, -2), kOk);  // function 16
  EXPECT_EQ(holding(0x2E, 2), (std::vector<uint16_t>{0xFFFF, 0xFFFE}));
  set(mapping->tab_registers, 0x84, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF});
  EXPECT_EQ(WriteSensorConfig(port, kAddress, 806027264.0), kOk);
  EXPECT_EQ(holding(0x84, 4), (std::vector<uint16_t>{0, 0, 0x300B, 0}));
  EXPECT_EQ(ReadSensorConfig(port, kAddress, value), kOk);
  EXPECT_EQ(value, 806027264);
  stop = true;
  server.join();
  ClosePort(port);
  modbus_free(ctx);  // the pty owns the descriptor
  modbus_mapping_free(mapping);
}

// --- Failures ---

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
      {"crc bytes exchanged", [](const Bytes& r) { Bytes b = test::ReadReply(r[0], r[1], Hex("00 01")); std::swap(b[5], b[6]); return b; },
       false, kBadCrc, 0},
  };
  for (const BadAnswerCase& c : cases) {
    ScriptedPeer peer(pty_.master(), [&c](const Bytes& r) { return PeerAnswer{c.answer(r)}; });
    int32_t value = 77;
    EXPECT_EQ(c.write ? StopMotion(port_, kAddress) : ReadErrorCode(port_, kAddress, value), c.result) << c.what;
    EXPECT_EQ(value, c.write ? 77 : c.value) << c.what;
    ASSERT_TRUE(peer.waitIdle(2s));
  }
}

// A reply that comes after its read gave up stays in the receive buffer, and is never
// taken as the reply to the next, different request: neither a write's nor a read's.
// Bytes after a complete reply are cleared with it, and so are bytes nobody asked for.
TEST_F(DriveOverPty, strayBytes_areNotTakenByTheNextRequest) {
  int calls = 0;
  ScriptedPeer peer(pty_.master(), [&calls](const Bytes& r) {
    switch (++calls) {
      case 1: return PeerAnswer{r, 60ms};
      case 2: return PeerAnswer{};
      case 3: return PeerAnswer{test::ReadReply(r[0], r[1], Hex("00 00 00 09")), 60ms};
      case 4: return PeerAnswer{WithCrc(test::ReadReply(r[0], r[1], Hex("00 00 00 05")))};
      default: return PeerAnswer{test::ReadReply(r[0], r[1], Hex("00 00 00 06"))};
    }
  });
  const auto awaitPending = [&](int bytes) {
    ASSERT_TRUE(peer.waitIdle(2s));
    const auto deadline = Clock::now() + 2s;
    while (pty_.pendingAtSlave() < bytes && Clock::now() < deadline) std::this_thread::yield();
    ASSERT_EQ(pty_.pendingAtSlave(), bytes);
  };
  EXPECT_EQ(StopMotion(port_, kAddress), kShortReply);
  awaitPending(8);
  EXPECT_EQ(ClearCommand(port_, kAddress), kShortReply);
  double position = -1;
  EXPECT_EQ(ReadTargetPosition(port_, kAddress, position), kShortReply);
  awaitPending(9);
  RelaxTimeouts();
  EXPECT_EQ(ReadActualPosition(port_, kAddress, position), kOk);  // two bytes too many
  EXPECT_EQ(position, 5);
  awaitPending(0);
  ASSERT_EQ(::write(pty_.master(), "\x11\x22\x33", 3), 3);
  awaitPending(3);
  EXPECT_EQ(ReadActualPosition(port_, kAddress, position), kOk);
  EXPECT_EQ(position, 6);
}

// After a time-out a stopping command goes out without the guard's wait; the guard
// stays armed for the next request of anyone else.
TEST_F(DriveOverPty, afterATimeOut_stopSkipsTheGuard_whichStaysArmed) {
  ASSERT_TRUE(ConfigurePort(port_, 115200, 8, 0, 2, 26));
  int calls = 0;
  ScriptedPeer stopPeer(pty_.master(), [&calls](const Bytes& r) {
    return ++calls == 2 ? PeerAnswer{r} : PeerAnswer{};
  });
  int32_t value = 0;
  EXPECT_EQ(ReadErrorCode(port_, kAddress, value), kShortReply);
  auto began = Clock::now();
  {
    StopPriority stop;
    EXPECT_EQ(StopMotion(port_, kAddress), kOk);
  }
  EXPECT_LT(Clock::now() - began, 40ms);
  began = Clock::now();
  EXPECT_EQ(ReadActualCurrent(port_, kAddress, value), kShortReply);
  EXPECT_GE(Clock::now() - began, 30ms);
  ASSERT_TRUE(stopPeer.waitIdle(2s));
}

// A retry answered by its predecessor's late reply guards its own reply from its
// success on: that reply (the same 7-byte shape) is not taken by the next read.
TEST_F(DriveOverPty, retryAnsweredByTheLateReply_itsOwnReplyIsNotTakenByTheNextRead) {
  ASSERT_TRUE(ConfigurePort(port_, 115200, 8, 0, 2, 26));
  ASSERT_TRUE(SetPortTimeouts(port_, 10, 10));  // a 7-byte reply: 80 ms
  int calls = 0;
  ScriptedPeer peer(pty_.master(), [&calls](const Bytes& r) {
    ++calls;
    const uint8_t word[] = {0, static_cast<uint8_t>(calls)};
    return PeerAnswer{test::ReadReply(r[0], r[1], word), calls == 1 ? 130ms : calls == 2 ? 35ms : 0ms};
  });
  int32_t value = 0;
  EXPECT_EQ(ReadErrorCode(port_, kAddress, value), kShortReply);
  EXPECT_EQ(ReadErrorCode(port_, kAddress, value), kOk);  // the first attempt's reply
  EXPECT_EQ(value, 1);
  EXPECT_EQ(ReadActualCurrent(port_, kAddress, value), kOk);
  EXPECT_EQ(value, 3);
  ASSERT_TRUE(peer.waitIdle(2s));
}

TEST_F(DriveOverPty, unencodableValues_areRefusedWithoutSending) {
  ScriptedPeer peer(pty_.master(), test::Answering({}));
  EXPECT_EQ(WriteRunSpeed(port_, kAddress, 65536), kValueOutOfRange);
  EXPECT_EQ(WriteTargetPosition(port_, kAddress, 2147483648.0), kValueOutOfRange);
  EXPECT_EQ(WriteSensorConfig(port_, kAddress, -1.0), kValueOutOfRange);
  EXPECT_EQ(WritePulseLength(port_, kAddress, std::nan("")), kValueOutOfRange);
  EXPECT_FALSE(peer.waitForRequests(1, 50ms));
}

// --- Transport ---

TEST_F(DriveOverPty, exclusiveOpenLineSettingsAndNoHandle) {
  EXPECT_TRUE(ConfigurePort(port_, 250000, 8, 0, 2, 26));
  EXPECT_FALSE(ConfigurePort(port_, 9600, 9, 0, 2, 26));
  EXPECT_FALSE(ConfigurePort(0, 9600, 8, 0, 2, 26));
  uint8_t byte = 0;
  EXPECT_EQ(WriteFrame(0, &byte, 1), 0);
  EXPECT_EQ(ReadReply(0, &byte, 1), 0);
  EXPECT_EQ(OpenPortByPath(pty_.slavePath(), 9600, 8, 0, 2), 0);  // held by port_
  ::setenv("DRIVEDESK_LOCK_DIR", "/nonexistent/locks", 1);  // no lock files: still exclusive
  EXPECT_EQ(OpenPortByPath(pty_.slavePath(), 9600, 8, 0, 2), 0);
  ::unsetenv("DRIVEDESK_LOCK_DIR");
  ClosePort(port_);
  EXPECT_EQ(port_, 0);
  // Opens again once closed; the handle is never 0, even where descriptor 0 is free.
  const int savedStdin = ::dup(0);
  ::close(0);
  SerialHandle again = OpenPortByPath(pty_.slavePath(), 9600, 8, 0, 2);
  ::dup2(savedStdin, 0);
  ::close(savedStdin);
  EXPECT_GT(again, 2);
  ClosePort(again);
  for (const char* path : {"/nonexistent/ttyX", "/dev/null", ""}) {
    EXPECT_EQ(OpenPortByPath(path, 9600, 8, 0, 2), 0) << path;
  }
}

// --- COMn: links in the port directory, else the default devices ---

TEST(ComPorts, namesLinksDefaultsProbeAndExclusiveOpen) {
  const std::pair<const char*, int> names[] = {{"COM12", 12}, {"com32", 32}, {"COM33", 0},
                                               {"COM0", 0},   {"COM07", 0},  {"COM1x", 0}};
  for (const auto& [name, n] : names) EXPECT_EQ(ComPortNumber(name), n) << name;
  ::unsetenv("DRIVEDESK_PORT_DIR");
  EXPECT_EQ(dd::PortDirectory(), "/tmp/drivedesk-ports");

  const auto dir = std::filesystem::temp_directory_path() / ("dd-link-test-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  ::setenv("DRIVEDESK_PORT_DIR", dir.c_str(), 1);
  ::setenv("DRIVEDESK_PORT_DEFAULTS", "0", 1);
  PtyPair pty;
  std::filesystem::create_symlink(pty.slavePath(), dir / "COM12");
  std::filesystem::create_symlink("/nonexistent/tty", dir / "COM4");
  EXPECT_EQ(PortDeviceName(12), (dir / "COM12").string());
  EXPECT_NE(ProbePort(12), 0);
  EXPECT_EQ(ProbePort(4), 0);
  SerialHandle port = OpenPort(12, 9600, 8, 0, 2);
  ASSERT_NE(port, 0);
  EXPECT_EQ(ProbePort(12), 0);  // held
  EXPECT_EQ(OpenPort(12, 9600, 8, 0, 2), 0);
  ClosePort(port);
  EXPECT_NE(ProbePort(12), 0);
  EXPECT_EQ(ComPortDevice(6), "");  // no link, defaults off
  EXPECT_EQ(OpenPort(6, 9600, 8, 0, 2), 0);
  ::setenv("DRIVEDESK_PORT_DEFAULTS", "1", 1);
  EXPECT_EQ(ComPortDevice(6), "/dev/ttyS5");
  ::setenv("DRIVEDESK_PORT_DEFAULTS", "0", 1);
  ::unsetenv("DRIVEDESK_PORT_DIR");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace dd
