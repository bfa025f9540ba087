// One probe of a bus address for the drive search: the drive-model read, sent once and
// read under the transport's own time-outs. Unlike Transact it keeps no guard after a
// silent address (a search meets hundreds in a row, and the guard would triple its
// time); instead a reply must come from the address asked, so a late reply of another
// drive is told apart, and named, rather than taken.
#pragma once

#include <cstdint>

#include "link/serial_port.h"

namespace dd {

enum class ProbeResult {
  Answered,      // a drive at this address gave its model
  Silent,        // not a byte came
  Garbled,       // bytes came but no valid answer (short, corrupt, exception): ask again
  OtherAddress,  // a valid reply from another address (`from`), late from an earlier probe
  NotSent,       // the request could not be written: the port is gone
};

struct ProbeReply {
  ProbeResult result = ProbeResult::Silent;
  double model = 0;  // Answered: the drive-model code
  uint8_t from = 0;  // OtherAddress: who answered
};

ProbeReply ProbeDriveModel(SerialHandle port, uint8_t address);

}  // namespace dd
