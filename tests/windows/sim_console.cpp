#include "tests/windows/sim_console.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace dd::test {
namespace {

// Wine maps the Unix root to drive Z:.
std::string FromEnvironment(const char* name) {
  const char* unixPath = std::getenv(name);
  std::string path = "Z:";
  for (const char* c = unixPath != nullptr ? unixPath : ""; *c != '\0'; ++c) {
    path += *c == '/' ? '\\' : *c;
  }
  return path;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string SimCommand(const std::string& line) {
  const std::string output = FromEnvironment("DRIVESIM_OUTPUT");
  const std::size_t before = ReadAll(output).size();
  // "status" answers with one "pos ..." line: when it shows, `line` has been handled.
  const std::string text = line + "\nstatus\n";
  HANDLE console = ::CreateFileA(FromEnvironment("DRIVESIM_CONSOLE").c_str(), GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                 nullptr);
  DWORD written = 0;
  const bool sent = console != INVALID_HANDLE_VALUE &&
                    ::WriteFile(console, text.data(), static_cast<DWORD>(text.size()), &written,
                                nullptr) != 0;
  if (console != INVALID_HANDLE_VALUE) ::CloseHandle(console);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (sent && std::chrono::steady_clock::now() < end) {
    const std::string now = ReadAll(output);
    const std::size_t status = now.rfind("pos ");
    if (status != std::string::npos && status >= before && now.back() == '\n') {
      return now.substr(before, status - before);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ADD_FAILURE() << "the simulated drive did not handle \"" << line << "\"";
  return {};
}

}  // namespace dd::test
