// drivesim: a simulated drive on a pseudo-terminal. The first line of stdout is the
// device path it serves; a small console on stdin toggles inputs, errors and faults.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "sim/sim_drive.h"

namespace {

using dd::SimConfig;
using dd::SimDrive;
using dd::SimFault;
using dd::SimSensorId;

const char kUsage[] =
    "usage: drivesim [options]\n"
    "  --com N               link COMN in the port directory ($DRIVEDESK_PORT_DIR,\n"
    "                        default /tmp/drivedesk-ports)\n"
    "  --baud B              drive line speed (default 115200)\n"
    "  --no-wire-time        answer at once, accept any line settings\n"
    "  --turnaround MS       turnaround delay (default 1)\n"
    "  --usb-latency MS      replies reach the master only every MS ms, as through a USB\n"
    "                        adapter's latency timer (FTDI default 16; default 0: at once)\n"
    "  --address A           slave address (default 1)\n"
    "  --drives A[:B],...    several drives on the one line, each at its address A\n"
    "                        (1 to 247) and line speed B (default --baud), each with\n"
    "                        its own state; the first is the one the console acts on\n"
    "  --model CODE          drive model code (default 10500000; 2nd digit 1: origin on Free)\n"
    "  --speed-coefficient K --teeth T --pulses-per-tooth P --pulse-length L\n"
    "  --max-current C --min-current C --cpu-temp T --error CODE\n"
    "  --drive-config W      register 0x0008 (default 8: limits mode)\n"
    "  --run-speed V --homing-speed V   speed units\n"
    "  --fixed-levels        sensor levels not configurable\n"
    "  --sensor-config W     initial SensorConfigWord\n"
    "  --near P --far P --origin P --origin-width W --start P   position units\n"
    "  --accel A             position units/s^2\n"
    "  --unwire near|far|origin   (repeatable)\n"
    "  --nc near|far|origin       the switch is normally closed (repeatable)\n"
    "  --fault KIND=P        chance per request: drop badcrc short late split\n"
    "                        exception silent vanish (repeatable)\n"
    "  --seed S\n"
    "console: near|far|origin on|off|auto, wire near|far|origin on|off,\n"
    "  sensor near|far|origin POS, error CODE, fault KIND [N|forever], odds KIND P,\n"
    "  fault clear, vanish, return, power, status, log [N], help, quit\n";

bool ParseFault(const std::string& name, SimFault& kind) {
  static const std::map<std::string, SimFault> kNames = {
      {"drop", SimFault::Drop},       {"badcrc", SimFault::BadCrc},
      {"short", SimFault::Short},     {"late", SimFault::Late},
      {"split", SimFault::Split},     {"exception", SimFault::Exception},
      {"silent", SimFault::Silent},   {"vanish", SimFault::Vanish}};
  const auto it = kNames.find(name);
  if (it == kNames.end()) return false;
  kind = it->second;
  return true;
}

bool ParseSensor(const std::string& name, SimSensorId& id) {
  if (name == "near") id = SimSensorId::NearLimit;
  else if (name == "far") id = SimSensorId::FarLimit;
  else if (name == "origin") id = SimSensorId::Origin;
  else return false;
  return true;
}

dd::SimSensor& SensorOf(SimConfig& c, SimSensorId id) {
  switch (id) {
    case SimSensorId::NearLimit: return c.axis.nearLimit;
    case SimSensorId::FarLimit: return c.axis.farLimit;
    case SimSensorId::Origin: break;
  }
  return c.axis.origin;
}

bool ToNumber(const std::string& text, double& out) {
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return !text.empty() && end != nullptr && *end == '\0';
}

bool ToUnsigned(const std::string& text, uint64_t& out, uint64_t max) {
  char* end = nullptr;
  if (text.empty() || text[0] == '-') return false;
  out = std::strtoull(text.c_str(), &end, 0);
  return end != nullptr && *end == '\0' && out <= max;
}

// "1,4:38400,38": the first drive becomes the config's own, the others join the line.
bool ParseDrives(const std::string& list, SimConfig& config) {
  std::vector<dd::SimBusDrive> drives;
  std::stringstream in(list);
  for (std::string item; std::getline(in, item, ',');) {
    const auto colon = item.find(':');
    uint64_t address = 0;
    uint64_t baud = 0;
    if (!ToUnsigned(item.substr(0, colon), address, 247) || address == 0) return false;
    if (colon != std::string::npos && (!ToUnsigned(item.substr(colon + 1), baud, 4000000) || baud == 0)) {
      return false;
    }
    for (const auto& d : drives) {
      if (d.address == address) return false;
    }
    drives.push_back({static_cast<uint8_t>(address), static_cast<uint32_t>(baud)});
  }
  if (drives.empty()) return false;
  config.slaveAddress = drives.front().address;
  if (drives.front().lineBaud != 0) config.lineBaud = drives.front().lineBaud;
  config.moreDrives.assign(drives.begin() + 1, drives.end());
  return true;
}

// Fills `config` from the command line; returns false with a message on bad input.
bool ParseArgs(int argc, char** argv, SimConfig& config, int& com, std::string& error) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--no-wire-time") { config.wireRealism = false; continue; }
    if (a == "--fixed-levels") { config.sensorLevelsConfigurable = false; continue; }
    if (a == "-h" || a == "--help") { error = "help"; return false; }
    if (i + 1 >= args.size()) { error = "missing value after " + a; return false; }
    const std::string v = args[++i];
    uint64_t u = 0;
    double d = 0;
    const auto unsignedArg = [&](uint64_t max) {
      if (!ToUnsigned(v, u, max)) error = "bad value for " + a + ": " + v;
      return error.empty();
    };
    const auto numberArg = [&] {
      if (!ToNumber(v, d)) error = "bad value for " + a + ": " + v;
      return error.empty();
    };
    SimSensorId id{};
    if (a == "--com") { if (!unsignedArg(255) || u == 0) { error = "bad port number " + v; return false; } com = static_cast<int>(u); }
    else if (a == "--baud") { if (!unsignedArg(4000000) || u == 0) { error = "bad baud rate " + v; return false; } config.lineBaud = static_cast<uint32_t>(u); }
    else if (a == "--turnaround") { if (!numberArg() || d < 0) return false; config.turnaroundMs = d; }
    else if (a == "--usb-latency") { if (!numberArg() || d < 0 || d > 1000) { error = "bad latency " + v; return false; } config.deliveryLatencyMs = d; }
    else if (a == "--address") { if (!unsignedArg(247) || u == 0) { error = "bad address " + v; return false; } config.slaveAddress = static_cast<uint8_t>(u); }
    else if (a == "--drives") { if (!ParseDrives(v, config)) { error = "bad drive list " + v + " (A[:BAUD],... with addresses 1 to 247, each once)"; return false; } }
    else if (a == "--model") { if (!unsignedArg(0xFFFFFFFFu)) return false; config.driveModel = static_cast<uint32_t>(u); }
    else if (a == "--speed-coefficient") { if (!unsignedArg(0xFFFF)) return false; config.speedCoefficient = static_cast<uint16_t>(u); }
    else if (a == "--teeth") { if (!unsignedArg(0xFFFF)) return false; config.motorTeeth = static_cast<uint16_t>(u); }
    else if (a == "--pulses-per-tooth") { if (!unsignedArg(0xFFFFFFFFu)) return false; config.pulsesPerTooth = static_cast<uint32_t>(u); }
    else if (a == "--pulse-length") { if (!unsignedArg(0xFFFFFFFFu) || u == 0) { error = "bad pulse length " + v; return false; } config.pulseLength = static_cast<uint32_t>(u); }
    else if (a == "--max-current") { if (!unsignedArg(0xFFFF)) return false; config.maxCurrent = static_cast<uint16_t>(u); }
    else if (a == "--min-current") { if (!unsignedArg(0xFFFF)) return false; config.minCurrent = static_cast<uint16_t>(u); }
    else if (a == "--cpu-temp") { if (!unsignedArg(0xFFFF)) return false; config.cpuTemperature = static_cast<uint16_t>(u); }
    else if (a == "--error") { if (!unsignedArg(0xFFFF)) return false; config.errorCode = static_cast<uint16_t>(u); }
    else if (a == "--drive-config") { if (!unsignedArg(0xFFFF)) return false; config.driveConfig = static_cast<uint16_t>(u); }
    else if (a == "--run-speed") { if (!unsignedArg(0xFFFF)) return false; config.runSpeed = static_cast<uint16_t>(u); }
    else if (a == "--homing-speed") { if (!unsignedArg(0xFFFF)) return false; config.homingSpeed = static_cast<uint16_t>(u); }
    else if (a == "--sensor-config") { if (!unsignedArg(~uint64_t{0})) return false; config.sensorConfig = u; }
    else if (a == "--near") { if (!numberArg()) return false; config.axis.nearLimit.position = d; }
    else if (a == "--far") { if (!numberArg()) return false; config.axis.farLimit.position = d; }
    else if (a == "--origin") { if (!numberArg()) return false; config.axis.origin.position = d; }
    else if (a == "--origin-width") { if (!numberArg() || d < 0) return false; config.axis.originWidth = d; }
    else if (a == "--start") { if (!numberArg()) return false; config.axis.startPosition = d; }
    else if (a == "--accel") { if (!numberArg() || d <= 0) { error = "bad acceleration " + v; return false; } config.axis.maxAccel = d; }
    else if (a == "--seed") { if (!unsignedArg(~uint64_t{0})) return false; config.seed = u; }
    else if (a == "--unwire" || a == "--nc") {
      if (!ParseSensor(v, id)) { error = "unknown sensor " + v + " (near, far, origin)"; return false; }
      if (a == "--unwire") SensorOf(config, id).wired = false;
      else SensorOf(config, id).normallyClosed = true;
    } else if (a == "--fault") {
      const auto eq = v.find('=');
      SimFault kind{};
      if (eq == std::string::npos || !ParseFault(v.substr(0, eq), kind) ||
          !ToNumber(v.substr(eq + 1), d) || d < 0 || d > 1) {
        error = "bad fault " + v + " (KIND=P, P from 0 to 1)";
        return false;
      }
      config.faultProbability[static_cast<std::size_t>(kind)] = d;
    } else {
      error = "unknown option " + a;
      return false;
    }
  }
  return true;
}

void PrintStatus(const SimDrive& sim) {
  std::printf("pos %.1f (true %.1f) target %.1f speed %d cw 0x%04X port 0x%04X "
              "near %d far %d origin %d %s\n",
              sim.DrivePosition(), sim.TruePosition(), sim.TargetPosition(),
              sim.SpeedRegister(), sim.ControlWord(), sim.PortStatus(),
              sim.InputActive(SimSensorId::NearLimit), sim.InputActive(SimSensorId::FarLimit),
              sim.InputActive(SimSensorId::Origin), sim.Vanished() ? "(vanished)" : "");
}

void PrintLog(const SimDrive& sim, std::size_t n) {
  const auto log = sim.Log();
  const std::size_t first = log.size() > n ? log.size() - n : 0;
  for (std::size_t i = first; i < log.size(); ++i) {
    const auto& e = log[i];
    std::printf("fn %u reg 0x%04X count %u value %llu outcome %d%s\n", e.function, e.reg,
                e.count, static_cast<unsigned long long>(e.value), static_cast<int>(e.outcome),
                e.fault ? " (fault)" : "");
  }
}

// Returns false on "quit".
bool Console(SimDrive& sim, const std::string& line) {
  std::istringstream in(line);
  std::string cmd, a, b;
  in >> cmd >> a >> b;
  SimSensorId id{};
  SimFault kind{};
  double d = 0;
  uint64_t u = 0;
  if (cmd.empty()) return true;
  if (cmd == "quit" || cmd == "exit") return false;
  if (cmd == "help") {
    std::fputs(kUsage, stdout);
  } else if (ParseSensor(cmd, id)) {
    if (a == "on") sim.ForceInput(id, true);
    else if (a == "off") sim.ForceInput(id, false);
    else if (a == "auto") sim.ForceInput(id, std::nullopt);
    else std::puts("use: near|far|origin on|off|auto");
  } else if (cmd == "wire" && ParseSensor(a, id) && (b == "on" || b == "off")) {
    sim.WireSensor(id, b == "on");
  } else if (cmd == "sensor" && ParseSensor(a, id) && ToNumber(b, d)) {
    sim.MoveSensor(id, d);
  } else if (cmd == "error" && ToUnsigned(a, u, 0xFFFF)) {
    sim.SetErrorCode(static_cast<uint16_t>(u));
  } else if (cmd == "fault" && a == "clear") {
    sim.ClearFaults();
  } else if (cmd == "fault" && ParseFault(a, kind)) {
    int count = 1;
    if (b == "forever") count = -1;
    else if (!b.empty() && ToUnsigned(b, u, 1000000)) count = static_cast<int>(u);
    else if (!b.empty()) { std::puts("use: fault KIND [N|forever]"); return true; }
    sim.ScriptFault(kind, count);
  } else if (cmd == "odds" && ParseFault(a, kind) && ToNumber(b, d) && d >= 0 && d <= 1) {
    sim.SetFaultProbability(kind, d);
  } else if (cmd == "vanish") {
    sim.Vanish();
  } else if (cmd == "return") {
    if (sim.Return()) std::printf("%s\n", sim.DevicePath().c_str());
    else std::puts("could not create a pseudo-terminal");
  } else if (cmd == "power") {
    sim.PowerCycle();
  } else if (cmd == "status") {
    PrintStatus(sim);
  } else if (cmd == "log") {
    PrintLog(sim, ToUnsigned(a, u, 100000) ? u : 10);
  } else {
    std::printf("unknown command: %s (help lists them)\n", line.c_str());
  }
  std::fflush(stdout);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  SimConfig config;
  int com = 0;
  std::string error;
  if (!ParseArgs(argc, argv, config, com, error)) {
    if (error == "help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    std::fprintf(stderr, "drivesim: %s\n%s", error.c_str(), kUsage);
    return 2;
  }

  // Signals arrive through a descriptor, so the end is always orderly.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  const int sigFd = signalfd(-1, &signals, SFD_CLOEXEC);
  signal(SIGPIPE, SIG_IGN);

  SimDrive sim(config);
  if (!sim.Start()) {
    std::fprintf(stderr, "drivesim: cannot create a pseudo-terminal\n");
    return 1;
  }
  if (com > 0 && !sim.LinkAsCom(com)) {
    std::fprintf(stderr, "drivesim: cannot create the link COM%d in %s\n", com,
                 SimDrive::PortDirectory().c_str());
    sim.Stop();
    return 1;
  }
  std::printf("%s\n", sim.DevicePath().c_str());
  std::fflush(stdout);
  if (com > 0) std::fprintf(stderr, "drivesim: COM%d -> %s\n", com, sim.DevicePath().c_str());

  bool stdinOpen = true;
  std::string pending;
  for (;;) {
    pollfd fds[2] = {{sigFd, POLLIN, 0}, {stdinOpen ? 0 : -1, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[0].revents & POLLIN) break;
    if (fds[1].revents != 0) {
      char buf[256];
      const ssize_t n = read(0, buf, sizeof buf);
      if (n <= 0) {
        stdinOpen = false;  // no console (e.g. started in the background): signals only
        continue;
      }
      pending.append(buf, static_cast<std::size_t>(n));
      bool quit = false;
      for (auto nl = pending.find('\n'); nl != std::string::npos; nl = pending.find('\n')) {
        const std::string line = pending.substr(0, nl);
        pending.erase(0, nl + 1);
        if (!Console(sim, line)) {
          quit = true;
          break;
        }
      }
      if (quit) break;
    }
  }
  sim.Stop();
  if (sigFd >= 0) close(sigFd);
  return 0;
}
