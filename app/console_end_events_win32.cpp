#include "app/console_end_events.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>

namespace dd {
namespace {

// The handler is a plain function: its state lives here, set before it is installed.
std::function<void()> g_request;
HANDLE g_done = nullptr;
std::atomic<int> g_events{0};
// Windows gives up on a close, logoff or shutdown handler after about 5 s anyway.
constexpr DWORD kLongestWaitMs = 10000;

BOOL WINAPI OnConsoleEvent(DWORD type) {
  const bool endsOnReturn =
      type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT;
  if (!endsOnReturn && type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  if (g_events.fetch_add(1) > 0) ::ExitProcess(STATUS_CONTROL_C_EXIT);
  g_request();
  if (endsOnReturn) ::WaitForSingleObject(g_done, kLongestWaitMs);
  return TRUE;
}

}  // namespace

ConsoleEndEvents::ConsoleEndEvents(std::function<void()> request) {
  g_request = std::move(request);
  g_done = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  g_events = 0;
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

ConsoleEndEvents::~ConsoleEndEvents() {
  ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  Done();
  ::CloseHandle(g_done);
  g_done = nullptr;
}

void ConsoleEndEvents::Done() {
  if (g_done != nullptr) ::SetEvent(g_done);
}

}  // namespace dd
