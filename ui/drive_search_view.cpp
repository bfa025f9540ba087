#include "ui/drive_search_view.h"

#include <cmath>
#include <iterator>

#include "app/drive_address.h"
#include "app/number_text.h"
#include "app/session.h"

namespace dd {

DriveSearchView::DriveSearchView(Session& session) : session_(session), ports_(UsableSearchPorts()) {
  portChoices_.push_back("全部可用串口");
  const std::string chosen = session_.controls.ComboText(Control::PortList);
  for (const SearchPort& p : ports_) {
    portChoices_.push_back(p.name);
    if (p.name == chosen) firstPort_ = static_cast<int>(portChoices_.size()) - 1;
  }
}

DriveSearchView::~DriveSearchView() = default;

std::vector<std::string> DriveSearchView::BaudChoices() {
  std::vector<std::string> choices{"全部（由快到慢）"};
  for (const int32_t b : kSearchBaudRates) choices.push_back(std::to_string(b));
  return choices;
}

bool DriveSearchView::Start(int portChoice, int baudChoice, std::string_view rangeText) {
  if (job_) return false;
  std::string error;
  const auto range = ParseAddressRange(rangeText, error, true);
  if (!range) {
    session_.Message(MessageIcon::Error, kSearchTitle, "    " + error + "；");
    return false;
  }
  SearchPlan plan;
  plan.addresses = *range;
  if (portChoice <= 0 || portChoice > static_cast<int>(ports_.size())) {
    plan.ports = ports_;
  } else {
    plan.ports = {ports_[static_cast<std::size_t>(portChoice - 1)]};
  }
  if (plan.ports.empty()) {
    session_.Message(MessageIcon::Error, kSearchTitle, "    没有可用的串口；");
    return false;
  }
  if (baudChoice <= 0 || baudChoice > static_cast<int>(std::size(kSearchBaudRates))) {
    plan.bauds.assign(std::begin(kSearchBaudRates), std::end(kSearchBaudRates));
  } else {
    plan.bauds = {kSearchBaudRates[baudChoice - 1]};
  }
  found_.clear();
  done_ = 0;
  total_ = plan.ProbeCount();
  job_ = std::make_unique<DriveSearchJob>(std::move(plan));
  status_ = "正在搜索…";
  return true;
}

void DriveSearchView::Cancel() {
  if (job_) Finish(job_->Stop());
}

void DriveSearchView::Poll() {
  if (!job_) return;
  const DriveSearchJob::Snapshot snap = job_->Take();
  found_ = snap.found;
  const SearchProgress& p = snap.progress;
  done_ = p.done;
  if (p.baud != 0) {
    status_ = p.port + "，波特率 " + std::to_string(p.baud) + "，地址 " + std::to_string(p.address) + "；每秒 " +
              std::to_string(std::lround(p.probesPerSecond)) + " 个地址，约剩 " +
              std::to_string(std::lround(std::ceil(p.secondsLeft))) + " 秒";
  }
  if (snap.outcome) Finish(snap);
}

void DriveSearchView::Finish(const DriveSearchJob::Snapshot& last) {
  job_.reset();
  const SearchOutcome outcome = last.outcome.value_or(SearchOutcome{SearchEnd::Cancelled, last.found, "", ""});
  // The progress is reported before each probe: a finished search has done them all.
  done_ = outcome.end == SearchEnd::Finished ? total_ : last.progress.done;
  found_ = outcome.found;
  const std::string count = "找到 " + std::to_string(found_.size()) + " 台驱动器；";
  switch (outcome.end) {
    case SearchEnd::Finished: status_ = "搜索完成，" + count; break;
    case SearchEnd::Cancelled: status_ = "搜索已取消，" + count; break;
    case SearchEnd::PortLost:
      status_ = outcome.message;
      session_.Message(MessageIcon::Error, kSearchTitle, "    " + outcome.message);
      break;
  }
}

std::array<std::string, 5> DriveSearchView::Row(int row) const {
  const FoundDrive& d = found_.at(static_cast<std::size_t>(row));
  return {d.port.name, std::to_string(d.baud), std::to_string(d.address), PlainDecimal(d.model),
          d.driveNumber ? std::to_string(*d.driveNumber) : "-"};
}

bool DriveSearchView::UseRow(int row) {
  if (job_ || row < 0 || row >= Rows()) return false;
  if (!UseFoundDrive(session_, found_[static_cast<std::size_t>(row)])) {
    session_.Message(MessageIcon::Error, kSearchTitle, "    该串口不在串口列表中，或通信已开启；");
    return false;
  }
  return true;
}

}  // namespace dd
