// Win32 transport over the kernel32 communications calls. The handle is the HANDLE's
// value; INVALID_HANDLE_VALUE never leaves this file.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <string>

#include "link/serial_port.h"

namespace dd {
namespace {

HANDLE HandleOf(SerialHandle handle) { return reinterpret_cast<HANDLE>(handle); }

// Exclusive (share mode 0), synchronous. 0 when missing or held by another program.
SerialHandle OpenDevice(const std::string& device) {
  if (device.empty()) return 0;
  HANDLE h = ::CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) return 0;
  return reinterpret_cast<SerialHandle>(h);
}

}  // namespace

std::string PortDeviceName(int32_t portNumber) {
  if (portNumber < 1) return {};
  // One prefix for all numbers: COM10 and above need it, COM1-9 accept it.
  return "\\\\.\\COM" + std::to_string(portNumber);
}

SerialHandle OpenPort(int32_t portNumber, int32_t baudRate, int16_t dataBits, int16_t stopBits,
                      int16_t parity) {
  return OpenPortByPath(PortDeviceName(portNumber), baudRate, dataBits, stopBits, parity);
}

SerialHandle OpenPortByPath(const std::string& device, int32_t baudRate, int16_t dataBits,
                            int16_t stopBits, int16_t parity) {
  const SerialHandle handle = OpenDevice(device);
  if (handle == 0) return 0;
  // Refused settings leave the port open with what the system accepted.
  (void)ConfigurePort(handle, baudRate, dataBits, stopBits, parity, 26);
  (void)SetPortTimeouts(handle, 2, 3);
  return handle;
}

SerialHandle ProbePort(int32_t portNumber) {
  const SerialHandle handle = OpenDevice(PortDeviceName(portNumber));
  if (handle == 0) return 0;
  ::CloseHandle(HandleOf(handle));
  return handle;  // only "non-zero": the handle is closed
}

void ClosePort(SerialHandle& handle) {
  if (handle == 0) return;
  ::CloseHandle(HandleOf(handle));
  handle = 0;
}

// Win32 drivers keep their latency setting in the device's own properties.
LatencyTimerState LatencyTimerOf(SerialHandle) { return {}; }

bool ConfigurePort(SerialHandle handle, int32_t baudRate, int16_t dataBits, int16_t stopBits,
                   int16_t parity, int16_t eofChar) {
  if (handle == 0 || baudRate <= 0) return false;
  DCB dcb{};
  dcb.DCBlength = sizeof(dcb);
  // A port whose state cannot be read (Wine on a pseudo-terminal) still gets the settings.
  if (!::GetCommState(HandleOf(handle), &dcb)) {
    dcb = DCB{};
    dcb.DCBlength = sizeof(dcb);
    dcb.fBinary = TRUE;
    // As Windows opens a port: adapters that draw power or direction from them need both.
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
  }
  dcb.BaudRate = static_cast<DWORD>(baudRate);
  dcb.ByteSize = static_cast<BYTE>(dataBits);
  dcb.Parity = static_cast<BYTE>(parity);
  dcb.StopBits = static_cast<BYTE>(stopBits);
  dcb.EofChar = static_cast<char>(eofChar);
  return ::SetCommState(HandleOf(handle), &dcb) != 0;
}

int32_t PortBaudRate(SerialHandle handle) {
  DCB dcb{};
  dcb.DCBlength = sizeof(dcb);
  if (handle == 0 || !::GetCommState(HandleOf(handle), &dcb)) return 0;
  return static_cast<int32_t>(dcb.BaudRate);
}

bool SetPortTimeouts(SerialHandle handle, int32_t readTimeoutMs, int32_t writeTimeoutMs) {
  if (handle == 0 || readTimeoutMs < 0 || writeTimeoutMs < 0) return false;
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = static_cast<DWORD>(readTimeoutMs);
  timeouts.ReadTotalTimeoutMultiplier = static_cast<DWORD>(readTimeoutMs);
  timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(readTimeoutMs);
  timeouts.WriteTotalTimeoutMultiplier = static_cast<DWORD>(writeTimeoutMs);
  timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(writeTimeoutMs);
  return ::SetCommTimeouts(HandleOf(handle), &timeouts) != 0;
}

int32_t WriteFrame(SerialHandle handle, const uint8_t* data, std::size_t size) {
  if (handle == 0 || data == nullptr || size == 0) return 0;
  DWORD written = 0;
  // On a write time-out the call fails but still reports what went out.
  (void)::WriteFile(HandleOf(handle), data, static_cast<DWORD>(size), &written, nullptr);
  return static_cast<int32_t>(written);
}

int32_t ReadReply(SerialHandle handle, uint8_t* buffer, int32_t expected) {
  if (handle == 0 || buffer == nullptr || expected <= 0) return 0;
  DWORD received = 0;
  // One call: what it delivers within the time-outs is the reply.
  (void)::ReadFile(HandleOf(handle), buffer, static_cast<DWORD>(expected), &received, nullptr);
  return static_cast<int32_t>(received);
}

int32_t TakePending(SerialHandle handle, uint8_t* buffer, int32_t max) {
  if (handle == 0 || buffer == nullptr || max <= 0) return 0;
  DWORD errors = 0;
  COMSTAT status{};
  if (::ClearCommError(HandleOf(handle), &errors, &status) == 0 || status.cbInQue == 0) return 0;
  DWORD received = 0;
  // Only what is queued: the read returns without waiting for its time-outs.
  const DWORD want = std::min<DWORD>(status.cbInQue, static_cast<DWORD>(max));
  (void)::ReadFile(HandleOf(handle), buffer, want, &received, nullptr);
  return static_cast<int32_t>(received);
}

void PurgePort(SerialHandle handle, bool purgeReceive, bool purgeTransmit) {
  if (handle == 0) return;
  DWORD flags = 0;
  if (purgeReceive) flags |= PURGE_RXABORT | PURGE_RXCLEAR;
  if (purgeTransmit) flags |= PURGE_TXABORT | PURGE_TXCLEAR;
  if (flags != 0) ::PurgeComm(HandleOf(handle), flags);
}

}  // namespace dd
