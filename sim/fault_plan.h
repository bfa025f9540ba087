// Which fault, if any, hits the next request: scripted rules first, then chance.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>

#include "sim/sim_drive.h"

namespace dd {

class FaultPlan {
 public:
  explicit FaultPlan(const SimConfig& config);
  void SetProbability(SimFault kind, double probability);
  void Add(const SimFaultRule& rule);
  void Clear();
  std::optional<SimFault> Pick(uint8_t function, uint16_t reg);

 private:
  std::array<double, kSimFaultKinds> probability_{};
  std::deque<SimFaultRule> rules_;
  std::mt19937_64 random_;
};

}  // namespace dd
