// Pieces shared by the POSIX transport and the POSIX port inspection only.
#pragma once

#include <string>

#include "link/serial_port.h"

namespace dd {

// Probes a device as ProbePort does: 0 when it opened exclusively (and is closed again),
// else why not: ENOENT missing, EACCES/EPERM no permission, EBUSY held, ENOTTY not a
// terminal, or another errno.
int ProbeDevice(const std::string& device);

// Lowers the USB adapter's latency timer behind `device` to 1 ms where the driver has
// one above that and it may be written.
LatencyTimerState LowerLatencyTimer(const std::string& device);

}  // namespace dd
