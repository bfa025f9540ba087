// The slave side of Modbus RTU: recognising a request frame and answering it from
// the drive model.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/drive_model.h"

namespace dd {

struct SlaveRequest {
  uint8_t address = 0;
  uint8_t function = 0;
  uint16_t reg = 0;
  uint16_t count = 0;
  uint64_t value = 0;           // fn 6 word, or fn 16 registers big-endian (first four)
  std::vector<uint16_t> words;  // fn 16 payload
  uint8_t malformed = 0;        // exception code for a well-framed but invalid request
};

// False when the frame is not one for us: too short, bad CRC, or another address
// (address 0, broadcast, is accepted).
bool ParseRequest(const std::vector<uint8_t>& frame, uint8_t slaveAddress, SlaveRequest& out);
// True if `frame` is exactly one complete request with a valid CRC, so it can be
// served without waiting for the end-of-frame silence.
bool IsCompleteRequest(const std::vector<uint8_t>& frame);
// Executes the request; returns the reply (exception reply when `exceptionCode` is set).
std::vector<uint8_t> Execute(DriveModel& drive, const SlaveRequest& request,
                             uint8_t& exceptionCode);
std::vector<uint8_t> ExceptionReply(uint8_t address, uint8_t function, uint8_t code);

}  // namespace dd
