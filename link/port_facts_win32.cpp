// Port facts on Win32: only what the open says; no lock files, no adapter details.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "link/port_facts.h"

namespace dd {

PortFacts InspectPort(const std::string& device) {
  PortFacts facts;
  facts.device = device;
  facts.resolved = device;
  if (device.empty()) return facts;
  HANDLE h = ::CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE && h != nullptr) {
    ::CloseHandle(h);
    facts.access = PortAccess::Usable;
  } else if (::GetLastError() == ERROR_ACCESS_DENIED || ::GetLastError() == ERROR_SHARING_VIOLATION) {
    // A COM port that another program holds answers "access denied".
    facts.access = PortAccess::InUse;
  }
  return facts;
}

}  // namespace dd
