// The simulator's slave side, checked byte for byte with raw frames and by libmodbus,
// an independent master.
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include <modbus.h>

#include <chrono>
#include <string>

#include "raw_line.h"
#include "sim/sim_drive.h"

namespace dd {
namespace {

using namespace std::chrono_literals;
using test::Hex;
using test::RawLine;
using test::ToHex;
using test::WithCrc;

SimConfig FastConfig() {
  SimConfig c;
  c.wireRealism = false;
  return c;
}

// Request without CRC -> reply without CRC ("" = no reply). Values of the default
// configuration: run speed 512, model 10500000 (0x00A037A0), 50 teeth, bus baud 115200.
// Reads come first: later rows write.
const std::pair<const char*, const char*> kFrames[] = {
    {"01 04 00 40 00 01", "01 04 02 02 00"},
    {"01 03 00 40 00 01", "01 03 02 02 00"},
    {"01 04 00 46 00 01", "01 04 02 01 00"},
    {"01 03 00 45 00 02", "01 03 04 00 00 00 00"},
    {"01 03 00 04 00 04", "01 03 08 00 A0 37 A0 00 00 00 00"},
    {"01 03 00 50 00 04", "01 03 08 00 32 00 00 00 00 00 00"},
    {"01 03 00 62 00 02", "01 03 04 00 01 C2 00"},
    {"01 03 10 08 00 04", "01 03 08 00 00 00 00 00 00 00 00"},
    {"01 04 00 10 00 03", "01 04 06 02 58 00 32 01 2C"},
    {"01 04 00 01 00 01", "01 84 02"},  // unknown register
    {"01 03 00 45 00 01", "01 83 02"},  // high word of a pair alone
    {"01 03 00 2C 00 01", "01 83 02"},  // block with a wrong count
    {"01 01 00 00 00 01", "01 81 01"},  // unknown function
    {"01 06 00 43 00 05", "01 86 02"},  // read-only register
    {"01 10 00 2C 00 02 04 00 00 00 01", "01 90 02"},
    {"02 04 00 40 00 01", ""},          // another slave
    {"01 06 00 40 01 2C", "01 06 00 40 01 2C"},
    {"01 06 00 08 20 04", "01 06 00 08 20 04"},
    {"01 10 00 2E 00 02 04 FF FF FF FE", "01 10 00 2E 00 02"},
    {"01 10 00 84 00 04 08 00 00 00 00 00 08 00 00", "01 10 00 84 00 04"},
    {"00 06 00 41 00 07", ""},          // broadcast: acts, no reply
};

TEST(SimProtocol, rawFrames_exactRepliesSilenceRegistersAndLog) {
  SimDrive sim(FastConfig());
  ASSERT_TRUE(sim.Start());
  RawLine line(sim.DevicePath(), 115200);
  ASSERT_TRUE(line.IsOpen());
  uint64_t sent = 0;
  for (const auto& [request, reply] : kFrames) {
    const auto expected = *reply ? WithCrc(reply) : test::Bytes{};
    ASSERT_TRUE(line.Send(WithCrc(request)));
    ASSERT_TRUE(sim.WaitForRequests(++sent, 2000ms)) << request;
    EXPECT_EQ(ToHex(line.Receive(expected.empty() ? 1 : expected.size(), expected.empty() ? 30ms : 2000ms)),
              ToHex(expected)) << request;
  }
  // A wrong CRC and noise are ignored.
  auto bad = WithCrc("01 04 00 40 00 01");
  bad.back() ^= 0x01;
  for (const auto& frame : {bad, Hex("55 AA")}) {
    ASSERT_TRUE(line.Send(frame));
    ASSERT_TRUE(sim.WaitForRequests(++sent, 2000ms));
    EXPECT_TRUE(line.Receive(1, 30ms).empty());
    EXPECT_EQ(sim.Log().back().outcome, SimOutcome::Ignored);
  }
  EXPECT_EQ(sim.Register(0x0040), 300);
  EXPECT_EQ(sim.Register(0x0041), 7);
  EXPECT_EQ(sim.Register(0x0008), 0x2004);  // sent as 20 04: held as 0x2004
  EXPECT_EQ(sim.Value(0x002E), 0xFFFFFFFEu);
  EXPECT_EQ(sim.Value(0x0084), 524288u);
  const auto log = sim.Log();
  const SimLogEntry& write = log[16];
  EXPECT_EQ(write.function, 6);
  EXPECT_EQ(write.reg, 0x0040);
  EXPECT_EQ(write.value, 300u);
  EXPECT_EQ(write.outcome, SimOutcome::Answered);
  EXPECT_EQ(log[9].outcome, SimOutcome::Exception);
  EXPECT_EQ(log[9].exceptionCode, 2);
  EXPECT_EQ(log[15].outcome, SimOutcome::Ignored);
  // Writing 0 clears the whole 64-bit block.
  sim.SetValue(0x0084, 0xFFFF000000080000ull, 4);
  ASSERT_TRUE(line.Send(WithCrc("01 10 00 84 00 04 08 00 00 00 00 00 00 00 00")));
  ASSERT_EQ(line.Receive(8, 2000ms).size(), 8u);
  EXPECT_EQ(sim.Value(0x0084), 0u);
}

// --- libmodbus as the independent master ---

class Libmodbus {
 public:
  Libmodbus(const std::string& device, int baud, char parity = 'E', int slave = 1) {
    ctx_ = modbus_new_rtu(device.c_str(), baud, parity, 8, 1);
    if (ctx_ == nullptr) return;
    modbus_set_slave(ctx_, slave);
    modbus_set_response_timeout(ctx_, 0, 300000);
    if (modbus_connect(ctx_) != 0) {
      modbus_free(ctx_);
      ctx_ = nullptr;
    }
  }
  ~Libmodbus() {
    if (ctx_ != nullptr) {
      modbus_close(ctx_);
      modbus_free(ctx_);
    }
  }
  modbus_t* get() const { return ctx_; }

 private:
  modbus_t* ctx_ = nullptr;
};

TEST(SimLibmodbus, readsWritesExceptionsAndReopens) {
  SimDrive sim(FastConfig());
  ASSERT_TRUE(sim.Start());
  {
    Libmodbus mb(sim.DevicePath(), 115200);
    ASSERT_NE(mb.get(), nullptr);
    uint16_t r[8] = {};
    ASSERT_EQ(modbus_read_input_registers(mb.get(), 0x0300, 1, r), 1);
    EXPECT_EQ(r[0], 38);
    ASSERT_EQ(modbus_read_registers(mb.get(), 0x0028, 2, r), 2);
    EXPECT_EQ((uint32_t{r[0]} << 16) | r[1], 1024u);
    ASSERT_EQ(modbus_write_register(mb.get(), 0x0047, 12), 1);
    ASSERT_EQ(modbus_read_input_registers(mb.get(), 0x0047, 1, r), 1);
    EXPECT_EQ(r[0], 12);
    const uint16_t levels[4] = {0, 0, 0x3003, 0x0000};  // limits normally closed
    ASSERT_EQ(modbus_write_registers(mb.get(), 0x0084, 4, levels), 4);
    EXPECT_EQ(sim.Value(0x0084), 805502976u);
    EXPECT_EQ(modbus_read_input_registers(mb.get(), 0x0001, 1, r), -1);
    EXPECT_EQ(errno, EMBXILADD);
    uint8_t bits[2] = {};
    EXPECT_EQ(modbus_read_bits(mb.get(), 0, 1, bits), -1);
    EXPECT_EQ(errno, EMBXILFUN);
  }
  {  // a new opener of the line, for another slave: no answer
    Libmodbus other(sim.DevicePath(), 115200, 'E', 2);
    ASSERT_NE(other.get(), nullptr);
    uint16_t r[1] = {};
    EXPECT_EQ(modbus_read_input_registers(other.get(), 0x0040, 1, r), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
  }
  Libmodbus again(sim.DevicePath(), 115200);
  uint16_t r[1] = {};
  ASSERT_EQ(modbus_read_input_registers(again.get(), 0x0040, 1, r), 1);
  EXPECT_EQ(r[0], 512);
}

TEST(SimWire, answersOnlyMatchingLineSettingsAfterTheWireTime) {
  SimConfig c;  // wire realism on, 115200
  SimDrive sim(c);
  ASSERT_TRUE(sim.Start());
  for (const auto& [baud, parity, answered] :
       {std::tuple{115200, 'E', true}, {19200, 'E', false}, {115200, 'O', false}}) {
    Libmodbus mb(sim.DevicePath(), baud, parity);
    ASSERT_NE(mb.get(), nullptr);
    uint16_t r[1] = {};
    EXPECT_EQ(modbus_read_input_registers(mb.get(), 0x0040, 1, r) == 1, answered) << baud << parity;
  }
  c.lineBaud = 9600;
  c.turnaroundMs = 1;
  SimDrive slow(c);
  ASSERT_TRUE(slow.Start());
  RawLine line(slow.DevicePath(), 9600);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(line.Send(WithCrc("01 04 00 40 00 01")));
  ASSERT_EQ(line.Receive(7, 2000ms).size(), 7u);
  // 8 + 7 characters of 11 bits at 9600 bit/s is 17.2 ms, plus the turnaround.
  EXPECT_GE(std::chrono::steady_clock::now() - start, 17ms);
}

TEST(SimLine, vanishAndReturn_newDeviceAnswersAndLinkFollows) {
  const std::string dir = ::testing::TempDir() + "/sim-ports-vanish";
  setenv("DRIVEDESK_PORT_DIR", dir.c_str(), 1);
  SimDrive sim(FastConfig());
  ASSERT_TRUE(sim.Start());
  ASSERT_TRUE(sim.LinkAsCom(5));
  const std::string link = dir + "/COM5";
  EXPECT_EQ(sim.LinkPath(), link);
  {
    RawLine line(link, 115200);
    ASSERT_TRUE(line.IsOpen());
    sim.Vanish();
    EXPECT_TRUE(sim.Vanished());
    EXPECT_TRUE(sim.DevicePath().empty());
    line.Send(WithCrc("01 04 00 40 00 01"));
    EXPECT_TRUE(line.Receive(7, 30ms).empty());
  }
  EXPECT_NE(access(link.c_str(), F_OK), 0);
  ASSERT_TRUE(sim.Return());
  RawLine again(link, 115200);
  ASSERT_TRUE(again.Send(WithCrc("01 04 00 40 00 01")));
  EXPECT_EQ(again.Receive(7, 2000ms).size(), 7u);
  sim.Stop();
  struct stat st{};
  EXPECT_NE(lstat(link.c_str(), &st), 0);
  unsetenv("DRIVEDESK_PORT_DIR");
}

}  // namespace
}  // namespace dd
