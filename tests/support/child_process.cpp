#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace dd::test {

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
  int pipes[3][2];  // the child's standard input, output and error
  for (auto& p : pipes) {
    if (pipe2(p, O_CLOEXEC) != 0) return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int i = 0; i < 3; ++i) posix_spawn_file_actions_adddup2(&actions, pipes[i][i == 0 ? 0 : 1], i);
  std::vector<std::string> copy = argv;
  std::vector<char*> args;
  for (auto& a : copy) args.push_back(a.data());
  args.push_back(nullptr);
  if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = 0;
  posix_spawn_file_actions_destroy(&actions);
  for (int i = 0; i < 3; ++i) close(pipes[i][i == 0 ? 0 : 1]);
  stdin_ = pipes[0][1];
  stdout_ = pipes[1][0];
  stderr_ = pipes[2][0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  for (int fd : {stdin_, stdout_, stderr_}) {
    if (fd >= 0) close(fd);
  }
}

// Reads what is there within the time-out; false once both pipes have ended.
bool ChildProcess::Collect(int timeoutMs) {
  if (stdout_ < 0 && stderr_ < 0) return false;
  pollfd fds[2] = {{stdout_, POLLIN, 0}, {stderr_, POLLIN, 0}};
  if (poll(fds, 2, timeoutMs) <= 0) return true;
  for (int i = 0; i < 2; ++i) {
    if (fds[i].fd < 0 || fds[i].revents == 0) continue;
    char buf[512];
    const ssize_t n = read(fds[i].fd, buf, sizeof buf);
    if (n > 0) {
      (i == 0 ? out_ : err_).append(buf, static_cast<std::size_t>(n));
    } else {
      close(fds[i].fd);
      (i == 0 ? stdout_ : stderr_) = -1;
    }
  }
  return stdout_ >= 0 || stderr_ >= 0;
}

std::string ChildProcess::ReadLine(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto nl = out_.find('\n', lineStart_);
    if (nl != std::string::npos) {
      std::string line = out_.substr(lineStart_, nl - lineStart_);
      lineStart_ = nl + 1;
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !Collect(static_cast<int>(left.count()))) return {};
  }
}

void ChildProcess::Type(const std::string& line) {
  const std::string text = line + "\n";
  [[maybe_unused]] const ssize_t n = write(stdin_, text.data(), text.size());
}

int ChildProcess::WaitExit(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = 0;
      for (int i = 0; i < 100 && Collect(10); ++i) {
      }
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    Collect(10);  // a short timed wait that also drains the pipes
  }
  return -1;
}

}  // namespace dd::test
