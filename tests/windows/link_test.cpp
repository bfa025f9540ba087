// The Win32 transport and every drive operation under Wine, against the native
// simulated drive on COM5 (sim_session.sh). Even parity, rates above 115200 and exclusive
// open are not shown by Wine on a pseudo-terminal: the Linux tests cover them.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <tuple>

#include "link/drive_catalog.h"
#include "link/drive_commands.h"
#include "link/serial_port.h"
#include "tests/windows/sim_console.h"

namespace dd {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::SimCommand;

constexpr int32_t kCom = 5;
constexpr uint16_t kAddress = 1;

SerialHandle Open(const std::string& device) { return OpenPortByPath(device, 115200, 8, 0, 2); }

TEST(WindowsPort, everySpellingOfTheName_reachesTheDrive_andAbsentPortsDoNot) {
  EXPECT_EQ(PortDeviceName(12), "\\\\.\\COM12");  // COM10 and above need the prefix
  for (const char* name : {"\\\\.\\COM5", "COM5", "com5"}) {
    SerialHandle port = Open(name);
    ASSERT_NE(port, 0) << name;
    int32_t speed = 0;
    EXPECT_EQ(ReadRunSpeed(port, kAddress, speed), kOk) << name;
    ClosePort(port);
    EXPECT_EQ(port, 0);
  }
  EXPECT_NE(ProbePort(kCom), 0);
  EXPECT_EQ(ProbePort(7), 0);
  EXPECT_EQ(OpenPort(7, 115200, 8, 0, 2), 0);
}

struct FailureCase {
  const char* console;
  CommandResult result;
  Clock::duration atLeast;  // a silent line costs the whole read time-out (2 ms x 7 + 2 ms)
};

const FailureCase kFailures[] = {
    {"fault silent 1", kShortReply, 15ms}, {"fault drop 1", kShortReply, 15ms},
    {"fault late 1", kShortReply, 15ms},   {"fault short 1", kShortReply, 0ms},
    {"fault split 1", kShortReply, 0ms},   {"fault exception 1", kShortReply, 0ms},
    {"fault badcrc 1", kBadCrc, 0ms},
};

TEST(WindowsTransport, eachFault_failsWithItsResultSoon_thenTheDriveAnswersAgain) {
  SerialHandle port = OpenPort(kCom, 115200, 8, 0, 2);
  ASSERT_NE(port, 0);
  const auto timedRead = [&](int32_t& value) {
    const auto start = Clock::now();
    const CommandResult result = ReadRunSpeed(port, kAddress, value);
    EXPECT_LE(Clock::now() - start, 300ms);
    return std::pair{result, Clock::now() - start};
  };
  // Stray bytes of a late or split reply, and replies to the retries, may still come:
  // read until the drive answers, then until the line is quiet.
  const auto answersAgain = [&] {
    int32_t value = 0;
    bool answered = false;
    for (const auto end = Clock::now() + 2s; !answered && Clock::now() < end;) {
      answered = ReadRunSpeed(port, kAddress, value) == kOk;
    }
    uint8_t rest[16];
    SetPortTimeouts(port, 10, 10);
    while (ReadReply(port, rest, sizeof rest) > 0) {
    }
    SetPortTimeouts(port, 2, 3);
    return answered;
  };
  for (const FailureCase& c : kFailures) {
    // A loaded machine may wake the reader only after a split reply's second part came:
    // the read then succeeds, and the fault is tried again.
    CommandResult result = kOk;
    Clock::duration took{};
    int32_t value = 77;
    for (int attempt = 0; attempt < 3 && result != c.result; ++attempt) {
      SimCommand(c.console);
      value = 77;
      std::tie(result, took) = timedRead(value);
      EXPECT_TRUE(answersAgain()) << c.console;
    }
    EXPECT_EQ(result, c.result) << c.console;
    EXPECT_GE(took, c.atLeast) << c.console;
    EXPECT_EQ(value, c.result == kBadCrc ? 0 : 77) << c.console;
  }
  // An unplugged adapter fails at once and no longer opens; it is back after "return".
  SimCommand("vanish");
  int32_t value = 77;
  EXPECT_EQ(timedRead(value).first, kShortReply);
  EXPECT_EQ(OpenPort(kCom, 115200, 8, 0, 2), 0);
  ClosePort(port);
  SimCommand("return");
  port = OpenPort(kCom, 115200, 8, 0, 2);
  ASSERT_NE(port, 0);
  EXPECT_TRUE(answersAgain());
  ClosePort(port);
}

// Each write sends back what its read got (into `value`), so the drive keeps its settings.
CommandResult RunOperation(const DriveOperation& op, SerialHandle port, int& requests, double& value) {
  if (op.kind == OperationKind::WriteInt || op.kind == OperationKind::WriteDouble) {
    const DriveOperation* read = FindDriveOperation("Read" + std::string(op.Name().substr(5)));
    if (read == nullptr) return kNoPort;
    if (const CommandResult result = RunOperation(*read, port, requests, value); result != kOk) return result;
  }
  ++requests;
  int32_t whole = static_cast<int32_t>(value);
  CommandResult result = kOk;
  switch (op.kind) {
    case OperationKind::ReadInt:
      result = op.readInt(port, kAddress, whole);
      value = whole;
      return result;
    case OperationKind::ReadDouble: return op.readDouble(port, kAddress, value);
    case OperationKind::WriteInt: return op.writeInt(port, kAddress, whole);
    case OperationKind::WriteDouble: return op.writeDouble(port, kAddress, value);
    case OperationKind::Command: return op.command(port, kAddress);
  }
  return result;
}

TEST(WindowsTransport, everyDriveOperation_isOneFrameTheDriveUnderstandsAndAnswers) {
  SerialHandle port = OpenPort(kCom, 115200, 8, 0, 2);
  ASSERT_NE(port, 0);
  ASSERT_TRUE(SetPortTimeouts(port, 100, 100));  // content, not timing: the machine may be loaded
  SimCommand("fault clear");
  int requests = 0;
  for (const DriveOperation& op : DriveOperations()) {
    double value = 0;
    EXPECT_EQ(RunOperation(op, port, requests, value), kOk) << op.Name();
  }
  ClosePort(port);
  // The drive's own log: each of these requests was understood and answered.
  std::istringstream log(SimCommand("log " + std::to_string(requests)));
  int answered = 0;
  for (std::string line; std::getline(log, line);) answered += line.ends_with("outcome 0");
  EXPECT_EQ(answered, requests);
}

}  // namespace
}  // namespace dd
