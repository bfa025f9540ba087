// Requests to end the program that Windows delivers as console and session events:
// Ctrl-C, Ctrl-Break, the console window closed, logoff and shutdown (what SIGINT,
// SIGTERM and SIGHUP are on Linux). They arrive on a thread of their own, and Windows
// ends the process as soon as the handler returns from a close, logoff or shutdown
// event, so the handler waits there until the orderly end reports it is done (Windows
// itself waits about 5 s, the deadline of the orderly end). Windows only.
#pragma once

#include <functional>

namespace dd {

class ConsoleEndEvents {
 public:
  // Installs the handler. `request` runs on the event's thread, once, and must only
  // hand the request on (e.g. queue a call to the UI thread). A second event while the
  // first is handled ends the process at once. One instance at a time.
  explicit ConsoleEndEvents(std::function<void()> request);
  ~ConsoleEndEvents();
  ConsoleEndEvents(const ConsoleEndEvents&) = delete;
  ConsoleEndEvents& operator=(const ConsoleEndEvents&) = delete;

  // The orderly end is done: a handler waiting for it returns. Any thread.
  static void Done();
};

}  // namespace dd
