// drivedesk --log FILE: appends every frame of the bus log to a text file from a thread of
// its own, so a slow disk never holds up a worker. What came is written and flushed at
// least every kFlushInterval, and all of it when the writer stops.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/bus_log.h"

namespace dd {

class BusLogFile {
 public:
  static constexpr std::chrono::milliseconds kFlushInterval{200};

  // Opens `path` for appending and starts writing the records pushed from now on.
  // nullptr, with the reason in `error`, when the file cannot be written.
  static std::unique_ptr<BusLogFile> Open(BusLog& log, const std::string& path, std::string& error);
  ~BusLogFile();  // Stop()
  BusLogFile(const BusLogFile&) = delete;
  BusLogFile& operator=(const BusLogFile&) = delete;

  // Writes what is left, flushes and closes. Safe to call more than once.
  void Stop();
  // Records lost because the writer fell a whole ring behind.
  uint64_t Dropped() const { return dropped_.load(); }
  // False once a write failed (disk full, file gone); the writer then stops writing.
  bool Healthy() const { return healthy_.load(); }

 private:
  BusLogFile(BusLog& log, std::FILE* file);
  void Run();
  bool WritePending();

  BusLog& log_;
  std::FILE* file_;
  uint64_t cursor_;
  std::atomic<uint64_t> dropped_{0};
  std::atomic<bool> healthy_{true};
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread writer_;
};

}  // namespace dd
