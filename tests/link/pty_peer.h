// Test support: a pseudo-terminal pair whose slave side our transport opens by path, and
// a scripted drive on the master side that answers each request from a handler.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace dd::test {

using Bytes = std::vector<uint8_t>;

// "01 06 00 40" -> bytes; and back, upper-case, blank-separated.
Bytes Hex(std::string_view text);
std::string ToHex(std::span<const uint8_t> bytes);
// Appends the CRC-16/MODBUS (low byte first).
Bytes WithCrc(Bytes frame);
inline Bytes WithCrc(std::string_view hex) { return WithCrc(Hex(hex)); }

class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  int master() const { return master_; }
  const std::string& slavePath() const { return slavePath_; }
  // Bytes waiting in the slave's input queue.
  int pendingAtSlave() const;

 private:
  int master_ = -1;
  // Holds the slave open all along, so the master never sees a hang-up between our opens.
  int keeper_ = -1;
  std::string slavePath_;
};

// Reads one Modbus request (length from its function code) from fd; empty on deadline.
Bytes ReadRequest(int fd, std::chrono::steady_clock::time_point deadline);

struct PeerAnswer {
  Bytes bytes;                                // nothing = stay silent
  std::chrono::milliseconds delay{0};         // before answering
};

// A drive stand-in on the master side of a pty: every request goes to the handler, its
// answer goes back. Runs until destroyed.
class ScriptedPeer {
 public:
  using Handler = std::function<PeerAnswer(const Bytes& request)>;
  ScriptedPeer(int masterFd, Handler handler);
  ~ScriptedPeer();
  std::vector<Bytes> requests() const;
  // Waits until `count` requests have arrived (false on deadline).
  bool waitForRequests(std::size_t count, std::chrono::milliseconds within) const;
  // Waits until every answer so far has been written.
  bool waitIdle(std::chrono::milliseconds within) const;

 private:
  void run();
  int fd_;
  Handler handler_;
  std::atomic<bool> stop_{false};
  std::atomic<std::size_t> answered_{0};
  mutable std::mutex mutex_;
  std::vector<Bytes> requests_;
  std::thread thread_;
};

// A reply of the right length with a valid CRC for a read request of `count` registers.
Bytes ReadReply(uint8_t address, uint8_t function, std::span<const uint8_t> data);

}  // namespace dd::test
