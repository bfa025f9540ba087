#include "sim/sim_drive.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

#include "sim/drive_model.h"
#include "sim/fault_plan.h"
#include "sim/modbus_slave.h"
#include "sim/pty_line.h"

namespace dd {

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr std::size_t kLogLimit = 20000;
// Poll an unopened pty this often: its master reports a hang-up continuously.
constexpr auto kClosedRetry = std::chrono::milliseconds(2);
constexpr auto kTick = std::chrono::milliseconds(2);
constexpr auto kIdleTick = std::chrono::milliseconds(20);

Clock::duration FromSeconds(double s) {
  return std::chrono::duration_cast<Clock::duration>(Seconds(s));
}

}  // namespace

struct SimDrive::Impl {
  explicit Impl(const SimConfig& c)
      : config(c), model(c), faults(c), lineBaud(c.lineBaud), realism(c.wireRealism) {
    for (const SimBusDrive& d : c.moreDrives) {
      SimConfig own = c;
      own.moreDrives.clear();
      own.slaveAddress = d.address;
      own.driveNumber = 0;
      if (d.lineBaud != 0) own.lineBaud = d.lineBaud;
      others.push_back({DriveModel(own), own.lineBaud});
    }
  }

  struct Outgoing {
    Clock::time_point at;
    std::vector<uint8_t> bytes;
    uint64_t logId;
    bool last;
  };

  const SimConfig config;
  mutable std::mutex mu;
  DriveModel model;
  // The other drives on the line, each with the speed it listens at.
  struct BusDrive {
    DriveModel model;
    uint32_t baud;
  };
  std::vector<BusDrive> others;
  FaultPlan faults;
  uint32_t lineBaud;
  bool realism;

  int fd = -1;
  std::string path;
  bool vanished = false;
  bool vanishPending = false;
  int comNumber = 0;
  std::string linkPath;

  std::thread thread;
  bool running = false;
  bool serving = false;  // the I/O thread has entered its loop
  bool stopRequested = false;
  int wake[2] = {-1, -1};
  std::deque<std::packaged_task<void()>> tasks;

  std::vector<uint8_t> rx;
  Clock::time_point lastByte{};
  Clock::time_point closedUntil{};
  Clock::time_point lastAdvance{};
  std::vector<Outgoing> out;
  std::vector<uint8_t> rest;  // second part of a split reply
  uint64_t restId = 0;

  std::deque<SimLogEntry> log;
  uint64_t logFirstId = 0;
  uint64_t requests = 0;

  mutable std::mutex waitMu;
  mutable std::condition_variable changed;

  void Notify() const {
    { std::lock_guard<std::mutex> lk(waitMu); }
    changed.notify_all();
  }

  void Wake() const {
    if (wake[1] >= 0) {
      const uint8_t b = 1;
      [[maybe_unused]] const ssize_t n = write(wake[1], &b, 1);
    }
  }

  // Runs `fn` on the I/O thread (which owns the pty) and waits for it; directly
  // when no thread runs.
  void OnIoThread(std::function<void()> fn) {
    std::unique_lock<std::mutex> lk(mu);
    if (!running || std::this_thread::get_id() == thread.get_id()) {
      fn();
      return;
    }
    std::packaged_task<void()> task([fn = std::move(fn)] { fn(); });
    auto done = task.get_future();
    tasks.push_back(std::move(task));
    lk.unlock();
    Wake();
    done.wait();
  }

  double SilenceSeconds() const {
    return std::max(3.5 * 11.0 / std::max<uint32_t>(lineBaud, 1), 0.00175);
  }

  // --- called with mu held ---
  bool OpenLine() {
    std::string p;
    const int f = OpenPtyMaster(lineBaud, p);
    if (f < 0) return false;
    fd = f;
    path = p;
    vanished = false;
    rx.clear();
    out.clear();
    rest.clear();
    closedUntil = {};
    if (comNumber > 0) {
      linkPath = ComLinkPath(comNumber);
      MakeLink(linkPath, path);
    }
    return true;
  }

  void CloseLine() {
    if (!linkPath.empty()) RemoveLinkTo(linkPath, path);
    if (fd >= 0) close(fd);
    fd = -1;
    path.clear();
    rx.clear();
    out.clear();
    rest.clear();
  }

  void PushLog(SimLogEntry&& e) {
    log.push_back(std::move(e));
    while (log.size() > kLogLimit) {
      log.pop_front();
      ++logFirstId;
    }
  }

  void Schedule(Clock::time_point at, std::vector<uint8_t> bytes, uint64_t id, bool last) {
    Outgoing o{at, std::move(bytes), id, last};
    const auto pos = std::upper_bound(out.begin(), out.end(), o.at,
                                      [](Clock::time_point t, const Outgoing& x) { return t < x.at; });
    out.insert(pos, std::move(o));
  }

  void HandleFrame(Clock::time_point now) {
    SimLogEntry e;
    e.received = lastByte;
    e.request = rx;
    if (rx.size() >= 2) {
      e.address = rx[0];
      e.function = rx[1];
    }
    ++requests;
    // A drive hears a frame only at its own line settings (garbage on a real line). A
    // Linux pty forces CS8 and clears PARENB whatever the master asks for, so "none"
    // cannot be told from "even"; odd (PARODD) and the baud rate survive.
    LineSettings ls;
    const bool checkLine = realism && fd >= 0 && ReadLineSettings(fd, ls);
    const auto hears = [&](uint32_t baud) {
      return !checkLine || (ls.baud == baud && !ls.oddParity);
    };
    std::vector<std::pair<DriveModel*, uint32_t>> listening;
    if (hears(lineBaud)) listening.push_back({&model, lineBaud});
    for (BusDrive& d : others) {
      if (hears(d.baud)) listening.push_back({&d.model, d.baud});
    }
    SlaveRequest r;
    DriveModel* drive = nullptr;
    uint32_t driveBaud = lineBaud;
    for (const auto& [m, baud] : listening) {
      if (ParseRequest(rx, m->SlaveAddress(), r)) {
        drive = m;
        driveBaud = baud;
        break;
      }
    }
    if (drive == nullptr) {
      e.outcome = SimOutcome::Ignored;
      PushLog(std::move(e));
      return;
    }
    e.reg = r.reg;
    e.count = r.count;
    e.value = r.value;
    if (r.address == 0) {  // broadcast: writes act on every drive, nothing answers
      uint8_t ex = 0;
      if (r.function == 6 || r.function == 16) {
        for (const auto& listener : listening) Execute(*listener.first, r, ex);
      }
      e.outcome = SimOutcome::Ignored;
      PushLog(std::move(e));
      return;
    }
    const std::optional<SimFault> fault = faults.Pick(r.function, r.reg);
    e.fault = fault;
    std::vector<uint8_t> reply;
    uint8_t ex = 0;
    if (!fault || (*fault != SimFault::Silent && *fault != SimFault::Exception &&
                   *fault != SimFault::Vanish)) {
      reply = Execute(*drive, r, ex);
    }
    if (fault) {
      switch (*fault) {
        case SimFault::Drop:
        case SimFault::Silent: reply.clear(); break;
        case SimFault::Vanish:
          reply.clear();
          vanishPending = true;
          break;
        case SimFault::Exception:
          ex = kExDeviceFailure;
          reply = ExceptionReply(r.address, r.function, ex);
          break;
        case SimFault::BadCrc: reply.back() = static_cast<uint8_t>(reply.back() ^ 0xA5); break;
        case SimFault::Short: reply.resize(std::max<std::size_t>(1, reply.size() / 2)); break;
        case SimFault::Late:
        case SimFault::Split: break;
      }
    }
    e.exceptionCode = ex;
    e.outcome = fault ? (*fault == SimFault::Exception ? SimOutcome::Exception : SimOutcome::Faulted)
                      : (ex != 0 ? SimOutcome::Exception : SimOutcome::Answered);
    e.reply = reply;
    const uint64_t id = logFirstId + log.size();
    PushLog(std::move(e));
    if (reply.empty()) return;

    Clock::time_point at = now;
    if (realism) {
      // The request really took its wire time, then the turnaround, then the reply's
      // own wire time; it leaves in one burst so the master sees no inter-byte gap.
      const double charTime = 11.0 / std::max<uint32_t>(driveBaud, 1);
      at = lastByte + FromSeconds(charTime * static_cast<double>(rx.size()) +
                                  std::max({config.turnaroundMs / 1000.0, 3.5 * charTime, 0.00175}) +
                                  charTime * static_cast<double>(reply.size()));
    }
    if (fault == SimFault::Late) at += FromSeconds(config.lateDelayMs / 1000.0);
    if (config.deliveryLatencyMs > 0) {
      const auto period = std::max<Clock::duration>(FromSeconds(config.deliveryLatencyMs / 1000.0),
                                                     Clock::duration(1));
      const auto ticks = (at.time_since_epoch() + period - Clock::duration(1)) / period;
      at = Clock::time_point(ticks * period);
    }
    if (fault == SimFault::Split && reply.size() >= 2) {
      const auto half = static_cast<std::ptrdiff_t>(reply.size() / 2);
      // The second part is timed from the moment the first really left.
      Schedule(at, std::vector<uint8_t>(reply.begin(), reply.begin() + half), id, false);
      rest = std::vector<uint8_t>(reply.begin() + half, reply.end());
      restId = id;
      return;
    }
    Schedule(at, std::move(reply), id, true);
  }

  void SendDue(Clock::time_point now) {
    while (!out.empty() && out.front().at <= now) {
      Outgoing o = std::move(out.front());
      out.erase(out.begin());
      if (fd >= 0) {
        std::size_t done = 0;
        for (int tries = 0; done < o.bytes.size() && tries < 50; ++tries) {
          const ssize_t n = write(fd, o.bytes.data() + done, o.bytes.size() - done);
          if (n > 0) {
            done += static_cast<std::size_t>(n);
          } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            break;  // nobody has the line open: the bytes are lost, as on a wire
          }
        }
      }
      if (!o.last && !rest.empty() && o.logId == restId) {
        Schedule(Clock::now() + FromSeconds(config.splitGapMs / 1000.0), std::move(rest), restId,
                 true);
        rest.clear();
      }
      if (o.last && o.logId >= logFirstId && o.logId - logFirstId < log.size())
        log[o.logId - logFirstId].replied = Clock::now();
    }
  }

  void Loop() {
    std::unique_lock<std::mutex> lk(mu);
    lastAdvance = Clock::now();
    serving = true;
    Notify();
    for (;;) {
      while (!tasks.empty()) {
        auto task = std::move(tasks.front());
        tasks.pop_front();
        task();
      }
      if (stopRequested) break;
      if (vanishPending) {
        vanishPending = false;
        CloseLine();
        vanished = true;
      }

      Clock::time_point now = Clock::now();
      // Motion is integrated lazily up to every wake-up; ticks only keep waiters fed.
      bool moving = model.Moving();
      for (const BusDrive& d : others) moving = moving || d.model.Moving();
      Clock::time_point deadline = now + (moving ? kTick : kIdleTick);
      if (!rx.empty()) deadline = std::min(deadline, lastByte + FromSeconds(SilenceSeconds()));
      if (!out.empty()) deadline = std::min(deadline, out.front().at);
      const bool watchLine = fd >= 0 && now >= closedUntil;
      if (fd >= 0 && !watchLine) deadline = std::min(deadline, closedUntil);
      const int lineFd = fd;
      lk.unlock();

      pollfd fds[2] = {{wake[0], POLLIN, 0}, {watchLine ? lineFd : -1, POLLIN, 0}};
      const auto wait = std::max(deadline - Clock::now(), Clock::duration::zero());
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
      timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
      ppoll(fds, 2, &ts, nullptr);
      if (fds[0].revents & POLLIN) {
        uint8_t buf[64];
        while (read(wake[0], buf, sizeof buf) > 0) {
        }
      }
      lk.lock();
      now = Clock::now();
      if (watchLine && fd == lineFd && fds[1].revents != 0) {
        bool hungUp = false;
        bool gotBytes = false;
        for (;;) {
          uint8_t buf[512];
          const ssize_t n = read(fd, buf, sizeof buf);
          if (n > 0) {
            rx.insert(rx.end(), buf, buf + n);
            lastByte = now;
            gotBytes = true;
            continue;
          }
          if (n < 0 && errno == EIO) hungUp = true;  // no one has the slave open
          break;
        }
        // A hang-up reported together with bytes is an old one: a new opener has already
        // written its request, which must not be dropped.
        if (hungUp || (!gotBytes && (fds[1].revents & (POLLHUP | POLLERR)) != 0)) {
          closedUntil = now + kClosedRetry;
          rx.clear();
        }
      }
      model.Advance(Seconds(now - lastAdvance).count());
      for (BusDrive& d : others) d.model.Advance(Seconds(now - lastAdvance).count());
      lastAdvance = now;
      if (!rx.empty() &&
          (IsCompleteRequest(rx) || now - lastByte >= FromSeconds(SilenceSeconds()))) {
        HandleFrame(now);
        rx.clear();
      }
      SendDue(now);
      Notify();
    }
  }
};

SimDrive::SimDrive(SimConfig config) : impl_(std::make_unique<Impl>(config)) {}

SimDrive::~SimDrive() { Stop(); }

bool SimDrive::Start() {
  if (!StartThread()) return false;
  // A master may write at once: be listening before Start() returns.
  WaitFor([this] {
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->serving;
  }, std::chrono::milliseconds(10000));
  return true;
}

bool SimDrive::StartThread() {
  std::lock_guard<std::mutex> lk(impl_->mu);
  if (impl_->running) return false;
  if (pipe2(impl_->wake, O_NONBLOCK | O_CLOEXEC) != 0) return false;
  if (!impl_->OpenLine()) {
    close(impl_->wake[0]);
    close(impl_->wake[1]);
    impl_->wake[0] = impl_->wake[1] = -1;
    return false;
  }
  impl_->stopRequested = false;
  impl_->running = true;
  impl_->serving = false;
  impl_->thread = std::thread([this] { impl_->Loop(); });
  return true;
}

void SimDrive::Stop() {
  {
    std::lock_guard<std::mutex> lk(impl_->mu);
    if (!impl_->running) return;
    impl_->stopRequested = true;
  }
  impl_->Wake();
  impl_->thread.join();
  std::lock_guard<std::mutex> lk(impl_->mu);
  impl_->running = false;
  impl_->CloseLine();
  impl_->comNumber = 0;
  impl_->linkPath.clear();
  impl_->vanished = false;
  close(impl_->wake[0]);
  close(impl_->wake[1]);
  impl_->wake[0] = impl_->wake[1] = -1;
  impl_->Notify();
}

bool SimDrive::Running() const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return impl_->running;
}

std::string SimDrive::DevicePath() const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return impl_->path;
}

std::string SimDrive::PortDirectory() {
  const std::string link = ComLinkPath(0);
  return link.substr(0, link.rfind('/'));
}

bool SimDrive::LinkAsCom(int n) {
  if (n <= 0) return false;
  std::lock_guard<std::mutex> lk(impl_->mu);
  if (!impl_->running) return false;
  if (!impl_->linkPath.empty() && !impl_->path.empty())
    RemoveLinkTo(impl_->linkPath, impl_->path);
  impl_->comNumber = n;
  impl_->linkPath = ComLinkPath(n);
  if (impl_->path.empty()) return true;  // vanished: made on Return()
  return MakeLink(impl_->linkPath, impl_->path);
}

void SimDrive::Vanish() {
  impl_->OnIoThread([this] {
    if (impl_->fd < 0) return;
    impl_->CloseLine();
    impl_->vanished = true;
  });
  impl_->Notify();
}

bool SimDrive::Return() {
  bool ok = false;
  impl_->OnIoThread([this, &ok] {
    if (!impl_->running) return;
    ok = impl_->fd >= 0 || impl_->OpenLine();
  });
  impl_->Notify();
  return ok;
}

bool SimDrive::Vanished() const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return impl_->vanished || impl_->vanishPending;
}

void SimDrive::PowerCycle() {
  std::lock_guard<std::mutex> lk(impl_->mu);
  impl_->model.PowerCycle();
  for (auto& d : impl_->others) d.model.PowerCycle();
  impl_->out.clear();
  impl_->rest.clear();
  impl_->rx.clear();
  impl_->Wake();
}

std::optional<uint16_t> SimDrive::Register(uint16_t address) const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  std::vector<uint16_t> w;
  if (impl_->model.Read(address, 1, w) != 0) return std::nullopt;
  return w[0];
}

std::optional<std::vector<uint16_t>> SimDrive::ReadRegisters(uint16_t address,
                                                             uint16_t count) const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  std::vector<uint16_t> w;
  if (impl_->model.Read(address, count, w) != 0) return std::nullopt;
  return w;
}

bool SimDrive::WriteRegister(uint16_t address, uint16_t value) {
  std::lock_guard<std::mutex> lk(impl_->mu);
  const bool ok = impl_->model.WriteSingle(address, value) == 0;
  impl_->Wake();
  return ok;
}

bool SimDrive::WriteRegisters(uint16_t address, const std::vector<uint16_t>& values) {
  std::lock_guard<std::mutex> lk(impl_->mu);
  const bool ok = impl_->model.WriteMultiple(address, values) == 0;
  impl_->Wake();
  return ok;
}

std::optional<uint64_t> SimDrive::Value(uint16_t address) const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  std::vector<uint16_t> w;
  for (uint16_t count : {uint16_t{2}, uint16_t{4}, uint16_t{1}}) {
    if (impl_->model.Read(address, count, w) == 0) {
      // Only a block answers a multi-register read at its start with its own size.
      if (count == 1 || w.size() == count) {
        uint64_t v = 0;
        for (uint16_t x : w) v = (v << 16) | x;
        return v;
      }
    }
  }
  return std::nullopt;
}

bool SimDrive::SetValue(uint16_t address, uint64_t value, uint16_t count) {
  std::lock_guard<std::mutex> lk(impl_->mu);
  const bool ok = impl_->model.Set(address, value, count);
  impl_->Wake();
  return ok;
}

void SimDrive::SetErrorCode(uint16_t code) {
  std::lock_guard<std::mutex> lk(impl_->mu);
  impl_->model.SetErrorCode(code);
}

uint16_t SimDrive::ControlWord() const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return impl_->model.ControlWord();
}

uint16_t SimDrive::PortStatus() const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return impl_->model.PortStatus();
}

uint64_t SimDrive::SaveCount() const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return impl_->model.SaveCount();
}

double SimDrive::TruePosition() const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return impl_->model.TruePosition();
}

double SimDrive::DrivePosition() const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return impl_->model.DrivePosition();
}

double SimDrive::TargetPosition() const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return impl_->model.TargetPosition();
}

double SimDrive::Speed() const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return impl_->model.Speed();
}

int32_t SimDrive::SpeedRegister() const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return impl_->model.SpeedRegister();
}

bool SimDrive::Enabled() const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return impl_->model.Enabled();
}

bool SimDrive::Moving() const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return impl_->model.Moving();
}

void SimDrive::SetTruePosition(double position) {
  std::lock_guard<std::mutex> lk(impl_->mu);
  impl_->model.SetTruePosition(position);
  impl_->Wake();
}

void SimDrive::MoveSensor(SimSensorId sensor, double position) {
  std::lock_guard<std::mutex> lk(impl_->mu);
  impl_->model.Sensor(sensor).position = position * impl_->model.PulseLength();
  impl_->Wake();
}

void SimDrive::WireSensor(SimSensorId sensor, bool wired) {
  std::lock_guard<std::mutex> lk(impl_->mu);
  impl_->model.Sensor(sensor).wired = wired;
  impl_->Wake();
}

void SimDrive::SetSensorNormallyClosed(SimSensorId sensor, bool normallyClosed) {
  std::lock_guard<std::mutex> lk(impl_->mu);
  impl_->model.Sensor(sensor).normallyClosed = normallyClosed;
  impl_->Wake();
}

void SimDrive::ForceInput(SimSensorId sensor, std::optional<bool> active) {
  std::lock_guard<std::mutex> lk(impl_->mu);
  impl_->model.ForceInput(sensor, active);
  impl_->Wake();
}

bool SimDrive::Triggered(SimSensorId sensor) const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return impl_->model.Triggered(sensor);
}

bool SimDrive::InputActive(SimSensorId sensor) const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return impl_->model.InputActive(sensor);
}

SimAxis SimDrive::Axis() const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return impl_->model.Axis();
}

void SimDrive::SetFaultProbability(SimFault kind, double probability) {
  std::lock_guard<std::mutex> lk(impl_->mu);
  impl_->faults.SetProbability(kind, probability);
}

void SimDrive::ScriptFault(const SimFaultRule& rule) {
  std::lock_guard<std::mutex> lk(impl_->mu);
  impl_->faults.Add(rule);
}

void SimDrive::ScriptFault(SimFault kind, int count) {
  ScriptFault(SimFaultRule{kind, count, std::nullopt, std::nullopt});
}

void SimDrive::ClearFaults() {
  std::lock_guard<std::mutex> lk(impl_->mu);
  impl_->faults.Clear();
}

void SimDrive::SetLineBaud(uint32_t baud) {
  std::lock_guard<std::mutex> lk(impl_->mu);
  impl_->lineBaud = baud;
}

void SimDrive::SetWireRealism(bool on) {
  std::lock_guard<std::mutex> lk(impl_->mu);
  impl_->realism = on;
}

std::vector<SimLogEntry> SimDrive::Log() const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return {impl_->log.begin(), impl_->log.end()};
}

uint64_t SimDrive::RequestCount() const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return impl_->requests;
}

void SimDrive::ClearLog() {
  std::lock_guard<std::mutex> lk(impl_->mu);
  impl_->logFirstId += impl_->log.size();
  impl_->log.clear();
}

bool SimDrive::WaitFor(const std::function<bool()>& predicate,
                       std::chrono::milliseconds timeout) const {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (predicate()) return true;
    const auto now = Clock::now();
    if (now >= deadline) return false;
    std::unique_lock<std::mutex> lk(impl_->waitMu);
    impl_->changed.wait_until(lk, std::min(deadline, now + std::chrono::milliseconds(5)));
  }
}

bool SimDrive::WaitForRequests(uint64_t count, std::chrono::milliseconds timeout) const {
  return WaitFor([&] { return RequestCount() >= count; }, timeout);
}

bool SimDrive::WaitForStandstill(std::chrono::milliseconds timeout) const {
  return WaitFor([&] { return !Moving(); }, timeout);
}

const SimConfig& SimDrive::InitialConfig() const { return impl_->config; }

double SimDrive::UnitsPerRevolution() const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return impl_->model.UnitsPerRevolution();
}

double SimDrive::SpeedUnitsToUnitsPerSecond(double speedUnits) const {
  std::lock_guard<std::mutex> lk(impl_->mu);
  return impl_->model.SpeedUnitsToPulsesPerSecond(speedUnits) / impl_->model.PulseLength();
}

}  // namespace dd
