// A program run as a child process with pipes on its standard input, output and error,
// for the tests of drivectl and drivesim.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace dd::test {

class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv);  // argv[0]: the program
  ~ChildProcess();  // kills it if still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }
  // The next line of standard output; empty on time-out or end.
  std::string ReadLine(std::chrono::milliseconds timeout);
  void Type(const std::string& line);
  // Exit status once it ended (128 + signal if killed), collecting its output meanwhile;
  // -1 on time-out.
  int WaitExit(std::chrono::milliseconds timeout);
  const std::string& Out() const { return out_; }
  const std::string& Err() const { return err_; }

 private:
  bool Collect(int timeoutMs);
  pid_t pid_ = 0;
  int stdin_ = -1, stdout_ = -1, stderr_ = -1;
  std::string out_, err_;
  std::size_t lineStart_ = 0;
};

}  // namespace dd::test
