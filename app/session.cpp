#include "app/session.h"

#include <chrono>
#include <thread>

namespace dd {

void StartWorker(Session& session, std::function<void()> body) {
  // Counted before the thread exists, so a close that waits for the count cannot slip
  // in between the click and the worker's start.
  session.state.WorkerCount.fetch_add(1);
  std::thread([&session, body = std::move(body)] {
    try {
      body();
    } catch (...) {
      // A worker must always leave the count; nothing above it could handle this.
    }
    session.state.WorkerCount.fetch_sub(1);
  }).detach();
}

void StartMotionWorker(Session& session, std::function<void()> body) {
  session.state.MotionWorkerCount.fetch_add(1);
  StartWorker(session, [&session, body = std::move(body)] {
    struct Leave {
      std::atomic<int32_t>& count;
      ~Leave() { count.fetch_sub(1); }
    } leave{session.state.MotionWorkerCount};
    body();
  });
}

void DelayMs(Session& session, int ms) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const auto span = std::chrono::milliseconds(ms < 0 ? 0 : ms);
  const bool ui = session.ui.OnUiThread();
  while (Clock::now() - start <= span) {
    if (ui) session.ui.ProcessEvents();
    std::this_thread::sleep_for(std::chrono::microseconds(ms > 2 ? 1000 : 200));
  }
}

void WaitForWorkers(Session& session) {
  while (session.state.WorkerCount.load() > 0) {
    session.ui.ProcessEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void WaitForMotionWorkers(Session& session) {
  SharedState& st = session.state;
  while (st.MotionWorkerCount.load() > 0) {
    if (st.DriveSilent.load()) st.MotionAbandoned = true;
    session.ui.ProcessEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  st.MotionAbandoned = false;
}

std::string ToBinaryString(int32_t value, int16_t bytes) {
  const int bits = 8 * bytes;
  std::string out(static_cast<std::size_t>(bits > 0 ? bits : 0), '0');
  uint32_t v = static_cast<uint32_t>(value);
  for (int i = bits - 1; i >= 0; --i) {
    out[static_cast<std::size_t>(i)] = (v % 2) ? '1' : '0';
    v /= 2;
  }
  return out;
}

}  // namespace dd
