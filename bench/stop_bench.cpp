// The time from a click on "中断" to StopMotion on the wire: on a healthy line (the click
// lands anywhere in the polling), and right after a polling read timed out, when the
// late-reply guard is armed, on a quiet line and on a noisy one (a byte every 2 ms).
// The status worker and the stop button's handler are the program's; the drive is a
// scripted peer on a pseudo-terminal that answers every request at once.
//   bench_stop [--trials N] [--baud B]
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/control.h"
#include "app/session.h"
#include "link/serial_port.h"
#include "status/drive_state_commands.h"
#include "status/status_worker.h"
#include "tests/link/pty_peer.h"
#include "tests/support/headless_ui.h"
#include "ui/window_layout.h"

namespace {

using Clock = std::chrono::steady_clock;
using dd::test::Bytes;
using dd::test::PeerAnswer;

enum class Line { Healthy, Quiet, Noisy };
const char* Name(Line line) {
  return line == Line::Healthy ? "healthy" : line == Line::Quiet ? "after a time-out, quiet" : "after a time-out, noisy";
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

bool IsStop(const Bytes& r) {
  return r.size() == 8 && r[1] == 6 && r[2] == 0 && r[3] == 0 && r[4] == 0 && r[5] == 8;
}

// A drive that answers everything at once, drops the one read it is told to, and notes
// when the retry of that read and when the stop came in.
struct ScriptedDrive {
  std::atomic<bool> dropNext{false};
  std::atomic<bool> retried{false};
  std::atomic<bool> stopped{false};
  std::mutex mutex;
  Bytes dropped;
  Clock::time_point stopAt;

  PeerAnswer Answer(const Bytes& r) {
    const std::lock_guard lock(mutex);
    // The first stop that came in: noise may spoil its echo and bring a retry.
    if (IsStop(r) && !stopped) {
      stopAt = Clock::now();
      stopped = true;
    }
    if (r[1] == 6) return {r};
    if (r[1] == 16) return {dd::test::WithCrc(Bytes(r.begin(), r.begin() + 6))};
    if (dropNext.exchange(false)) {
      dropped = r;
      return {};
    }
    if (r == dropped) {
      dropped.clear();
      retried = true;
    }
    return {dd::test::ReadReply(r[0], r[1], Bytes(2u * r[5], 0))};
  }
};

std::vector<double> Measure(Line line, int trials, uint32_t baud) {
  dd::test::PtyPair pty;
  ScriptedDrive drive;
  dd::test::ScriptedPeer peer(pty.master(), [&drive](const Bytes& r) { return drive.Answer(r); });
  dd::test::HeadlessUi ui;
  dd::Session session(ui);
  dd::DefineControls(session.controls);
  dd::InstallDriveStateHandlers(session);
  session.state.Bus.Open();
  session.state.PortHandle = dd::OpenPortByPath(pty.slavePath(), static_cast<int32_t>(baud), 8, 0, 2);
  if (session.state.PortHandle.load() == 0) return {};
  dd::StartStatusWorker(session);
  std::mt19937 random(7);
  std::vector<double> latencies;
  for (int t = 0; t < trials; ++t) {
    ui.Pump(80);  // the guard of the last trial has run out
    drive.retried = drive.stopped = false;
    std::atomic<bool> noise{line == Line::Noisy};
    std::thread noiser([&] {
      const uint8_t junk = 0xFF;
      while (noise) {
        if (::write(pty.master(), &junk, 1) != 1) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
    if (line == Line::Healthy) {
      ui.Pump(static_cast<int>(random() % 40));
    } else {
      drive.dropNext = true;
      ui.RunUntil([&] { return drive.retried.load(); }, 5000);
    }
    const auto clicked = Clock::now();
    session.events.Dispatch(dd::Control::StopButton, dd::UiEvent::Click);
    const bool sent = ui.RunUntil([&] { return drive.stopped.load(); }, 5000);
    noise = false;
    noiser.join();
    ui.RunUntil([&] { return session.state.MotionWorkerCount.load() == 0; }, 5000);
    if (sent) {
      const std::lock_guard lock(drive.mutex);
      latencies.push_back(Ms(drive.stopAt - clicked));
    }
  }
  session.state.StopPolling = true;
  dd::WaitForWorkers(session);
  dd::SerialHandle port = session.state.PortHandle.exchange(0);
  dd::ClosePort(port);
  return latencies;
}

}  // namespace

int main(int argc, char* argv[]) {
  int trials = 40;
  uint32_t baud = 115200;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--trials") == 0) trials = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--baud") == 0) baud = static_cast<uint32_t>(std::atoi(argv[i + 1]));
  }
  // A polling read's transaction: an 8-byte request and a 9-byte reply, 11 bits a character.
  std::printf("baud %u: one transaction's wire time %.2f ms\n", baud, 17 * 11 * 1000.0 / baud);
  std::printf("%-26s %6s %8s %8s %8s\n", "click to StopMotion", "trials", "median", "p95", "max");
  for (Line line : {Line::Healthy, Line::Quiet, Line::Noisy}) {
    std::vector<double> ms = Measure(line, trials, baud);
    if (ms.empty()) {
      std::printf("%-26s no stop was sent\n", Name(line));
      return 1;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-26s %6zu %8.2f %8.2f %8.2f\n", Name(line), ms.size(), ms[ms.size() / 2],
                ms[std::min(ms.size() - 1, ms.size() * 95 / 100)], ms.back());
  }
  return 0;
}
