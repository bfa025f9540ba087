#include "app/bus_log_file.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "app/bus_log_format.h"

namespace dd {

std::unique_ptr<BusLogFile> BusLogFile::Open(BusLog& log, const std::string& path,
                                             std::string& error) {
  std::FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "ab");
  if (file == nullptr) {
    error = "无法写入通信日志文件“" + path + "”：" +
            (path.empty() ? std::string("未给出文件名") : std::strerror(errno));
    return nullptr;
  }
  return std::unique_ptr<BusLogFile>(new BusLogFile(log, file));
}

BusLogFile::BusLogFile(BusLog& log, std::FILE* file)
    : log_(log), file_(file), cursor_(log.End()), writer_([this] { Run(); }) {}

BusLogFile::~BusLogFile() { Stop(); }

void BusLogFile::Stop() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (writer_.joinable()) writer_.join();
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
}

void BusLogFile::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    const bool stop = wake_.wait_for(lock, kFlushInterval, [this] { return stopping_; });
    lock.unlock();
    while (WritePending()) {
    }
    if (healthy_ && std::fflush(file_) != 0) healthy_ = false;
    lock.lock();
    if (stop) return;
  }
}

// One batch; true when more may be waiting.
bool BusLogFile::WritePending() {
  constexpr std::size_t kBatch = 4096;
  std::vector<BusRecord> records;
  records.reserve(kBatch);
  const uint64_t lost = log_.ReadFrom(cursor_, records, kBatch);
  if (!healthy_) return false;
  std::string text;
  if (lost > 0) {
    dropped_ += lost;
    text += DroppedLine(std::chrono::system_clock::now(), lost);
  }
  for (const BusRecord& record : records) AppendLogLines(record, text);
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
    healthy_ = false;
  }
  return records.size() == kBatch;
}

}  // namespace dd
