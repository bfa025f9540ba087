// Why a port does or does not open, and which adapter sits behind it: for drivectl's
// port list, the window's tooltips and the message when no port can be used.
#pragma once

#include <string>

namespace dd {

enum class PortAccess {
  Usable,        // opened exclusively just now (and closed again)
  Missing,       // no such device, or no hardware behind it
  NoPermission,  // exists, but this user may not open it (see `group`, `owner`, `mode`)
  InUse,         // held by another program (see holderPid where a lock file names it)
};

struct PortFacts {
  std::string device;      // as given (a COMn link, say)
  std::string resolved;    // links followed
  PortAccess access = PortAccess::Missing;
  std::string group;       // group owning the device
  std::string owner;       // user owning the device
  unsigned mode = 0;       // its permission bits, e.g. 0660
  int holderPid = 0;       // process named by the device's lock file, 0 when unknown
  std::string holderName;  // that process's name, "" when unknown
  std::string staleLock;   // a stale lock file that cannot be removed, "" when none
  std::string staleWhy;    // why it is stale and cannot be removed
  // Joining the group helps only when the group may read and write the device.
  bool GroupMayOpen() const { return (mode & 060) == 060; }
  // USB adapters only: from the USB device's descriptors.
  bool usb = false;
  std::string usbId;       // "0403:6001"
  std::string manufacturer;
  std::string product;
  std::string serial;
  // The USB-serial driver's receive latency timer in ms, -1 when the driver has none.
  int latencyTimerMs = -1;
  bool latencyWritable = false;
};

// Probes the device (an exclusive open that is closed again at once, lock file
// included) and reads what the system says about it. Reads sysfs below
// $DRIVEDESK_SYSFS_ROOT when set (tests), else /sys.
PortFacts InspectPort(const std::string& device);

}  // namespace dd
