// Our master against libmodbus as the slave: frames and CRCs are checked by code we did
// not write. libmodbus sits on one pty, our port on another, and a thread bridges the two
// master sides.
#include <modbus.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>

#include "link/drive_commands.h"
#include "link/modbus_rtu.h"
#include "link/serial_port.h"
#include "tests/link/pty_peer.h"

namespace dd {
namespace {

using test::PtyPair;

constexpr uint16_t kAddress = 1;

class LibmodbusSlave : public testing::Test {
 protected:
  void SetUp() override {
    mapping_ = modbus_mapping_new(0, 0, 0x1100, 0x1100);
    ASSERT_NE(mapping_, nullptr);
    ctx_ = modbus_new_rtu(slaveSide_.slavePath().c_str(), 9600, 'E', 8, 1);
    ASSERT_NE(ctx_, nullptr);
    ASSERT_EQ(modbus_set_slave(ctx_, 1), 0);
    ASSERT_EQ(modbus_connect(ctx_), 0) << modbus_strerror(errno);
    // Wakes the server loop regularly so that it sees the stop flag.
    modbus_set_indication_timeout(ctx_, 0, 50000);
    server_ = std::thread([this] { Serve(); });
    bridge_ = std::thread([this] { Bridge(); });
    port_ = OpenPortByPath(ourSide_.slavePath(), 9600, 8, 0, 2);
    ASSERT_NE(port_, 0);
    // Two hops through threads: allow for a loaded machine.
    ASSERT_TRUE(SetPortTimeouts(port_, 200, 200));
  }

  void TearDown() override {
    stop_ = true;
    if (server_.joinable()) server_.join();
    if (bridge_.joinable()) bridge_.join();
    ClosePort(port_);
    if (ctx_ != nullptr) {
      modbus_close(ctx_);
      modbus_free(ctx_);
    }
    if (mapping_ != nullptr) modbus_mapping_free(mapping_);
  }

  void Serve() {
    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    while (!stop_) {
      const int length = modbus_receive(ctx_, query);
      if (length <= 0) continue;
      const std::lock_guard lock(mappingMutex_);
      modbus_reply(ctx_, query, length, mapping_);
    }
  }

  void Bridge() {
    const int a = slaveSide_.master();
    const int b = ourSide_.master();
    uint8_t buffer[256];
    while (!stop_) {
      pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
      if (::poll(fds, 2, 10) <= 0) continue;
      for (int i = 0; i < 2; ++i) {
        if ((fds[i].revents & POLLIN) == 0) continue;
        const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) (void)::write(i == 0 ? b : a, buffer, static_cast<std::size_t>(n));
      }
    }
  }

  uint16_t Holding(int reg) {
    const std::lock_guard lock(mappingMutex_);
    return mapping_->tab_registers[reg];
  }
  void SetHolding(int reg, uint16_t value) {
    const std::lock_guard lock(mappingMutex_);
    mapping_->tab_registers[reg] = value;
  }
  void SetInput(int reg, uint16_t value) {
    const std::lock_guard lock(mappingMutex_);
    mapping_->tab_input_registers[reg] = value;
  }

  PtyPair slaveSide_;
  PtyPair ourSide_;
  modbus_t* ctx_ = nullptr;
  modbus_mapping_t* mapping_ = nullptr;
  std::mutex mappingMutex_;
  std::atomic<bool> stop_{false};
  std::thread server_;
  std::thread bridge_;
  SerialHandle port_ = 0;
};

TEST_F(LibmodbusSlave, everyFunctionWeUse_readsAndWritesWhatLibmodbusHolds) {
  SetInput(0x40, 300);
  int32_t value = 0;
  EXPECT_EQ(ReadRunSpeed(port_, kAddress, value), kOk);  // function 4
  EXPECT_EQ(value, 300);
  SetHolding(0x2C, 0xFFFF);
  SetHolding(0x2D, 0xFFFE);
  double position = 0;
  EXPECT_EQ(ReadActualPosition(port_, kAddress, position), kOk);  // function 3
  EXPECT_EQ(position, -2);
  SetHolding(0x1009, 1);
  double travel = 0;
  EXPECT_EQ(ReadTravelTotal(port_, kAddress, travel), kOk);
  EXPECT_EQ(travel, 4294967296.0);

  EXPECT_EQ(WriteRunSpeed(port_, kAddress, 1234), kOk);  // function 6
  EXPECT_EQ(Holding(0x40), 1234);
  EXPECT_EQ(WriteDriveConfig(port_, kAddress, 0x0420), kOk);
  EXPECT_EQ(Holding(0x08), 0x2004);
  EXPECT_EQ(SetZeroPosition(port_, kAddress), kOk);
  EXPECT_EQ(Holding(0x00), 0x0100);
  EXPECT_EQ(WriteTargetPosition(port_, kAddress, -2), kOk);  // function 16
  EXPECT_EQ(Holding(0x2E), 0xFFFF);
  EXPECT_EQ(Holding(0x2F), 0xFFFE);
  for (int reg = 0x84; reg <= 0x87; ++reg) SetHolding(reg, 0xFFFF);
  EXPECT_EQ(WriteSensorConfig(port_, kAddress, 806027264.0), kOk);
  EXPECT_EQ(Holding(0x84), 0);
  EXPECT_EQ(Holding(0x85), 0);
  EXPECT_EQ(Holding(0x86), 0x300B);
  EXPECT_EQ(Holding(0x87), 0x0000);
  int32_t sensors = 0;
  EXPECT_EQ(ReadSensorConfig(port_, kAddress, sensors), kOk);
  EXPECT_EQ(sensors, 806027264);
}

}  // namespace
}  // namespace dd
