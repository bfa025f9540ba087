// Where "COMn" lives on a POSIX system.
//
// 1. A link (or any file) named COMn in the port directory wins. The directory is
//    /tmp/drivedesk-ports unless the environment variable DRIVEDESK_PORT_DIR names another
//    one; the simulator and users with unusual devices create such links there, e.g.
//    ln -s /dev/ttyUSB3 /tmp/drivedesk-ports/COM7.
// 2. Otherwise a fixed default table: COM1-8 -> /dev/ttyS0-7, COM9-24 -> /dev/ttyUSB0-15,
//    COM25-32 -> /dev/ttyACM0-7. Setting DRIVEDESK_PORT_DEFAULTS=0 switches the table off,
//    so that tests and demos see only the links of the port directory.
// USB-RS485 adapters (/dev/ttyUSB*, /dev/ttyACM*) belong to group dialout: a user in that
// group opens them without root.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dd {

inline constexpr int32_t kFirstComPort = 1;
inline constexpr int32_t kLastComPort = 32;
inline constexpr const char* kDefaultPortDirectory = "/tmp/drivedesk-ports";

// The port directory: $DRIVEDESK_PORT_DIR if set and not empty, else the default.
std::string PortDirectory();
// Device path for COMn, n in 1..32; empty when n is out of range or has no device
// (no link and the default table switched off).
std::string ComPortDevice(int32_t portNumber);
// The default table alone: e.g. 9 -> "/dev/ttyUSB0"; empty outside 1..32.
std::string DefaultComPortDevice(int32_t portNumber);
// "COM12" (any letter case) -> 12; 0 for anything else, including numbers outside 1..32
// and leading zeros.
int32_t ComPortNumber(std::string_view name);

}  // namespace dd
