// Windows: a named mutex of the session.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "app/single_instance.h"

namespace dd {

bool AcquireSingleInstance(const std::string& name) {
  // The handle stays open on purpose: the kernel closes it, and frees the name, when the
  // process ends, however it ends.
  HANDLE mutex = ::CreateMutexA(nullptr, FALSE, ("Local\\" + name + ".instance").c_str());
  return mutex != nullptr && ::GetLastError() != ERROR_ALREADY_EXISTS;
}

}  // namespace dd
