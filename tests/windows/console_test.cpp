// Console events under Wine. Wine delivers them only to a program on a terminal, so
// ctest runs this one under script(1); close, logoff and shutdown cannot be generated.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/console_end_events.h"

namespace dd {
namespace {

TEST(WindowsConsole, ctrlC_handsOneRequestOn_andTheProgramGoesOnToItsEnd) {
  std::atomic<int> requests{0};
  ConsoleEndEvents events([&] { ++requests; });
  ASSERT_TRUE(::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (requests == 0 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(requests, 1);
}

}  // namespace
}  // namespace dd
