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

struct FrameCase {
  const char* name;
  const char* request;        // without CRC
  const char* replyWithoutCrc;
};

// Values of the default configuration: run speed 512, model 10500000 (0x00A037A0),
// 50 teeth, sensor config 0, bus baud 115200, position 0.
const FrameCase kFrames[] = {
    {"readRunSpeed_fn4", "01 04 00 40 00 01", "01 04 02 02 00"},
    {"readRunSpeed_fn3", "01 03 00 40 00 01", "01 03 02 02 00"},
    {"readHomingSpeedSingle", "01 04 00 46 00 01", "01 04 02 04 00"},
    {"readLiveSpeedPair", "01 03 00 45 00 02", "01 03 04 00 00 00 00"},
    {"readActualPosition", "01 03 00 2C 00 02", "01 03 04 00 00 00 00"},
    {"readDriveModelFirst32", "01 03 00 04 00 04", "01 03 08 00 A0 37 A0 00 00 00 00"},
    {"readMotorTeethFirst16", "01 03 00 50 00 04", "01 03 08 00 32 00 00 00 00 00 00"},
    {"readSensorConfigBlock", "01 03 00 84 00 04", "01 03 08 00 00 00 00 00 00 00 00"},
    {"readBusBaud", "01 03 00 62 00 02", "01 03 04 00 01 C2 00"},
    {"readTravelTotalU64", "01 03 10 08 00 04", "01 03 08 00 00 00 00 00 00 00 00"},
    {"readCurrentsAsOneRun", "01 04 00 10 00 03", "01 04 06 02 58 00 32 01 2C"},
    {"writeRunSpeedEcho", "01 06 00 40 01 2C", "01 06 00 40 01 2C"},
    {"writeTargetMinus2", "01 10 00 2E 00 02 04 FF FF FF FE", "01 10 00 2E 00 02"},
    {"writeSensorConfigU64Low32", "01 10 00 84 00 04 08 00 00 00 00 00 08 00 00",
     "01 10 00 84 00 04"},
    {"unknownRegister", "01 04 00 01 00 01", "01 84 02"},
    {"liveSpeedHighWordAlone", "01 03 00 45 00 01", "01 83 02"},
    {"blockWithWrongCount", "01 03 00 2C 00 01", "01 83 02"},
    {"unknownFunction", "01 01 00 00 00 01", "01 81 01"},
    {"writeReadOnlyRegister", "01 06 00 43 00 05", "01 86 02"},
    {"writeReadOnlyBlock", "01 10 00 2C 00 02 04 00 00 00 01", "01 90 02"},
};

class FrameTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameTest, requestGetsExactReply) {
  SimDrive sim(FastConfig());
  ASSERT_TRUE(sim.Start());
  RawLine line(sim.DevicePath(), 115200);
  ASSERT_TRUE(line.IsOpen());
  const auto expected = WithCrc(GetParam().replyWithoutCrc);
  ASSERT_TRUE(line.Send(WithCrc(GetParam().request)));
  EXPECT_EQ(ToHex(line.Receive(expected.size(), 2000ms)), ToHex(expected));
}

INSTANTIATE_TEST_SUITE_P(Frames, FrameTest, ::testing::ValuesIn(kFrames),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(SimProtocol, knownFramesFromTheProtocol_haveTheirCrc) {
  // The complete frames the master sends; the simulator must accept their CRC.
  SimDrive sim(FastConfig());
  ASSERT_TRUE(sim.Start());
  RawLine line(sim.DevicePath(), 115200);
  ASSERT_TRUE(line.Send(Hex("01 06 00 40 01 2C 88 53")));
  EXPECT_EQ(line.Receive(8, 2000ms).size(), 8u);
  ASSERT_TRUE(line.Send(Hex("01 04 00 40 00 01 30 1E")));
  EXPECT_EQ(ToHex(line.Receive(7, 2000ms)), ToHex(WithCrc("01 04 02 01 2C")));
  ASSERT_TRUE(line.Send(Hex("01 10 00 2E 00 02 04 FF FF FF FE B0 6F")));
  EXPECT_EQ(line.Receive(8, 2000ms).size(), 8u);
  EXPECT_EQ(sim.Value(0x002E), 0xFFFFFFFEu);
}

TEST(SimProtocol, writes_landInTheRegistersTheMasterReadsBack) {
  SimDrive sim(FastConfig());
  ASSERT_TRUE(sim.Start());
  RawLine line(sim.DevicePath(), 115200);
  // WriteDriveConfig of 0x0420 sends the bytes 20 04: the register holds 0x2004.
  ASSERT_TRUE(line.Send(WithCrc("01 06 00 08 20 04")));
  ASSERT_EQ(line.Receive(8, 2000ms).size(), 8u);
  EXPECT_EQ(sim.Register(0x0008), 0x2004);
  ASSERT_TRUE(line.Send(WithCrc("01 10 00 84 00 04 08 00 00 00 00 00 08 00 00")));
  ASSERT_EQ(line.Receive(8, 2000ms).size(), 8u);
  EXPECT_EQ(sim.Value(0x0084), 524288u);
  // Writing 0 clears the whole 64-bit block.
  sim.SetValue(0x0084, 0xFFFF000000080000ull, 4);
  ASSERT_TRUE(line.Send(WithCrc("01 10 00 84 00 04 08 00 00 00 00 00 00 00 00")));
  ASSERT_EQ(line.Receive(8, 2000ms).size(), 8u);
  EXPECT_EQ(sim.Value(0x0084), 0u);
}

struct SilenceCase {
  const char* name;
  std::vector<uint8_t> frame;
};

class SilenceTest : public ::testing::TestWithParam<SilenceCase> {};

TEST_P(SilenceTest, frameIsIgnoredWithoutReply) {
  SimDrive sim(FastConfig());
  ASSERT_TRUE(sim.Start());
  RawLine line(sim.DevicePath(), 115200);
  ASSERT_TRUE(line.Send(GetParam().frame));
  ASSERT_TRUE(sim.WaitForRequests(1, 2000ms));
  EXPECT_TRUE(line.Receive(1, 30ms).empty());
  const auto log = sim.Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].outcome, SimOutcome::Ignored);
}

std::vector<uint8_t> BadCrcFrame() {
  auto f = WithCrc("01 04 00 40 00 01");
  f.back() ^= 0x01;
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    Silence, SilenceTest,
    ::testing::Values(SilenceCase{"badCrc", BadCrcFrame()},
                      SilenceCase{"otherAddress", WithCrc("02 04 00 40 00 01")},
                      SilenceCase{"broadcastWrite", WithCrc("00 06 00 40 00 07")},
                      SilenceCase{"noise", Hex("55 AA")}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(SimProtocol, broadcastWrite_actsWithoutReply) {
  SimDrive sim(FastConfig());
  ASSERT_TRUE(sim.Start());
  RawLine line(sim.DevicePath(), 115200);
  ASSERT_TRUE(line.Send(WithCrc("00 06 00 40 00 07")));
  ASSERT_TRUE(sim.WaitFor([&] { return sim.Register(0x0040) == 7; }, 2000ms));
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

TEST(SimLibmodbus, readsEveryKindOfRegister) {
  SimDrive sim(FastConfig());
  ASSERT_TRUE(sim.Start());
  Libmodbus mb(sim.DevicePath(), 115200);
  ASSERT_NE(mb.get(), nullptr);
  uint16_t r[8] = {};
  ASSERT_EQ(modbus_read_input_registers(mb.get(), 0x0043, 1, r), 1);
  EXPECT_EQ(r[0], 1);
  ASSERT_EQ(modbus_read_input_registers(mb.get(), 0x0300, 1, r), 1);
  EXPECT_EQ(r[0], 38);
  ASSERT_EQ(modbus_read_registers(mb.get(), 0x0028, 2, r), 2);
  EXPECT_EQ((uint32_t{r[0]} << 16) | r[1], 1024u);
  ASSERT_EQ(modbus_read_registers(mb.get(), 0x0004, 4, r), 4);
  EXPECT_EQ((uint32_t{r[0]} << 16) | r[1], 10500000u);
  ASSERT_EQ(modbus_read_registers(mb.get(), 0x0084, 4, r), 4);
  EXPECT_EQ(r[3], 0);
}

TEST(SimLibmodbus, writesWithFunctions6And16AreReadBack) {
  SimDrive sim(FastConfig());
  ASSERT_TRUE(sim.Start());
  Libmodbus mb(sim.DevicePath(), 115200);
  ASSERT_NE(mb.get(), nullptr);
  ASSERT_EQ(modbus_write_register(mb.get(), 0x0047, 12), 1);
  uint16_t r[4] = {};
  ASSERT_EQ(modbus_read_input_registers(mb.get(), 0x0047, 1, r), 1);
  EXPECT_EQ(r[0], 12);
  const uint16_t bandwidth[2] = {0x0004, 0x93E0};  // 300000
  ASSERT_EQ(modbus_write_registers(mb.get(), 0x0090, 2, bandwidth), 2);
  ASSERT_EQ(modbus_read_registers(mb.get(), 0x0090, 2, r), 2);
  EXPECT_EQ(r[0], 0x0004);
  EXPECT_EQ(r[1], 0x93E0);
  const uint16_t levels[4] = {0, 0, 0x3003, 0x0000};  // limits normally closed
  ASSERT_EQ(modbus_write_registers(mb.get(), 0x0084, 4, levels), 4);
  EXPECT_EQ(sim.Value(0x0084), 805502976u);
}

TEST(SimLibmodbus, exceptionsReachTheMasterAsModbusErrors) {
  SimDrive sim(FastConfig());
  ASSERT_TRUE(sim.Start());
  Libmodbus mb(sim.DevicePath(), 115200);
  ASSERT_NE(mb.get(), nullptr);
  uint16_t r[2] = {};
  EXPECT_EQ(modbus_read_input_registers(mb.get(), 0x0001, 1, r), -1);
  EXPECT_EQ(errno, EMBXILADD);
  uint8_t bits[2] = {};
  EXPECT_EQ(modbus_read_bits(mb.get(), 0, 1, bits), -1);
  EXPECT_EQ(errno, EMBXILFUN);
  EXPECT_EQ(modbus_write_register(mb.get(), 0x0002, 1), -1);
  EXPECT_EQ(errno, EMBXILADD);
}

TEST(SimLibmodbus, otherSlaveAddress_timesOut) {
  SimDrive sim(FastConfig());
  ASSERT_TRUE(sim.Start());
  Libmodbus mb(sim.DevicePath(), 115200, 'E', 2);
  ASSERT_NE(mb.get(), nullptr);
  uint16_t r[1] = {};
  EXPECT_EQ(modbus_read_input_registers(mb.get(), 0x0040, 1, r), -1);
  EXPECT_EQ(errno, ETIMEDOUT);
}

struct LineCase {
  const char* name;
  int baud;
  char parity;
  bool answered;
};

class LineSettingsTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(LineSettingsTest, wireRealismAnswersOnlyMatchingLineSettings) {
  SimConfig c;  // wire realism on, 115200
  SimDrive sim(c);
  ASSERT_TRUE(sim.Start());
  Libmodbus mb(sim.DevicePath(), GetParam().baud, GetParam().parity);
  ASSERT_NE(mb.get(), nullptr);
  uint16_t r[1] = {};
  const int n = modbus_read_input_registers(mb.get(), 0x0040, 1, r);
  EXPECT_EQ(n == 1, GetParam().answered);
}

INSTANTIATE_TEST_SUITE_P(Lines, LineSettingsTest,
                         ::testing::Values(LineCase{"match", 115200, 'E', true},
                                           LineCase{"otherBaud", 19200, 'E', false},
                                           LineCase{"oddParity", 115200, 'O', false}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(SimWire, slowLine_replyComesAfterItsWireTime) {
  SimConfig c;
  c.lineBaud = 9600;
  c.turnaroundMs = 1;
  SimDrive sim(c);
  ASSERT_TRUE(sim.Start());
  RawLine line(sim.DevicePath(), 9600);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(line.Send(WithCrc("01 04 00 40 00 01")));
  ASSERT_EQ(line.Receive(7, 2000ms).size(), 7u);
  // 8 + 7 characters of 11 bits at 9600 bit/s is 17.2 ms, plus the turnaround.
  EXPECT_GE(std::chrono::steady_clock::now() - start, 17ms);
}

TEST(SimLine, masterClosesAndReopens_servedAgain) {
  SimDrive sim(FastConfig());
  ASSERT_TRUE(sim.Start());
  for (int round = 0; round < 3; ++round) {
    Libmodbus mb(sim.DevicePath(), 115200);
    ASSERT_NE(mb.get(), nullptr);
    uint16_t r[1] = {};
    ASSERT_EQ(modbus_read_input_registers(mb.get(), 0x0040, 1, r), 1) << "round " << round;
    EXPECT_EQ(r[0], 512);
  }
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
  ASSERT_TRUE(again.IsOpen());
  ASSERT_TRUE(again.Send(WithCrc("01 04 00 40 00 01")));
  EXPECT_EQ(again.Receive(7, 2000ms).size(), 7u);
  sim.Stop();
  struct stat st{};
  EXPECT_NE(lstat(link.c_str(), &st), 0);
  unsetenv("DRIVEDESK_PORT_DIR");
}

TEST(SimLog, recordsFunctionRegisterValueAndOutcome) {
  SimDrive sim(FastConfig());
  ASSERT_TRUE(sim.Start());
  RawLine line(sim.DevicePath(), 115200);
  ASSERT_TRUE(line.Send(WithCrc("01 06 00 40 01 2C")));
  ASSERT_EQ(line.Receive(8, 2000ms).size(), 8u);
  ASSERT_TRUE(line.Send(WithCrc("01 04 00 01 00 01")));
  ASSERT_EQ(line.Receive(5, 2000ms).size(), 5u);
  ASSERT_TRUE(sim.WaitFor([&] { return sim.Log().size() == 2 && sim.Log()[1].replied.time_since_epoch().count() != 0; }, 2000ms));
  const auto log = sim.Log();
  EXPECT_EQ(log[0].function, 6);
  EXPECT_EQ(log[0].reg, 0x0040);
  EXPECT_EQ(log[0].value, 300u);
  EXPECT_EQ(log[0].outcome, SimOutcome::Answered);
  EXPECT_GE(log[0].replied, log[0].received);
  EXPECT_EQ(log[1].outcome, SimOutcome::Exception);
  EXPECT_EQ(log[1].exceptionCode, 2);
}

}  // namespace
}  // namespace dd
