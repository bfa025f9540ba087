// The app layer: workers, the single instance, the bus log with its file, and the program shell against pseudo-terminals
// linked as COM ports (discovery, opening and closing communication, the window's close).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

#include "app/bus_log.h"
#include "app/bus_log_file.h"
#include "app/bus_log_format.h"
#include "app/control.h"
#include "app/drive_address.h"
#include "app/drive_search.h"
#include "app/orderly_shutdown.h"
#include "app/session.h"
#include "app/shell_handlers.h"
#include "app/single_instance.h"
#include "link/serial_port.h"
#include "tests/support/fake_sysfs.h"
#include "tests/support/headless_ui.h"

namespace dd {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;
using Clock = steady_clock;

std::string Content(const fs::path& file) {
  std::stringstream text;
  text << std::ifstream(file).rdbuf();
  return text.str();
}

// The control model, workers, delays, retries and the bus lock run under every system
// test (the lock's close on the window's close: ShellTest); a second copy does not.
TEST(SingleInstance, secondCopyRefused) {
  const std::string name = "drivedesk-test-" + std::to_string(::getpid());
  EXPECT_TRUE(AcquireSingleInstance(name));
  EXPECT_FALSE(AcquireSingleInstance(name));
}

// A bounded ring that never makes a worker wait for a reader.
TEST(BusLog, floodFromFourWorkers_keepsTheNewestAndCountsWhatAReaderLost) {
  constexpr int kThreads = 4, kEach = 20'000;
  BusLog log(1000);
  std::atomic<int> running{kThreads};
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        const uint8_t request[] = {static_cast<uint8_t>(t), static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)};
        log.Push(TransactionRecord{.request = request, .attempt = i});
      }
      --running;
    });
  }
  // A slow reader: whatever it reads is whole and in each worker's order.
  uint64_t cursor = 0, read = 0, lost = 0;
  std::vector<int> lastOf(kThreads, -1);
  std::vector<BusRecord> batch;
  while (running > 0 || cursor < log.End()) {
    batch.clear();
    lost += log.ReadFrom(cursor, batch, 50);
    for (const BusRecord& r : batch) {
      ASSERT_EQ(r.requestSize, 3u);
      const int t = r.Request()[0], i = r.Request()[1] << 8 | r.Request()[2];
      ASSERT_TRUE(i == (r.attempt & 0xFFFF) && r.attempt > lastOf[t]);
      lastOf[t] = r.attempt;
    }
    read += batch.size();
  }
  for (auto& w : workers) w.join();
  EXPECT_EQ(read + lost, uint64_t{kThreads * kEach});
  // A reader that starts late gets the ring's last 1000 and the count of the rest.
  uint64_t late = 0;
  batch.clear();
  EXPECT_EQ(log.ReadFrom(late, batch, 5000), uint64_t{kThreads * kEach - 1000});
  EXPECT_EQ(batch.size(), 1000u);
  EXPECT_EQ(batch.back().sequence, uint64_t{kThreads * kEach - 1});
}

// Times are local with their offset, as a person in Shanghai reads them.
TEST(BusLogFile, appendsOneLinePerFrame_andAFailureLine_refusesAnUnwritablePath) {
  ::setenv("TZ", "CST-8", 1);  // China Standard Time, without tzdata
  ::tzset();
  const test::PortDirectory dir;
  const std::string path = (dir.Root() / "bus.log").string();
  std::ofstream(path) << "earlier\n";
  BusLog log;
  std::string error;
  auto file = BusLogFile::Open(log, path, error);
  ASSERT_TRUE(file) << error;
  const uint8_t readRunSpeed[] = {0x01, 0x04, 0x00, 0x40, 0x00, 0x01, 0x30, 0x1E};
  const uint8_t reply[] = {0x01, 0x04, 0x02, 0x02, 0x00, 0xB8, 0x44};
  const uint8_t corrupt[] = {0x01, 0x04, 0x02, 0x02, 0x00, 0xB8, 0xE1};
  const auto push = [&](std::span<const uint8_t> rx, CommandResult result, milliseconds at) {
    log.Push(TransactionRecord{.sent = Clock::time_point{} + at, .received = Clock::time_point{} + at + 4ms,
                               .sentWall = sys_days{2026y / 12 / 7} + 4h + 1min + 2s + 123ms + at,
                               .request = readRunSpeed, .reply = rx, .result = result});
  };
  push(reply, kOk, 0ms);
  push({}, kShortReply, 10ms);
  push(corrupt, kBadCrc, 1000ms);
  push(std::span(reply).first(3), kShortReply, 61'000ms);
  file->Stop();
  EXPECT_EQ(Content(path),
            "earlier\n"
            "2026-12-07T12:01:02.123+08:00 TX 01 04 00 40 00 01 30 1E\n"
            "2026-12-07T12:01:02.127+08:00 RX 01 04 02 02 00 B8 44\n"
            "2026-12-07T12:01:02.133+08:00 TX 01 04 00 40 00 01 30 1E\n"
            "2026-12-07T12:01:02.137+08:00 -- Timeout\n"
            "2026-12-07T12:01:03.123+08:00 TX 01 04 00 40 00 01 30 1E\n"
            "2026-12-07T12:01:03.127+08:00 RX 01 04 02 02 00 B8 E1\n"
            "2026-12-07T12:01:03.127+08:00 -- BadCrc\n"
            "2026-12-07T12:02:03.123+08:00 TX 01 04 00 40 00 01 30 1E\n"
            "2026-12-07T12:02:03.127+08:00 RX 01 04 02\n"
            "2026-12-07T12:02:03.127+08:00 -- ShortReply\n");
  ::unsetenv("TZ");
  ::tzset();
  for (const std::string& bad : {(dir.Root() / "missing" / "bus.log").string(), dir.Root().string(), std::string()}) {
    error.clear();
    EXPECT_FALSE(BusLogFile::Open(log, bad, error)) << bad;
    EXPECT_NE(error.find("无法写入通信日志文件"), std::string::npos) << bad;
  }
}

// A pseudo-terminal whose slave side is linked as COMn in the port directory.
struct FakePort {
  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  std::string slave = (::grantpt(master), ::unlockpt(master), ::ptsname(master));
  explicit FakePort(int com) {
    fs::create_symlink(slave, fs::path(std::getenv("DRIVEDESK_PORT_DIR")) / ("COM" + std::to_string(com)));
  }
  ~FakePort() { ::close(master); }
};

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session_.controls.SetItems(Control::BaudList, {{"9600", 0}, {"19200", 0}, {"38400", 0}, {"57600", 0},
                                                   {"115200", 0}, {"250000", 0}});
    session_.controls.SetItems(Control::MoveUnitList, {{"脉冲", 0}, {"圈", 0}});
    session_.controls.Define(Control::OpenCloseButton, ControlState{.text = kCaptionOpen, .enabled = false});
    InstallShellHandlers(session_);
  }

  void Load() { session_.events.Dispatch(Control::MainWindow, UiEvent::Load); }
  void PickBaud(int index) {
    session_.controls.SetComboIndex(Control::BaudList, index);
    session_.events.Dispatch(Control::BaudList, UiEvent::Click);
  }
  void Click(Control control) { session_.events.Dispatch(control, UiEvent::Click); }
  // Runs `check` in a child process as a user whom the devices refuse (nobody, when the
  // tests run as root); true if it returned true.
  static bool AsNobody(const std::function<bool()>& check) {
    const pid_t child = ::fork();
    if (child == 0) {
      if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
      ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  void ExpectOnlyMessage(const std::string& title, const std::string& text) {
    const auto messages = ui_.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, title);
    EXPECT_EQ(messages[0].text, text);
    EXPECT_EQ(ui_.QuitCode(), 1);
  }

  test::PortDirectory ports_;
  test::HeadlessUi ui_;
  Session session_{ui_};
};

// COM1 a USB adapter, COM2 locked by a live process, COM3 by a dead one, COM4 a slot
// without a UART, COM5 held open, COM6 locked by its link's name, COM17 free.
TEST_F(ShellTest, discovery_listsFreePortsInNumberOrderDescribesAdapters_openLowersLatency) {
  FakePort com17(17), com6(6), com5(5), com4(4), com3(3), com2(2), com1(1);
  test::FakeSysfs sysfs;
  const fs::path latency = sysfs.AddUsbAdapter(com1.slave, "A10K3L2Q", 16);
  sysfs.AddEmptySlot(com4.slave);
  const fs::path locks = ports_.Root() / "locks";  // this run's lock directory
  const auto lockOf = [&](const FakePort& port) {
    return locks / ("LCK..pts_" + port.slave.substr(port.slave.rfind('/') + 1));
  };
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  std::ofstream(lockOf(com2)) << "         1\n";  // init: alive
  std::ofstream(locks / "LCK..COM6") << "         1\n";
  std::ofstream(lockOf(com3)) << std::string(10 - std::to_string(dead).size(), ' ') << dead << "\n";
  SerialHandle holder = OpenPortByPath(com5.slave, 115200, 8, 0, 2);
  ASSERT_NE(holder, 0);
  Load();
  ClosePort(holder);
  const auto items = session_.controls.Items(Control::PortList);
  std::string listed;
  for (const ComboItem& item : items) listed += item.text + "=" + std::to_string(item.data) + " ";
  EXPECT_EQ(listed, "COM1=1 COM3=3 COM17=17 ");  // two digits, in number order
  for (const char* fact : {"FTDI FT232R USB UART（0403:6001）", "序列号：A10K3L2Q", "延迟计时器：16 ms"}) {
    EXPECT_NE(items[0].toolTip.find(fact), std::string::npos) << items[0].toolTip;
  }
  EXPECT_TRUE(fs::exists(lockOf(com2)));
  EXPECT_FALSE(fs::exists(lockOf(com3)));  // stale: removed, and the probe's own removed too
  EXPECT_EQ(session_.controls.ComboIndex(Control::PortList), 0);
  EXPECT_FALSE(session_.controls.Enabled(Control::OpenCloseButton));  // no baud rate yet
  EXPECT_TRUE(ui_.Messages().empty());
  EXPECT_EQ(session_.state.DriveAddress.load(), 1);
  EXPECT_EQ(session_.controls.Text(Control::StatusText), kDefaultHomingHint);
  EXPECT_EQ(session_.controls.ComboIndex(Control::MoveUnitList), 0);

  session_.ConnectionSequence = [] {};
  PickBaud(4);
  EXPECT_TRUE(session_.controls.Enabled(Control::OpenCloseButton));
  Click(Control::OpenCloseButton);
  ASSERT_NE(session_.state.PortHandle.load(), 0);
  EXPECT_EQ(Content(latency), "1\n");
  EXPECT_EQ(session_.PortNotice, "");
  EXPECT_EQ(Content(lockOf(com1)), std::string(10 - std::to_string(::getpid()).size(), ' ') +
                                       std::to_string(::getpid()) + "\n");
  EXPECT_EQ(Content(locks / "LCK..COM1"), Content(lockOf(com1)));  // the link's name too
  Click(Control::OpenCloseButton);
  EXPECT_FALSE(fs::exists(lockOf(com1)) || fs::exists(locks / "LCK..COM1"));
}

TEST_F(ShellTest, driveAddress_rememberedAndInTheTitle_badInputRefused_foundDriveReadyToOpen) {
  FakePort com3(3), com17(17);
  session_.SettingsPath = (ports_.Root() / "config" / "settings.conf").string();
  ASSERT_TRUE(RememberAddress(session_.SettingsPath, 38));
  Load();
  EXPECT_EQ(session_.state.DriveAddress.load(), 38);
  EXPECT_EQ(session_.controls.Text(Control::MainWindow), "DriveDesk - 驱动器地址 38");
  const std::pair<const char*, const char*> inputs[] = {
      {"0", "驱动器地址须为 1 到 247 之间的整数；"}, {"248", "驱动器地址须为 1 到 247 之间的整数；"},
      {"4x", "驱动器地址须为 1 到 247 之间的整数；"}, {"", "驱动器地址须为 1 到 247 之间的整数；"}, {" 7 ", ""}};
  for (const auto& [text, message] : inputs) EXPECT_EQ(ChangeDriveAddress(session_, text), message) << text;
  EXPECT_EQ(RememberedAddress(session_.SettingsPath), 7);
  const FoundDrive found{{"COM17", "", 17}, 38400, 4, 10500000, 4};
  EXPECT_TRUE(UseFoundDrive(session_, found));
  EXPECT_EQ(session_.controls.ComboText(Control::PortList), "COM17");
  EXPECT_EQ(session_.controls.ComboText(Control::BaudList), "38400");
  EXPECT_TRUE(session_.controls.Enabled(Control::OpenCloseButton));
  EXPECT_EQ(session_.state.DriveAddress.load(), 4);
  EXPECT_EQ(ChangeDriveAddress(session_, "1"), "");
  EXPECT_EQ(session_.controls.Text(Control::MainWindow), "DriveDesk");
  session_.ConnectionSequence = [] {};
  Click(Control::OpenCloseButton);
  ASSERT_NE(session_.state.PortHandle.load(), 0);
  EXPECT_EQ(ChangeDriveAddress(session_, "5"), "请先关闭通信，再更改驱动器地址；");
  EXPECT_FALSE(UseFoundDrive(session_, found));
  EXPECT_EQ(session_.state.DriveAddress.load(), 1);
  Click(Control::OpenCloseButton);
}

// A group is named only where it may open the device (as root, nobody is not in it).
TEST_F(ShellTest, discovery_withOnlyForbiddenDevices_namesTheirGroupOrAUdevRule) {
  FakePort com2(2), com3(3);
  const bool root = ::geteuid() == 0;
  ASSERT_EQ(::chmod(com2.slave.c_str(), root ? 0600 : 0), 0);
  ASSERT_EQ(::chmod(com3.slave.c_str(), root ? 0660 : 0), 0);
  struct stat info {};
  ::stat(com2.slave.c_str(), &info);
  const std::string group = ::getgrgid(info.st_gid)->gr_name, owner = ::getpwuid(info.st_uid)->pw_name;
  EXPECT_TRUE(AsNobody([&] {
    Load();
    const auto messages = ui_.Messages();
    const std::string expected =
        "自动识别串口号最大COM32，请检查系统分配的串口号是否超过32；\r\n设备 " +
        (root ? com3.slave + " 存在但当前用户无权打开，需加入 " + group + " 组（sudo usermod -aG " + group +
                    " $USER，然后重新登录）；\r\n设备 " + com2.slave + "（root 600）"
              : com2.slave + "（" + owner + " 000）、" + com3.slave + "（" + owner + " 000）") +
        " 只有其所有者可以打开，加入组无济于事：请用 udev 规则把它交给 dialout 组（见 README）；";
    if (messages.size() == 1 && messages[0].text == expected && messages[0].title == "终止运行") return true;
    std::fprintf(stderr, "got: %s\n", messages.empty() ? "no message" : messages[0].text.c_str());
    return false;
  }));
}

// The adapter's latency timer it may not lower: the notice reaches the communication log.
TEST_F(ShellTest, open_withALatencyTimerItMayNotLower_saysSoInTheLog) {
  FakePort com3(3);
  ASSERT_EQ(::chmod(com3.slave.c_str(), 0666), 0);
  test::FakeSysfs sysfs;
  const fs::path latency = sysfs.AddUsbAdapter(com3.slave, "A10K3L2Q", 16);
  ASSERT_EQ(::chmod(latency.c_str(), 0444), 0);
  uint64_t cursor = ProgramBusLog().End();
  EXPECT_TRUE(AsNobody([&] {
    session_.ConnectionSequence = [] {};
    Load();
    PickBaud(4);
    Click(Control::OpenCloseButton);
    std::vector<BusRecord> records;
    ProgramBusLog().ReadFrom(cursor, records, 10);
    std::string lines;
    for (const BusRecord& r : records) AppendLogLines(r, lines);
    const bool logged = lines.find(" -- Notice USB 适配器的延迟计时器为 16 ms，且 " + latency.string() + " 不可写") != std::string::npos;
    if (logged && records.size() == 1 && lines.find(session_.PortNotice) != std::string::npos) return true;
    std::fprintf(stderr, "log: %s\nnotice: %s\n", lines.c_str(), session_.PortNotice.c_str());
    return false;
  }));
}

TEST_F(ShellTest, discovery_withoutAnyPortEndsTheProgramWithItsMessage) {
  FakePort com40(40);  // above the range that is searched
  Load();
  ExpectOnlyMessage("终止运行", "自动识别串口号最大COM32，请检查系统分配的串口号是否超过32；");
  EXPECT_EQ(ui_.Messages()[0].icon, MessageIcon::Error);
}

TEST_F(ShellTest, openOfAVanishedPortEndsTheProgramWithItsMessage) {
  auto com6 = std::make_unique<FakePort>(6);
  Load();
  PickBaud(4);
  fs::remove(ports_.Root() / "COM6");
  com6.reset();
  Click(Control::OpenCloseButton);
  ExpectOnlyMessage("提示信息", "打开串口失败");
}

TEST_F(ShellTest, openAndClose_followTheCaption_refusedWhileMoving_windowCloseWaitsForWorkers) {
  FakePort com2(2);
  std::atomic<int> sequences{0};
  session_.ConnectionSequence = [&] { ++sequences; };
  auto& c = session_.controls;
  Load();
  PickBaud(4);
  // Closed before the one-shot timer of the connection sequence fires: no sequence.
  Click(Control::OpenCloseButton);
  Click(Control::OpenCloseButton);
  ui_.Pump(50);
  EXPECT_EQ(sequences.load(), 0);

  Click(Control::OpenCloseButton);
  EXPECT_EQ(c.Text(Control::OpenCloseButton), kCaptionClose);
  EXPECT_NE(session_.state.PortHandle.load(), 0);
  EXPECT_FALSE(c.Enabled(Control::PortList) || c.Enabled(Control::BaudList));
  EXPECT_EQ(sequences.load(), 0);  // the timer fires from the event loop
  EXPECT_TRUE(ui_.RunUntil([&] { return sequences.load() == 1; }, 2000));
  for (const bool moving : {true, false}) {  // or homing
    session_.state.MotorMoving = moving;
    session_.state.HomingIdle = moving;
    Click(Control::OpenCloseButton);
    EXPECT_EQ(c.Text(Control::OpenCloseButton), kCaptionClose);
  }
  const auto messages = ui_.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1].title, "不能操作");
  EXPECT_EQ(messages[1].text, "等待归零动作完成或者运动动作完成；\r\n或单击中断，终止归零动作或者其他运动动作；");
  session_.state.HomingIdle = true;

  // What the connection showed is emptied by the close (the grid: see the window's program test).
  const Control positions[] = {Control::PositionDeviationField, Control::ActualPositionField, Control::TargetPositionField};
  for (const Control t : positions) c.SetText(t, "5");
  c.SetVisible(Control::DriveCurrentUnit, true);
  c.SetChecked(Control::StartReleasedCheck, true);
  c.SetColor(Control::MovingLamp, kRed);
  Click(Control::OpenCloseButton);
  EXPECT_EQ(c.Text(Control::OpenCloseButton), kCaptionOpen);
  EXPECT_EQ(c.Color(Control::CommLamp), kGrey);
  EXPECT_EQ(c.Color(Control::MovingLamp), kButtonFace);
  EXPECT_EQ(session_.state.PortHandle.load(), 0);
  EXPECT_TRUE(session_.state.StopPolling.load());
  for (const Control t : positions) EXPECT_EQ(c.Text(t), "");
  EXPECT_FALSE(c.Visible(Control::DriveCurrentUnit) || c.Checked(Control::StartReleasedCheck));
  EXPECT_FALSE(c.Enabled(Control::ParameterPanel));
  EXPECT_TRUE(c.Enabled(Control::PortList));
  EXPECT_EQ(c.ComboIndex(Control::MoveUnitList), -1);

  // The window's close waits for a running worker, then closes the port and the bus lock.
  session_.ConnectionSequence = [] {};
  Click(Control::OpenCloseButton);
  std::atomic<bool> done{false};
  StartWorker(session_, [&] {
    std::this_thread::sleep_for(100ms);
    done = true;
  });
  session_.events.Dispatch(Control::MainWindow, UiEvent::Close);
  EXPECT_TRUE(done);
  EXPECT_EQ(session_.state.WorkerCount.load(), 0);
  EXPECT_EQ(session_.state.PortHandle.load(), 0);
  EXPECT_FALSE(session_.state.Bus.Acquire(0));
  // The orderly end after the window's close (Qt's aboutToQuit) does not run it again.
  int closes = 0;
  session_.events.On(Control::MainWindow, UiEvent::Close, [&](int) { ++closes; });
  ShutDownSession(session_);
  EXPECT_EQ(closes, 0);
}

}  // namespace
}  // namespace dd
