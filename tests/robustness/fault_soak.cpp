#include "tests/robustness/fault_soak.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>

#include "app/control.h"
#include "app/number_text.h"
#include "link/frame_trace.h"
#include "status/error_codes.h"

namespace dd::test {
namespace {

using Clock = std::chrono::steady_clock;

int32_t S32(const SimDrive& sim, uint16_t reg) {
  return static_cast<int32_t>(static_cast<uint32_t>(sim.Value(reg).value_or(0)));
}

// Values each polled register held during the run, sampled after every change.
struct Held {
  std::set<double> actual{0}, target{0}, deviation{0}, others9;  // 9-byte replies
  std::set<uint16_t> errorCodes{0}, others7;                     // 7-byte replies

  void Sample(const SimDrive& sim) {
    actual.insert(S32(sim, 0x002C));
    target.insert(S32(sim, 0x002E));
    deviation.insert(S32(sim, 0x003C));
    others9.insert(S32(sim, 0x0045));
    others9.insert(static_cast<uint32_t>(sim.Value(0x1006).value_or(0)));
    errorCodes.insert(sim.Register(0x0002).value_or(0));
    // Every one-register read of the program (polling and connection sequence) has a
    // 7-byte reply: a late one can stand in for another (Modbus RTU has no transaction id).
    for (int reg : {0x0000, 0x0008, 0x0010, 0x0011, 0x0012, 0x0013, 0x0014, 0x0015, 0x0034,
                         0x0040, 0x0041, 0x0042, 0x0043, 0x0044, 0x0046, 0x0047, 0x0061, 0x0080,
                         0x0300}) {
      others7.insert(sim.Register(static_cast<uint16_t>(reg)).value_or(0));
    }
  }
};

}  // namespace

bool SimProgram::Connect() {
  if (!sim.Start() || !sim.LinkAsCom(1)) return false;
  program.Load();
  return program.Pick(1, baud) && program.Open();
}

std::jthread Watchdog(std::chrono::milliseconds limit, std::function<void()> onTimeout) {
  return std::jthread([limit, onTimeout = std::move(onTimeout)](std::stop_token stop) {
    std::mutex m;
    std::unique_lock lock(m);
    std::condition_variable_any().wait_for(lock, stop, limit, [] { return false; });
    if (!stop.stop_requested()) onTimeout();
  });
}

double TransactionWireSeconds(std::size_t requestBytes, std::size_t replyBytes, uint32_t baud,
                              double turnaroundMs) {
  const double charTime = 11.0 / std::max<uint32_t>(baud, 1);
  double seconds = charTime * static_cast<double>(requestBytes);
  if (replyBytes > 0) {
    seconds += std::max({turnaroundMs / 1000.0, 3.5 * charTime, 0.00175}) + charTime * static_cast<double>(replyBytes);
  }
  return seconds;
}

double PollingCycleLimitSeconds(uint32_t baud, double turnaroundMs) {
  // Error code, actual, target, deviation, current, speed, run time, travel, inputs.
  double seconds = 0;
  for (const std::size_t reply : {7, 9, 9, 9, 7, 9, 9, 13, 7}) seconds += TransactionWireSeconds(8, reply, baud, turnaroundMs);
  return seconds;
}

double LoggedWireSeconds(const std::vector<SimLogEntry>& log, uint32_t baud, double turnaroundMs) {
  double seconds = 0;
  for (const SimLogEntry& e : log) seconds += TransactionWireSeconds(e.request.size(), e.reply.size(), baud, turnaroundMs);
  return seconds;
}

std::array<double, kSimFaultKinds> DefaultFaultMix() {
  // Drop, BadCrc, Short, Late, Split, Exception; never Silent or Vanish.
  return {0.02, 0.02, 0.02, 0.01, 0.02, 0.02, 0, 0};
}

SoakResult RunFaultSoak(const SoakOptions& options) {
  SoakResult result;
  SimProgram run(SimConfig{.lineBaud = options.baud, .wireRealism = options.wireRealism,
                           .faultProbability = options.faults, .seed = options.seed});
  SimDrive& sim = run.sim;
  HeadlessProgram& program = run.program;

  std::atomic<uint64_t> reads{0}, failedReads{0};
  SetFrameTrace([&](const TransactionRecord& record) {
    if (record.request.size() < 2 || (record.request[1] != kReadHolding && record.request[1] != kReadInput)) return;
    ++reads;
    failedReads += record.result != kOk;
  });
  struct TraceOff { ~TraceOff() { SetFrameTrace(nullptr); } } traceOff;

  const auto takeMessages = [&] {
    for (const auto& m : program.ui.Messages()) result.messages.push_back(m.title + ": " + m.text);
    return result;
  };
  if (!(result.connected = run.Connect())) return takeMessages();

  Held held;
  held.Sample(sim);
  std::mt19937_64 random(options.seed);
  static constexpr double kPositions[] = {-5000, -1234, 0, 777, 3000, 2100};
  static constexpr uint16_t kCodes[] = {0, 0x0101, 0x0201, 4660, 0};
  const uint64_t startRequests = sim.RequestCount();
  uint64_t secondRequests = startRequests;
  auto nextSecond = Clock::now() + std::chrono::seconds(1);
  auto nextAction = Clock::now();
  const auto end = Clock::now() + options.duration;
  auto& c = program.session.controls;

  // A shown value is the drive's if its own register held it, cross-attributed if
  // another polled register of the same reply length did, invented otherwise.
  const auto judge = [&](bool own, bool other, Control field, const std::string& text) {
    if (!own && other) ++result.crossAttributed;
    if (!own && !other) result.inventedValues.push_back(std::string(ControlName(field)) + "=" + text);
  };
  const auto check = [&] {
    ++result.checks;
    for (const auto& [field, own] : {std::pair{Control::ActualPositionField, &held.actual},
                                     {Control::TargetPositionField, &held.target},
                                     {Control::PositionDeviationField, &held.deviation}}) {
      const std::string text = c.Text(field);
      if (text.empty()) continue;
      const auto v = ParseNumber(text);
      const bool other = v && (held.actual.count(*v) || held.target.count(*v) || held.deviation.count(*v) || held.others9.count(*v));
      judge(v && own->count(*v), other, field, text);
    }
    const std::string error = c.Text(Control::ErrorTextField);
    if (error.empty()) return;
    bool own = false, other = false;
    for (uint16_t code : held.errorCodes) own = own || ErrorText(code) == error;
    for (uint16_t v : held.others7) other = other || ErrorText(v) == error;
    judge(own, other, Control::ErrorTextField, error);
  };

  while (Clock::now() < end) {
    if (Clock::now() >= nextAction) {
      nextAction = Clock::now() + std::chrono::milliseconds(200);
      const auto action = random() % 5;
      if (action < 2) sim.SetTruePosition(kPositions[random() % std::size(kPositions)]);
      if (action == 2) sim.SetErrorCode(kCodes[random() % std::size(kCodes)]);
      if (action > 2) {  // set zero, or enable / release, beside polling
        program.session.events.Dispatch(action == 3 ? Control::SetZeroButton : Control::EnableButton, UiEvent::Click);
        ++result.clicks;
      }
    }
    held.Sample(sim);
    program.ui.Pump(10);
    held.Sample(sim);
    check();
    if (Clock::now() >= nextSecond) {
      nextSecond += std::chrono::seconds(1);
      result.stalledSeconds += sim.RequestCount() == secondRequests;
      secondRequests = sim.RequestCount();
    }
  }
  // DRIVEDESK_SOAK_DUMP=1: on a failed check, the drive's log (request -> reply, fault
  // kind) goes to stderr, to see which bytes made the value.
  if (std::getenv("DRIVEDESK_SOAK_DUMP") && !result.inventedValues.empty()) {
    for (const auto& e : sim.Log()) {
      for (uint8_t x : e.request) std::fprintf(stderr, "%02X ", x);
      std::fprintf(stderr, "-> ");
      for (uint8_t x : e.reply) std::fprintf(stderr, "%02X ", x);
      std::fprintf(stderr, "%d\n", e.fault ? static_cast<int>(*e.fault) : -1);
    }
  }
  result.requests = sim.RequestCount() - startRequests;
  result.reads = reads;
  result.failedReads = failedReads;
  for (const auto& e : sim.Log()) result.faultedReplies += e.outcome != SimOutcome::Answered;
  takeMessages();
  {
    const auto watchdog = Watchdog(std::chrono::seconds(60), [&] {
      std::fprintf(stderr, "soak: closing the window hangs (WorkerCount %d)\n", program.session.state.WorkerCount.load());
      std::abort();
    });
    program.CloseWindow();
  }
  result.closedInTime = true;
  result.workersAfterClose = program.session.state.WorkerCount.load();
  return result;
}

}  // namespace dd::test
