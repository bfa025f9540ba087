// Polling rate close to the wire: the program's status polling against the simulated
// drive with wire-time emulation, next to the wire-time limit of its nine reads and
// next to an independent master (libmodbus) making the same nine reads on the same
// drive. Also times the connection sequence and the load with port discovery.
//   bench_polling [--seconds S] [--baud B]... [--turnaround MS] [--usb-latency MS]
//                 [--no-libmodbus]
// --usb-latency makes the drive's replies reach the master as through a USB adapter whose
// latency timer has that period (16 ms is the FTDI default, 1 ms what the open sets).
#include <modbus/modbus.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "link/serial_custom_baud.h"
#include "sim/sim_drive.h"
#include "tests/robustness/fault_soak.h"

namespace {

using Clock = std::chrono::steady_clock;
using dd::test::HeadlessProgram;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct Figures {
  uint32_t baud = 0;
  double loadMs = 0;
  double connectMs = 0;
  double connectLimitMs = 0;
  std::size_t connectRequests = 0;
  double cycleHz = 0;
  double limitHz = 0;
  double retriesPerCycle = 0;
  int unanswered = 0;
  double libmodbusHz = 0;
  int libmodbusErrors = 0;
  bool ok = false;
};

bool IsErrorCodeRead(const dd::SimLogEntry& e) { return e.function == 4 && e.reg == 0x0002; }

// The status worker's nine reads with libmodbus, as fast as it goes, for `seconds`.
double LibmodbusCycles(const std::string& device, uint32_t baud, double seconds, int& errors) {
  modbus_t* ctx = modbus_new_rtu(device.c_str(), static_cast<int>(baud), 'E', 8, 1);
  if (ctx == nullptr) return -1;
  modbus_set_slave(ctx, 1);
  if (modbus_connect(ctx) != 0) {
    modbus_free(ctx);
    return -1;
  }
  // libmodbus knows only the termios speed constants; 250000 needs the custom rate.
  (void)dd::SetCustomBaudRate(modbus_get_socket(ctx), static_cast<int32_t>(baud));
  modbus_set_response_timeout(ctx, 0, 500000);
  uint16_t regs[4];
  int cycles = 0;
  errors = 0;
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  const auto start = Clock::now();
  while (Clock::now() < end) {
    int bad = 0;
    bad += modbus_read_input_registers(ctx, 0x0002, 1, regs) != 1;
    bad += modbus_read_registers(ctx, 0x002C, 2, regs) != 2;
    bad += modbus_read_registers(ctx, 0x002E, 2, regs) != 2;
    bad += modbus_read_registers(ctx, 0x003C, 2, regs) != 2;
    bad += modbus_read_input_registers(ctx, 0x0015, 1, regs) != 1;
    bad += modbus_read_registers(ctx, 0x0045, 2, regs) != 2;
    bad += modbus_read_registers(ctx, 0x1006, 2, regs) != 2;
    bad += modbus_read_registers(ctx, 0x1008, 4, regs) != 4;
    bad += modbus_read_input_registers(ctx, 0x0080, 1, regs) != 1;
    errors += bad;
    ++cycles;
  }
  const double elapsed = Seconds(Clock::now() - start);
  modbus_close(ctx);
  modbus_free(ctx);
  return cycles / elapsed;
}

Figures Measure(uint32_t baud, double seconds, double turnaroundMs, double usbLatencyMs,
                bool withLibmodbus) {
  Figures f;
  f.baud = baud;
  dd::test::PortDirectory ports;
  dd::SimConfig config;
  config.lineBaud = baud;
  config.wireRealism = true;
  config.turnaroundMs = turnaroundMs;
  config.deliveryLatencyMs = usbLatencyMs;
  dd::SimDrive sim(config);
  if (!sim.Start() || !sim.LinkAsCom(1)) {
    std::fprintf(stderr, "bench_polling: simulator did not start\n");
    return f;
  }
  {
    HeadlessProgram program;
    auto t0 = Clock::now();
    program.Load();
    f.loadMs = Seconds(Clock::now() - t0) * 1000;
    if (!program.Pick(1, baud)) {
      std::fprintf(stderr, "bench_polling: COM1 or %u not listed\n", baud);
      return f;
    }
    sim.ClearLog();
    t0 = Clock::now();
    if (!program.Open()) {
      std::fprintf(stderr, "bench_polling: open failed at %u baud\n", baud);
      for (const auto& m : program.ui.Messages()) std::fprintf(stderr, "  %s: %s\n", m.title.c_str(), m.text.c_str());
      return f;
    }
    const auto opened = Clock::now();
    f.connectMs = Seconds(opened - t0) * 1000;
    // The sequence's own exchanges end where polling begins: its first error-code read.
    std::vector<dd::SimLogEntry> sequence;
    for (const auto& e : sim.Log()) {
      if (IsErrorCodeRead(e)) break;
      sequence.push_back(e);
    }
    f.connectRequests = sequence.size();
    f.connectLimitMs = dd::test::LoggedWireSeconds(sequence, baud, turnaroundMs) * 1000 + 10;

    program.ui.Pump(300);  // settle
    sim.ClearLog();
    const auto start = Clock::now();
    program.ui.Pump(static_cast<int>(seconds * 1000));
    const double elapsed = Seconds(Clock::now() - start);
    // A retry repeats the request just made; unanswered frames are the drive's doing.
    const auto log = sim.Log();
    double retries = 0;
    double cycles = 0;
    for (std::size_t i = 1; i < log.size(); ++i) {
      const bool retry = log[i].request == log[i - 1].request;
      retries += retry ? 1 : 0;
      // A cycle starts with its error-code read; a retried read is not a new cycle.
      cycles += IsErrorCodeRead(log[i]) && !retry ? 1 : 0;
      f.unanswered += log[i].outcome != dd::SimOutcome::Answered ? 1 : 0;
    }
    f.cycleHz = cycles / elapsed;
    f.retriesPerCycle = cycles > 0 ? retries / cycles : 0;
    f.limitHz = 1.0 / dd::test::PollingCycleLimitSeconds(baud, turnaroundMs);
    program.CloseCommunication();
    program.CloseWindow();
  }
  if (withLibmodbus) f.libmodbusHz = LibmodbusCycles(sim.DevicePath(), baud, seconds, f.libmodbusErrors);
  f.ok = true;
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 5;
  double turnaroundMs = 1.0;
  double usbLatencyMs = 0;
  bool withLibmodbus = true;
  std::vector<uint32_t> bauds;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--seconds" && i + 1 < argc) seconds = std::atof(argv[++i]);
    else if (a == "--baud" && i + 1 < argc) bauds.push_back(static_cast<uint32_t>(std::atol(argv[++i])));
    else if (a == "--turnaround" && i + 1 < argc) turnaroundMs = std::atof(argv[++i]);
    else if (a == "--usb-latency" && i + 1 < argc) usbLatencyMs = std::atof(argv[++i]);
    else if (a == "--no-libmodbus") withLibmodbus = false;
    else {
      std::fprintf(stderr, "usage: bench_polling [--seconds S] [--baud B]... [--turnaround MS] [--usb-latency MS] [--no-libmodbus]\n");
      return 2;
    }
  }
  if (bauds.empty()) bauds = {9600, 115200, 250000};
  int status = 0;
  std::printf("%-7s %9s %9s %7s %9s %10s %8s %10s %9s %9s\n", "baud", "cycles/s", "limit/s",
              "of lim", "retry/cy", "libmodbus", "mb errs", "connect ms", "limit ms", "load ms");
  for (const uint32_t baud : bauds) {
    const Figures f = Measure(baud, seconds, turnaroundMs, usbLatencyMs, withLibmodbus);
    if (!f.ok) {
      status = 1;
      continue;
    }
    std::printf("%-7u %9.2f %9.2f %6.1f%% %9.3f %10.2f %8d %10.1f %9.1f %9.1f\n", f.baud, f.cycleHz,
                f.limitHz, 100.0 * f.cycleHz / f.limitHz, f.retriesPerCycle, f.libmodbusHz,
                f.libmodbusErrors, f.connectMs, f.connectLimitMs, f.loadMs);
    std::printf("        connection sequence: %zu requests; polling: %d frames the drive did not answer\n",
                f.connectRequests, f.unanswered);
    std::fflush(stdout);
  }
  return status;
}
