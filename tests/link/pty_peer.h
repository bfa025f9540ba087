// Test support on pseudo-terminals: a pair whose slave side our transport opens by path,
// and a scripted drive on its master side.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "link/drive_catalog.h"

namespace dd::test {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// "01 06 00 40" -> bytes; and back, upper-case, blank-separated.
Bytes Hex(std::string_view text);
std::string ToHex(std::span<const uint8_t> bytes);
// Appends the CRC-16/MODBUS (low byte first).
Bytes WithCrc(Bytes frame);
inline Bytes WithCrc(std::string_view hex) { return WithCrc(Hex(hex)); }
// A read reply with a valid CRC carrying `data`.
Bytes ReadReply(uint8_t address, uint8_t function, std::span<const uint8_t> data);
// Up to `count` bytes from fd, whatever came before the deadline.
Bytes ReadUpTo(int fd, std::size_t count, Clock::time_point deadline);

class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;
  int master() const { return master_; }
  const std::string& slavePath() const { return slavePath_; }
  int pendingAtSlave() const;  // bytes waiting in the slave's input queue

 private:
  int master_ = -1;
  // Holds the slave open all along, so the master never sees a hang-up between our opens.
  int keeper_ = -1;
  std::string slavePath_;
};

struct PeerAnswer {
  Bytes bytes;                          // nothing = stay silent
  std::chrono::milliseconds delay{0};   // before answering
};

// A drive stand-in on the master side of a pty: every request goes to the handler, its
// answer goes back. Runs until destroyed.
class ScriptedPeer {
 public:
  using Handler = std::function<PeerAnswer(const Bytes& request)>;
  ScriptedPeer(int masterFd, Handler handler);
  ~ScriptedPeer();
  std::vector<Bytes> requests() const;
  bool waitForRequests(std::size_t count, std::chrono::milliseconds within) const;
  bool waitIdle(std::chrono::milliseconds within) const;  // every answer so far written

 private:
  bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds within) const;
  void run();
  int fd_;
  Handler handler_;
  std::atomic<bool> stop_{false};
  std::size_t answered_ = 0;
  mutable std::mutex mutex_;
  std::vector<Bytes> requests_;
  std::thread thread_;
};

// A healthy drive: echoes writes, answers reads with `data`.
ScriptedPeer::Handler Answering(Bytes data);
// Calls any catalogued operation at address 1; reads into i or d, writes send `write`.
CommandResult CallOperation(const DriveOperation& op, SerialHandle port, int32_t& i, double& d,
                            double write = 1);

}  // namespace dd::test
