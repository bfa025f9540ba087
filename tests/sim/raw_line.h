// Test-side master on the simulator's pty that sends and receives raw bytes, so frames
// can be checked byte for byte without any Modbus code of ours in between.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/link/pty_peer.h"

namespace dd::test {

class RawLine {
 public:
  // Opens the device raw at `baud`, 8 data bits, parity even or odd.
  RawLine(const std::string& device, uint32_t baud, bool oddParity = false);
  ~RawLine();
  RawLine(const RawLine&) = delete;
  RawLine& operator=(const RawLine&) = delete;
  bool IsOpen() const { return fd_ >= 0; }
  bool Send(const std::vector<uint8_t>& bytes);
  // Collects bytes until `count` have arrived or `timeout` passes.
  std::vector<uint8_t> Receive(std::size_t count, std::chrono::milliseconds timeout);

 private:
  int fd_ = -1;
};

}  // namespace dd::test
