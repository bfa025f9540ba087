// Serial port transport: one numbered port, opened exclusively, 8E1 raw, with the
// fixed read/write time-outs the drive protocol is built on. No state of its own:
// the caller keeps the handle (0 = no port).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dd {

// Integer handle of an open port; 0 means no port. On POSIX it is a file
// descriptor (never 0), on Win32 the HANDLE's value.
using SerialHandle = std::intptr_t;

// Device behind "COMn": on Win32 "\\.\COMn"; on POSIX see ComPortDevice() in com_port_map.h.
std::string PortDeviceName(int32_t portNumber);

// Opens COMn exclusively and applies baud rate, data bits, stop-bits code (0 = one)
// and parity code (2 = even), then the time-outs (read 2, write 3). Returns 0 on failure.
SerialHandle OpenPort(int32_t portNumber, int32_t baudRate, int16_t dataBits, int16_t stopBits,
                      int16_t parity);
// Same, but by device path (POSIX path or Win32 device name). Used by tools and tests.
SerialHandle OpenPortByPath(const std::string& device, int32_t baudRate, int16_t dataBits,
                            int16_t stopBits, int16_t parity);
// Non-zero if COMn exists and could be opened exclusively right now; leaves it closed.
SerialHandle ProbePort(int32_t portNumber);
void ClosePort(SerialHandle& handle);
bool ConfigurePort(SerialHandle handle, int32_t baudRate, int16_t dataBits, int16_t stopBits,
                   int16_t parity, int16_t eofChar);
// The baud rate the port runs at now, whatever else a ConfigurePort took; 0 when it
// cannot be told.
int32_t PortBaudRate(SerialHandle handle);
bool SetPortTimeouts(SerialHandle handle, int32_t readTimeoutMs, int32_t writeTimeoutMs);
// Writes all bytes in one call; returns the count written (0 if none or refused).
int32_t WriteFrame(SerialHandle handle, const uint8_t* data, std::size_t size);
// One read of up to `expected` bytes under the installed time-outs; returns the count.
int32_t ReadReply(SerialHandle handle, uint8_t* buffer, int32_t expected);
void PurgePort(SerialHandle handle, bool purgeReceive, bool purgeTransmit);
// Takes up to `max` bytes that have already arrived, without waiting; returns the count.
// What a purge would throw away, so that whoever watches the bus can see it first.
int32_t TakePending(SerialHandle handle, uint8_t* buffer, int32_t max);

// The USB adapter's receive latency timer as the open found and left it. An adapter
// that holds bytes for up to 16 ms slows every exchange, so the open lowers it to 1 ms
// where it may.
struct LatencyTimerState {
  int foundMs = -1;       // -1: no latency timer (not a USB-serial adapter, or not Linux)
  int nowMs = -1;
  std::string attribute;  // the sysfs file
  bool NotLowered() const { return nowMs > 1; }
};
LatencyTimerState LatencyTimerOf(SerialHandle handle);

}  // namespace dd
