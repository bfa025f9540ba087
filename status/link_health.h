// Whether the drive still answers the polling. A whole cycle without one answer makes
// what the window shows stale: the communication lamp turns amber, the live fields'
// text grey, and the lamp's tooltip says since when no answer came. The first answer
// puts everything back. No message and no field text changes: the values stay.
#pragma once

#include <chrono>
#include <string>

#include "app/control_model.h"

namespace dd {

inline constexpr uint32_t kAmber = 0xFFBF00;

class LinkHealth {
 public:
  explicit LinkHealth(ControlModel& controls) : controls_(controls) {}

  // A read of the cycle was answered.
  void Answered();
  // The cycle has ended; a cycle without an answer makes the display stale.
  void CycleEnded();
  bool Stale() const { return stale_; }
  // The polling has stopped: the tooltip and the fields' colour go back to normal; the
  // lamp is the close's or the next worker's to set.
  void Ended();

 private:
  ControlModel& controls_;
  bool stale_ = false;
  bool shown_ = false;       // the window shows this worker's verdict
  bool answered_ = false;    // in the running cycle
  std::chrono::system_clock::time_point lastAnswer_ = std::chrono::system_clock::now();
};

// "自 14:03:27 起驱动器无应答" for a local wall-clock time.
std::string NoAnswerSinceText(std::chrono::system_clock::time_point since);

}  // namespace dd
