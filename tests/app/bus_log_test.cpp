// The bus log: a bounded ring that never makes a worker wait for a reader, and the file
// that --log writes.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "app/bus_log.h"
#include "app/bus_log_file.h"

namespace dd {
namespace {

using namespace std::chrono;

TEST(BusLog, floodFromFourWorkers_keepsTheNewestAndCountsWhatAReaderLost) {
  constexpr int kThreads = 4, kEach = 20'000;
  BusLog log(1000);
  std::atomic<int> running{kThreads};
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        const uint8_t request[] = {static_cast<uint8_t>(t), static_cast<uint8_t>(i >> 8),
                                   static_cast<uint8_t>(i)};
        TransactionRecord r;
        r.request = request;
        r.attempt = i;
        log.Push(r);
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
      ASSERT_EQ(i & 0xFFFF, r.attempt & 0xFFFF);
      ASSERT_GT(r.attempt, lastOf[t]);
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

TEST(BusLogFile, appendsOneLinePerFrame_andAFailureLine_refusesAnUnwritablePath) {
  const auto dir = std::filesystem::temp_directory_path() / ("buslog-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "bus.log").string();
  { std::ofstream(path) << "earlier\n"; }
  BusLog log;
  std::string error;
  auto file = BusLogFile::Open(log, path, error);
  ASSERT_TRUE(file) << error;

  const system_clock::time_point wall = sys_days{2026y / 12 / 7} + 4h + 1min + 2s + 123ms;
  const steady_clock::time_point t0{};
  const uint8_t readRunSpeed[] = {0x01, 0x04, 0x00, 0x40, 0x00, 0x01, 0x30, 0x1E};
  const uint8_t reply[] = {0x01, 0x04, 0x02, 0x02, 0x00, 0xB8, 0x44};
  const uint8_t corrupt[] = {0x01, 0x04, 0x02, 0x02, 0x00, 0xB8, 0xE1};
  const auto push = [&](std::span<const uint8_t> rx, CommandResult result, milliseconds at) {
    TransactionRecord r;
    r.sent = t0 + at;
    r.received = t0 + at + 4ms;
    r.sentWall = wall + at;
    r.request = readRunSpeed;
    r.reply = rx;
    r.result = result;
    log.Push(r);
  };
  push(reply, kOk, 0ms);
  push({}, kShortReply, 10ms);
  push(corrupt, kBadCrc, 1000ms);
  push(std::span(reply).first(3), kShortReply, 61'000ms);
  file->Stop();

  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  EXPECT_EQ(text.str(),
            "earlier\n"
            "2026-12-07T04:01:02.123Z TX 01 04 00 40 00 01 30 1E\n"
            "2026-12-07T04:01:02.127Z RX 01 04 02 02 00 B8 44\n"
            "2026-12-07T04:01:02.133Z TX 01 04 00 40 00 01 30 1E\n"
            "2026-12-07T04:01:02.137Z -- Timeout\n"
            "2026-12-07T04:01:03.123Z TX 01 04 00 40 00 01 30 1E\n"
            "2026-12-07T04:01:03.127Z RX 01 04 02 02 00 B8 E1\n"
            "2026-12-07T04:01:03.127Z -- BadCrc\n"
            "2026-12-07T04:02:03.123Z TX 01 04 00 40 00 01 30 1E\n"
            "2026-12-07T04:02:03.127Z RX 01 04 02\n"
            "2026-12-07T04:02:03.127Z -- ShortReply\n");

  for (const std::string& bad : {(dir / "missing" / "bus.log").string(), dir.string(), std::string()}) {
    error.clear();
    EXPECT_FALSE(BusLogFile::Open(log, bad, error)) << bad;
    EXPECT_NE(error.find("无法写入通信日志文件"), std::string::npos) << bad;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace dd
