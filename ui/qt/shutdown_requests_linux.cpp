#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QObject>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>

#include "ui/shutdown_requests.h"

namespace dd {
namespace {

constexpr int kEndSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Self-pipe: the handler only writes a byte, the event loop reads it.
int g_pipe[2] = {-1, -1};
std::atomic<int> g_signals{0};
static_assert(std::atomic<int>::is_always_lock_free, "used in a signal handler");

extern "C" void OnEndSignal(int signo) {
  if (g_signals.fetch_add(1) > 0) _exit(128 + signo);
  const int saved = errno;
  const char byte = static_cast<char>(signo);
  [[maybe_unused]] const ssize_t n = write(g_pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

struct ShutdownRequests::Platform {
  explicit Platform(int fd) : notifier(fd, QSocketNotifier::Read) {}
  QSocketNotifier notifier;
  struct sigaction previous[std::size(kEndSignals)] = {};
};

ShutdownRequests::ShutdownRequests(std::function<void()> onRequest) {
  if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  platform_ = std::make_unique<Platform>(g_pipe[0]);
  QObject::connect(&platform_->notifier, &QSocketNotifier::activated, &platform_->notifier,
                   [onRequest = std::move(onRequest)] {
                     char byte = 0;
                     while (read(g_pipe[0], &byte, 1) > 0) {
                     }
                     onRequest();
                   });
  struct sigaction action = {};
  action.sa_handler = OnEndSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < std::size(kEndSignals); ++i) {
    sigaction(kEndSignals[i], nullptr, &platform_->previous[i]);
    // Started with the signal ignored (nohup, a shell's background job): keep it so.
    if (platform_->previous[i].sa_handler == SIG_IGN) continue;
    sigaction(kEndSignals[i], &action, nullptr);
  }
}

ShutdownRequests::~ShutdownRequests() {
  if (!platform_) return;
  for (std::size_t i = 0; i < std::size(kEndSignals); ++i) {
    sigaction(kEndSignals[i], &platform_->previous[i], nullptr);
  }
  platform_.reset();
  close(g_pipe[0]);
  close(g_pipe[1]);
  g_pipe[0] = g_pipe[1] = -1;
}

}  // namespace dd
