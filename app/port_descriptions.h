// What the window says about serial ports beyond the fixed messages: the tooltip of a
// port list entry, the line that names devices without permission when discovery finds
// nothing usable, and the notice when an adapter's latency timer stays high.
#pragma once

#include <string>
#include <vector>

#include "link/port_facts.h"
#include "link/serial_port.h"

namespace dd {

// Device, adapter (maker, product, USB id, serial number) and latency timer, one fact a line.
std::string PortToolTip(const PortFacts& facts);
// A line naming the devices this user may not open and the groups to join, and one for
// devices no group may open (a udev rule must give them to one); "" when `denied` holds none.
std::string NoPermissionLine(const std::vector<PortFacts>& denied);
// Owner and mode of a device, e.g. "root 600".
std::string ModeText(const PortFacts& facts);
// Notice for an open that could not lower the latency timer; "" when nothing to say.
std::string LatencyNotice(const LatencyTimerState& latency);

}  // namespace dd
