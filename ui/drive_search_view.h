// What the "搜索驱动器" dialog shows and does, without a window, alike in both
// front-ends: its choices, the plan they make, the running search's snapshots as rows,
// a progress count and a status line, and taking a found drive. The dialogs only lay
// it out and call Poll() on a timer.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/drive_search.h"

namespace dd {

struct Session;

inline constexpr const char* kSearchColumns[] = {"串口", "波特率", "地址", "型号代码", "驱动器号"};
inline constexpr const char* kWholeAddressRange = "1-247";

class DriveSearchView {
 public:
  explicit DriveSearchView(Session& session);
  ~DriveSearchView();
  DriveSearchView(const DriveSearchView&) = delete;
  DriveSearchView& operator=(const DriveSearchView&) = delete;

  // "全部可用串口", then each port that opens now.
  const std::vector<std::string>& PortChoices() const { return portChoices_; }
  // The main window's port when it is among them, else 0 (all).
  int FirstPortChoice() const { return firstPort_; }
  // "全部（由快到慢）", then each rate, fastest first.
  static std::vector<std::string> BaudChoices();

  // Starts a search over the chosen port, rate and address range; false (after a
  // message) on bad input or while one runs.
  bool Start(int portChoice, int baudChoice, std::string_view range);
  // Stops the search within one transaction; what it found stays listed.
  void Cancel();
  // Takes the running search's snapshot (ten times a second); ends it when it has ended.
  void Poll();
  bool Running() const { return job_ != nullptr; }

  int Rows() const { return static_cast<int>(found_.size()); }
  std::array<std::string, 5> Row(int row) const;
  int64_t Done() const { return done_; }
  int64_t Total() const { return total_; }
  const std::string& Status() const { return status_; }

  // Takes the drive in `row` for "开启通信"; false (after a message when it could not be
  // taken) for no drive there or while searching.
  bool UseRow(int row);

 private:
  void Finish(const DriveSearchJob::Snapshot& last);

  Session& session_;
  std::vector<SearchPort> ports_;
  std::vector<std::string> portChoices_;
  int firstPort_ = 0;
  std::vector<FoundDrive> found_;
  std::unique_ptr<DriveSearchJob> job_;
  int64_t done_ = 0;
  int64_t total_ = 0;
  std::string status_;
};

}  // namespace dd
