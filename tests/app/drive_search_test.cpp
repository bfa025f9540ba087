// Several simulated drives on one pseudo-terminal: the drive search finds exactly them,
// also when replies are cut, corrupt, late or exceptions; a cancel and a vanishing port
// end it at once; broadcasts reach all and are answered by none; drivectl scan agrees.
#include "app/drive_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "link/drive_commands.h"
#include "sim/sim_drive.h"
#include "tests/support/child_process.h"

namespace dd {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Drives at 1 and 38 on 115200 baud and at 4 on 38400, on one line.
SimConfig Bus() {
  SimConfig c;
  c.moreDrives = {{4, 38400}, {38, 0}};
  return c;
}

SearchPlan PlanFor(const SimDrive& sim, AddressRange range, std::vector<int32_t> bauds) {
  return {{{"bus", sim.DevicePath(), 0}}, std::move(bauds), range};
}

// One line per drive, by rate and address (a drive asked again is listed later).
std::string Listed(std::vector<FoundDrive> found) {
  std::sort(found.begin(), found.end(), [](const FoundDrive& a, const FoundDrive& b) {
    return std::pair(-a.baud, a.address) < std::pair(-b.baud, b.address);
  });
  std::string text;
  for (const FoundDrive& d : found) text += FoundDriveLine(d) + "\n";
  return text;
}

// Waits for the job's end; the time it took.
std::chrono::milliseconds Ending(const DriveSearchJob& job, SearchOutcome& outcome) {
  const auto start = Clock::now();
  while (!job.Take().outcome && Clock::now() - start < 10s) std::this_thread::sleep_for(1ms);
  outcome = job.Take().outcome.value_or(SearchOutcome{SearchEnd::Finished, {}, "hang", ""});
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

constexpr const char* kBusDrives = "bus 115200 1 10500000 1\nbus 115200 38 10500000 38\nbus 38400 4 10500000 4\n";

TEST(DriveSearch, busOfThree_exactlyTheDrivesAtTheirRatesAndAddresses_underFaultsToo) {
  SimDrive sim(Bus());
  ASSERT_TRUE(sim.Start());
  const std::atomic<bool> never{false};
  const SearchPlan plan = PlanFor(sim, {1, 40}, {115200, 38400, 9600});
  EXPECT_EQ(Listed(SearchDrives(plan, never, {}).found), kBusDrives);
  for (const SimLogEntry& e : sim.Log()) {
    if (!e.reply.empty()) {
      EXPECT_EQ(e.reply[0], e.address);  // only the drive asked answers
    }
  }
  // Cut, corrupt and late replies and an exception: the drive is asked again (the late
  // one once its reply shows up in another probe), and found once.
  for (const SimFault f : {SimFault::Short, SimFault::BadCrc, SimFault::Late, SimFault::Exception}) {
    sim.ScriptFault(f, 1);
  }
  EXPECT_EQ(Listed(SearchDrives(plan, never, {}).found), kBusDrives);
  // The fault mix but for whole replies lost (a drive that sends nothing cannot be told
  // from an empty address).
  for (const SimFault f : {SimFault::BadCrc, SimFault::Short, SimFault::Late, SimFault::Split, SimFault::Exception}) {
    sim.SetFaultProbability(f, 0.05);
  }
  EXPECT_EQ(Listed(SearchDrives(plan, never, {}).found), kBusDrives);
}

TEST(DriveSearch, cancelOrVanishingPort_endsWithinOneTransaction_broadcastActsUnanswered) {
  SimDrive sim(Bus());
  ASSERT_TRUE(sim.Start());
  for (const bool vanish : {false, true}) {
    DriveSearchJob job(PlanFor(sim, {1, 247}, {115200, 9600}));
    while (job.Take().progress.done < 5) std::this_thread::sleep_for(1ms);
    vanish ? sim.Vanish() : job.Cancel();
    SearchOutcome outcome;
    EXPECT_LT(Ending(job, outcome), 200ms);
    EXPECT_EQ(outcome.end, vanish ? SearchEnd::PortLost : SearchEnd::Cancelled);
    EXPECT_EQ(outcome.message, vanish ? "串口 bus 已断开，搜索已停止；" : "");
  }
  ASSERT_TRUE(sim.Return());
  SerialHandle port = OpenPortByPath(sim.DevicePath(), 115200, 8, 0, 2);
  EXPECT_EQ(WriteRunSpeed(port, 0, 300), kShortReply);
  const auto speedAt = [port](uint16_t address) {
    int32_t speed = -1;
    for (int i = 0; i < 5 && ReadRunSpeed(port, address, speed) != kOk; ++i) {
    }
    return speed;
  };
  EXPECT_EQ(speedAt(38), 300);
  EXPECT_EQ(speedAt(1), 300);
  ASSERT_TRUE(ConfigurePort(port, 38400, 8, 0, 2, 26));
  EXPECT_EQ(speedAt(4), 512);  // another line speed: it never heard the broadcast
  ClosePort(port);
}

TEST(DriveSearch, drivectlScan_listsTheSameDrives_badAddressesAreUsageErrors) {
  SimDrive sim(Bus());
  ASSERT_TRUE(sim.Start());
  const std::string device = sim.DevicePath();
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
  };
  const Case cases[] = {
      {{"scan", "--port", device, "--addresses", "1-40", "--baud", "115200"}, 0,
       device + " 115200 1 10500000 1\n" + device + " 115200 38 10500000 38\n"},
      {{"scan", "--port", device, "--addresses", "2-37", "--baud", "115200"}, 1, ""},
      {{"--port", device, "--baud", "115200", "--address", "38", "ReadDriveNumber"}, 0, "38\n"},
      {{"--port", device, "--baud", "115200", "--address", "248", "ReadDriveNumber"}, 64, ""},
      {{"scan", "--port", device, "--addresses", "40-1"}, 64, ""},
      {{"scan", "--port", device, "--addresses", ""}, 64, ""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv{DRIVECTL_PATH};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    test::ChildProcess child(argv);
    EXPECT_EQ(child.WaitExit(60s), c.status) << c.args.back();
    EXPECT_EQ(child.Out(), c.out) << c.args.back();
    if (c.status == 64) {
      EXPECT_NE(child.Err().find("address"), std::string::npos) << child.Err();
    }
  }
}

}  // namespace
}  // namespace dd
