// Any bytes as a request frame to the simulated drive: recognising, parsing and
// executing it never crash, and whatever the drive answers is a well-formed reply.
// The first byte chooses whether a correct CRC is appended, so most inputs get past
// the CRC check into the parser.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "link/modbus_rtu.h"
#include "sim/drive_model.h"
#include "sim/modbus_slave.h"
#include "sim/sim_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<uint8_t> frame(data + 1, data + size);
  if ((data[0] & 1) != 0) {
    const std::size_t n = frame.size();
    frame.resize(n + 2);
    dd::AppendCrc(frame.data(), n);
  }
  (void)dd::IsCompleteRequest(frame);
  dd::SlaveRequest request;
  if (!dd::ParseRequest(frame, 1, request)) return 0;
  if (request.address != 1 && request.address != 0) std::abort();
  dd::DriveModel drive{dd::SimConfig{}};
  uint8_t exceptionCode = 0;
  const std::vector<uint8_t> reply = dd::Execute(drive, request, exceptionCode);
  if (reply.size() < 5 || !dd::CheckCrc(reply.data(), reply.size())) std::abort();
  if (reply[0] != request.address) std::abort();
  if (exceptionCode != 0) {
    if (reply.size() != 5 || reply[1] != (request.function | 0x80) || reply[2] != exceptionCode)
      std::abort();
  } else if (reply[1] != request.function) {
    std::abort();
  } else if (request.function == 3 || request.function == 4) {
    if (reply[2] != 2 * request.count || reply.size() != 5u + reply[2]) std::abort();
  }
  return 0;
}
